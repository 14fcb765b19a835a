// Choices for a print-ready index, beyond what the dialog offers: set by the
// command line and Processing (the dialog leaves them off), carried to the
// build with the dialog's own choices.
#pragma once

#include <QString>

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
    // The fitted layout's type shrinks from fontSizePoints in half points,
    // down to 4 pt, until the index fits this many pages; 0: it takes what
    // it needs.
    int fitPages = 0;
    // Digits compare as numbers: "2nd Street" before "10th Street".
    bool numericOrder = false;
    // Keys that begin with a street type are filed under the name ("Paix
    // (Rue de la)"), by the types of this language ("fr"), or of the sort's
    // locale for "auto"; empty: as they are.
    QString fileUnderName;
};

// The smallest type the fitted layout shrinks to.
constexpr double kSmallestFittedPoints = 4.0;

}  // namespace bramlotte::buildrun
