#include "map/qgis/qgis_shape.h"

#include <qgsabstractgeometry.h>

#include <cmath>

namespace bramlotte::qgishost {

bool QgisShape::isUsable() const {
    if (usable_ < 0) {
        bool finite = true;
        if (const QgsAbstractGeometry* g = geometry_.constGet()) {
            for (auto v = g->vertices_begin(); finite && v != g->vertices_end(); ++v) {
                const QgsPoint p = *v;
                finite = std::isfinite(p.x()) && std::isfinite(p.y());
            }
        }
        usable_ = finite ? 1 : 0;
    }
    return usable_ == 1;
}

}  // namespace bramlotte::qgishost
