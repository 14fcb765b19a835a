// A street index built for a Processing algorithm: the same build as the
// dialog's "Build Index" (buildrun::BuildIndex), with a context of its own:
// questions answered as the algorithm's parameters already did, messages
// and progress through the algorithm's feedback, files where its output
// parameter says.
#pragma once

#include "buildrun/build_request.h"
#include "buildrun/print_options.h"
#include "export/save_target.h"
#include "processing/chosen_layers.h"

#include <QStringList>

class QgsProcessingFeedback;

namespace bramlotte::processing {

struct IndexJob {
    ChosenLayer layer1;  // checked against (the map pages); its name is set by the run
    ChosenLayer layer2;  // indexed (the streets)
    QString field1, field2;
    QString relationship = QStringLiteral("INTERSECT");  // as the dialog's picker names it
    QString columnSeparator = QStringLiteral("...");
    QString itemSeparator = QStringLiteral(",");
    buildrun::PrintOptions print;  // ranges and headings; no layout here
    // The index file: a table where the name ends in ".csv" (commas) or
    // ".tsv" (tabs), else the text file. Empty: no file.
    QString outputFile;
    // The field of Layer #2 that receives each feature's pages. Empty: none.
    QString outputField;
};

// Where a file output of `path` goes and in what form: the text file, or a
// table with its delimiter, by the file name's extension.
struct FileOutput {
    buildrun::Output output = buildrun::Output::TextFile;
    exporting::SaveTarget target;
};
FileOutput FileOutputFor(const QString& path);

// Builds the file output, then the field output, each as one press of
// "Build Index". Throws QgsProcessingException with the build's own message
// when a check refuses the request or the build fails, and when the
// feedback is cancelled (the output then being built is not written).
// Returns the files written. Runs on the thread of the chosen layers (QGIS's
// main thread), as the field output writes through their data providers.
// The layers keep their own names in the build's messages, unless two
// different choices share one: then they read "name (Layer #1)" and
// "name (Layer #2)".
QStringList RunIndexJob(const IndexJob& job, QgsProcessingFeedback* feedback);

}  // namespace bramlotte::processing
