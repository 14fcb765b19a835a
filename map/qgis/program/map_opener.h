// Opens a map document: a QGIS project file, or datasets QGIS can read.
#pragma once

#include <qgsproject.h>

#include <QStringList>

namespace bramlotte::qgishost {

// Fills `project` from `paths`: one project file (.qgs, .qgz), or one or more
// datasets whose layers become top-level map layers in the datasets' order.
// Throws support::Failure naming the path that cannot be read.
void openMap(QgsProject& project, const QStringList& paths);

// Whether reading the project file at `path` needs the rest of QGIS's start,
// its authentication manager above all (it loads every certificate of the
// system): the project names stored credentials ("authcfg"), embeds
// another project, holds a layer of another provider than files, memory
// layers and PostgreSQL (whose requests may go through QGIS's network
// access), or cannot be read here (a zipped project).
bool projectNeedsAuthentication(const QString& path);

}  // namespace bramlotte::qgishost
