// `bramlotte build`: a scripted user of the index dialog. It opens the map,
// loads the dialog offscreen, sets its controls as a person would, presses
// "Build Index" and plays the save dialog. Every check, message and output
// is the dialog's own.
#pragma once

#include "buildrun/print_options.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace bramlotte::cli {

struct BuildOptions {
    QStringList maps;
    QString layer1, field1, layer2, field2;
    std::optional<QString> relationship;
    QString output = QStringLiteral("text");  // text|table|field|layout|window
    std::optional<QString> columnSeparator, itemSeparator, columns;
    std::optional<QString> saveAs;
    QString delimiter = QStringLiteral("comma");  // comma|tab
    std::optional<QString> outputField;
    bool yes = false;
    std::optional<QString> layoutName;  // the layout output's print layout
    // Same-named streets told apart by the localities of a layer.
    std::optional<QString> localities, localityField;
    bool localityAlways = false;
    double joinDistance = 0;
    std::optional<QString> layoutPdf;
    bool saveProject = false;
    // Print-ready choices (the dialog has none of them).
    buildrun::PrintOptions print;
};

// Runs one build; returns the exit status (0 built, 1 refused or answered
// No, 2 a failure, 64 bad usage). Messages go to `err` as their boxes show
// them; the files written (or, for the window output, the lines) to `out`.
int runBuild(const BuildOptions& options, QTextStream& out, QTextStream& err);

}  // namespace bramlotte::cli
