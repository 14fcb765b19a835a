// The files a field write changes, and the rule that none of them may be one
// whose mode bits forbid writing it: the same rule the file outputs follow,
// also for the superuser, who could write it anyway.
#pragma once

#include <qgsvectordataprovider.h>

#include <QStringList>

namespace bramlotte::qgishost {

// The files a field write changes in the data source of `provider`: the
// attribute table of a shapefile; the file of a GeoPackage or any other
// file source, with the journal files of SQLite beside it; none for a
// database server.
QStringList filesChangedByFieldWrite(const QgsVectorDataProvider& provider);

// Throws support::Failure naming the first of `files` whose mode bits
// forbid writing it.
void refuseReadOnlyFiles(const QStringList& files);

}  // namespace bramlotte::qgishost
