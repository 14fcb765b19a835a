// The streets of a vector layer told apart by the localities of another:
// what the computation of map/search/street_localities.h needs, read from
// the layers, and its answer as the host gives it.
#pragma once

#include "map/host.h"

class QgsVectorLayer;

namespace bramlotte::qgishost {

// The streets are every feature `streets` shows, read through its feature
// store (the one its searches use), keyed by the values of field `keyField`
// of its data source: equal values are one key, null ones and text of
// spaces only none. The localities are the features of `localities` with a
// name in `nameField` that is not blank, their shapes taken into the
// streets' coordinate system where the two differ. Throws support::Failure.
host::StreetLocalities findStreetLocalities(QgsVectorLayer& streets, int keyField,
                                            host::FeatureLayer& localities, int nameField,
                                            const host::LocalityRule& rule);

}  // namespace bramlotte::qgishost
