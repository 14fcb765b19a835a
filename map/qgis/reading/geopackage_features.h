// A walk through every feature of a GeoPackage layer, read straight from
// its table: QGIS's own iterator takes several times as long per feature,
// and a walk of tens of thousands of pages spent most of its reading
// thread's time there.
#pragma once

#include <qgsfeatureiterator.h>

class QgsVectorLayer;

namespace bramlotte::qgishost {

// The features of `layer`, every field's value and the shapes, as QGIS's
// iterator gives them, in ascending id order; an invalid iterator where the
// layer must be read through QGIS (see direct_read.h; a filter, or shapes
// other than points, lines or polygons). From the first feature this reader
// does not give as QGIS would (a curve, a shape of another kind than the
// layer's, a value of another form) on, the rest come from QGIS's provider.
// Made on the layer's thread; it may be read on another.
QgsFeatureIterator directFeatures(QgsVectorLayer& layer);

}  // namespace bramlotte::qgishost
