// The work behind each command of the bramlotte program, callable from tests.
#pragma once

#include "print/page_grid.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

class QgsProject;
class QgsVectorLayer;

namespace bramlotte::support {
class ScriptedUiToolkit;
}

namespace bramlotte::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitFailed = 2;
constexpr int kExitUsage = 64;

// Opens `maps` into `project`; false, with the reason on `err`, when a map
// cannot be opened (the caller then exits with kExitUsage).
bool openMapOrSay(QgsProject& project, const QStringList& maps, QTextStream& err);

// The last vector layer with shapes of the map named `name`, without regard
// to case, as the index dialog finds its layers; nullptr when there is none.
QgsVectorLayer* layerNamed(QgsProject& project, const QString& name);

// The paper `name` names (A4, A3, Letter, in any case), or nullopt.
std::optional<print::Paper> paperNamed(const QString& name);

// The desktop of a program on a terminal: each message on `err` as its box
// would show it (a question followed by its answer), warnings after
// "Warning: ", the data source's words as they are.
void echoOnTerminal(support::ScriptedUiToolkit& ui, QTextStream& err);

// Prints each feature layer of the map in the pickers' order: its name, a
// tab, and its table-view field names separated by tabs.
int runLayers(const QStringList& maps, QTextStream& out, QTextStream& err);

// Makes the demo town in `dir` and builds its street index there in all four
// outputs: the text file, the table, the layout as PDF, and a copy of the
// map with the pages written into each street.
int runDemo(const QString& dir, QTextStream& out, QTextStream& err);

}  // namespace bramlotte::cli
