// A shape on QGIS: the geometry with the CRS it is expressed in.
#pragma once

#include "map/host.h"

#include <qgscoordinatereferencesystem.h>
#include <qgsgeometry.h>

namespace bramlotte::qgishost {

class QgisShape : public host::Shape {
  public:
    QgisShape(QgsGeometry geometry, QgsCoordinateReferenceSystem crs)
        : geometry_(std::move(geometry)), crs_(std::move(crs)) {}
    bool isEmpty() const override { return geometry_.isNull() || geometry_.isEmpty(); }
    host::ShapeFault fault() const override;
    const QgsGeometry& geometry() const { return geometry_; }
    const QgsCoordinateReferenceSystem& crs() const { return crs_; }

  private:
    QgsGeometry geometry_;
    QgsCoordinateReferenceSystem crs_;
    mutable int fault_ = -1;  // a host::ShapeFault; -1 until asked
};

}  // namespace bramlotte::qgishost
