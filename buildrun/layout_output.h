// "Element in map layout": the result list in n columns of text elements on
// the page layout, 2.5 units below the top edge, 2 units apart.
#pragma once

#include "index/index_formatting.h"
#include "map/host.h"

namespace bramlotte::buildrun {

// `lines` are the result list's, in its order; on the layout `layoutName`
// (see MapDocument::pageLayout).
void PlaceColumns(host::MapDocument& document, const QString& layoutName, const QStringList& lines,
                  int columns);

}  // namespace bramlotte::buildrun
