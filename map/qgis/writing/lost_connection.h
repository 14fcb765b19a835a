// Whether a layer's database connection was lost, told after a write has
// failed: "no result buffer" from the provider names no cause a person can
// act on; a server gone away does.
#pragma once

class QgsVectorDataProvider;

namespace bramlotte::qgishost {

// For a PostgreSQL layer: whether the provider's last errors are libpq's
// words for a broken connection, or the server can no longer be reached at
// all. False for every other kind of layer.
bool connectionLost(QgsVectorDataProvider& provider);

}  // namespace bramlotte::qgishost
