// Writes shapes as flat (2D) WKB for GEOS, straight from QGIS geometries.
#pragma once

#include <qgsabstractgeometry.h>

#include <vector>

namespace bramlotte::qgishost {

// Appends `geometry` to `out` as little-endian 2D WKB. Curves are first
// approximated by line segments, since GEOS reads no curved types; Z and M
// values are left out, as the relationships are tested in the plane.
void appendWkb(const QgsAbstractGeometry& geometry, std::vector<unsigned char>& out);

}  // namespace bramlotte::qgishost
