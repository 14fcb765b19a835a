// Saving a project to its own file, whole or not at all.
#pragma once

#include <qgsproject.h>

namespace bramlotte::qgishost {

// QGIS writes the project to a temporary file beside its file: the same
// folder (a .qgs project's relative layer paths stay valid) and the same
// extension (QGIS chooses the format by it). The file is read back, put on
// disk and renamed over the original, which keeps its mode; companions QGIS
// writes beside a .qgs (auxiliary data, attachments) follow it. The project
// keeps its file name. Throws support::Failure, the original untouched, when
// the project cannot be saved, also when the original's mode bits forbid
// writing it.
void saveProjectFile(QgsProject& project);

}  // namespace bramlotte::qgishost
