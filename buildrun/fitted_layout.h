// The layout output fitted to the page: the index lines flow into the
// columns of the printable width, wrap with a hanging indent, continue in the
// next column and on new pages added after the last. Every text line is a
// label of its own, so text stays text and can be restyled.
#pragma once

#include "buildrun/print_options.h"
#include "map/host.h"
#include "print/layout_flow.h"

#include <vector>

namespace bramlotte::buildrun {

// The face the fitted layout is set and measured in.
extern const char* const kFittedFontFace;

// What the fitted layout came to: its type and its pages.
struct FittedLayout {
    double fontSizePoints = 0;
    int pages = 0;
};

// Places `lines` on the document's page layout `layoutName` (see
// MapDocument::pageLayout) in `columns` columns, at the options' font size
// or, to fit `fitPages` pages, the largest half point below it down to
// kSmallestFittedPoints that does (that smallest where none does). Throws
// support::Failure when the page leaves no room for them.
FittedLayout PlaceFitted(host::MapDocument& document, const QString& layoutName,
                         const std::vector<print::FlowLine>& lines, int columns,
                         const PrintOptions& options);

}  // namespace bramlotte::buildrun
