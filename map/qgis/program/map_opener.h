// Opens a map document: a QGIS project file, or datasets QGIS can read.
#pragma once

#include <qgsproject.h>

#include <QStringList>

namespace bramlotte::qgishost {

// Fills `project` from `paths`: one project file (.qgs, .qgz), or one or more
// datasets whose layers become top-level map layers in the datasets' order.
// Throws support::Failure naming the path that cannot be read.
void openMap(QgsProject& project, const QStringList& paths);

}  // namespace bramlotte::qgishost
