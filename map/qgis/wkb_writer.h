// Writes shapes as flat (2D) WKB for GEOS, straight from QGIS geometries.
#pragma once

#include <qgsabstractgeometry.h>

#include <vector>

namespace bramlotte::qgishost {

// Appends `geometry` to `out` as little-endian 2D WKB. Curves are first
// approximated by line segments, since GEOS reads no curved types; Z and M
// values are left out, as the relationships are tested in the plane.
void appendWkb(const QgsAbstractGeometry& geometry, std::vector<unsigned char>& out);

// The exact bounding box of flat WKB as appendWkb writes it. False when the
// shape holds no point.
bool wkbBounds(const unsigned char* wkb, size_t size, double& xmin, double& ymin, double& xmax,
               double& ymax);

}  // namespace bramlotte::qgishost
