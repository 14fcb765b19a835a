// Choices for a print-ready index, beyond what the dialog offers: set by the
// command line (the dialog leaves them off), carried to the build with the
// dialog's own choices.
#pragma once

namespace bramlotte::buildrun {

struct PrintOptions {
    // Runs of three or more pages that follow one another as "A1-A3".
    bool ranges = false;
    // A heading line with its letter before the first line of each letter.
    bool headings = false;
    // The layout output flows into the columns of the page's printable width,
    // on as many pages as it needs, instead of standing at fixed places.
    bool fitLayout = false;
    double fontSizePoints = 6.0;      // of the fitted layout
    double marginMillimetres = 10.0;  // around the fitted layout's printable area
};

}  // namespace bramlotte::buildrun
