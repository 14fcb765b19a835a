// `bramlotte atlas`: the whole street atlas as one PDF, the map pages over a
// page grid and their index, from a project or data files.
#pragma once

#include "buildrun/print_options.h"
#include "map/host.h"
#include "print/page_grid.h"
#include "print/page_squares.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace bramlotte::cli {

struct AtlasOptions {
    QStringList maps;
    QString layer2, field2;                 // the streets and their names
    std::optional<QString> layer1, field1;  // the user's pages, or …
    std::optional<QString> paper;           // … a grid on paper at a scale
    std::optional<double> scale;
    bool landscape = false;
    double overlap = 0.0;  // mm of paper
    std::optional<print::SquareDivision> squares;
    int columns = 4;
    buildrun::PrintOptions print;
    std::optional<QString> localities, localityField;
    bool localityAlways = false;
    double joinDistance = 0;
    QString title;
    QString pdf;
    bool saveProject = false;
};

// Makes the atlas; returns the exit status (0 made, 1 refused or
// cancelled, 2 a failure, 64 bad usage). The files written go to `out`,
// messages and progress to `err`.
int runAtlas(const AtlasOptions& options, QTextStream& out, QTextStream& err);

}  // namespace bramlotte::cli
