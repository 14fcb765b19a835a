// A street index built for a Processing algorithm: its parameters made into
// build requests straight away (the layers it was given, each limited to the
// features its parameter delivers), run by the same build as every front's,
// with messages and progress through the algorithm's feedback.
#pragma once

#include "buildrun/build_request.h"
#include "export/save_target.h"

#include <qgsfeatureid.h>
#include <qgsvectorlayer.h>

#include <QPointer>
#include <QStringList>

#include <memory>

class QgsProcessingFeedback;
class QgsProject;

namespace bramlotte::processing {

// A layer a parameter gave, and the features it delivers.
struct ChosenLayer {
    QPointer<QgsVectorLayer> layer;
    // The features the build sees; nullptr: every feature of the layer.
    std::shared_ptr<const QgsFeatureIds> only;
};

struct IndexJob {
    ChosenLayer layer1;  // checked against (the map pages)
    ChosenLayer layer2;  // indexed (the streets)
    QString field1, field2;
    int32_t relationship = host::relation::kIntersects;
    QString columnSeparator = QStringLiteral("...");
    QString itemSeparator = QStringLiteral(",");
    buildrun::PrintOptions print;
    // Same-named streets told apart by these localities (none: not), named
    // by this field.
    ChosenLayer localities;
    QString localityField;
    host::LocalityRule localityRule;
    // The index file: a table where the name ends in ".csv" (commas) or
    // ".tsv" (tabs), else the text file. Empty: no file.
    QString outputFile;
    // The field of Layer #2 that receives each feature's pages. Empty: none.
    QString outputField;
    // The print layout the index is set on, by name (made when missing).
    // Empty: no layout output.
    QString layout;
    int16_t columns = 1;
    // The layout exported to this PDF once the index is on it. Empty: none.
    QString layoutPdf;
};

// Where a file output of `path` goes and in what form: the text file, or a
// table with its delimiter, by the file name's extension.
struct FileOutput {
    buildrun::Output output = buildrun::Output::TextFile;
    exporting::SaveTarget target;
};
FileOutput FileOutputFor(const QString& path);

// Builds the file output, then the field output, then the layout output,
// each as one build. Throws QgsProcessingException with the build's own
// message when a check refuses the request or the build fails, and when the
// feedback is cancelled (the output then being built is not written).
// Returns the files written. Runs on the thread of the chosen layers (QGIS's
// main thread), as the field output writes through their data providers.
// The layout output goes to `project`'s print layouts.
QStringList RunIndexJob(const IndexJob& job, QgsProject& project, QgsProcessingFeedback* feedback);

}  // namespace bramlotte::processing
