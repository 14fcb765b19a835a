// Synthetic "towns": GeoPackages with a street layer and a page grid over it,
// deterministic from a seed, from a few dozen streets to millions of segments.
#pragma once

#include <cstdint>
#include <string>

namespace bramlotte::bench {

struct TownOptions {
    long long segments = 400;  // street segments to write
    uint32_t seed = 1;
    int segmentsPerPage = 10;  // about one page per this many segments
    int epsg = 32632;          // a projected CRS in metres
    bool pagesField = false;   // an empty text field "pages" on the streets
    // Feature ids as OpenStreetMap's way ids kept as feature ids: rising,
    // most a few apart, some millions, from about 4 million up; the town is
    // otherwise the same as with ids 1…n.
    bool osmIds = false;
};

struct TownSummary {
    long long segments = 0;
    long long namedStreets = 0;  // runs of segments that share one name
    long long pages = 0;
};

// Writes `path` (replacing nothing: it must not exist) with layers `streets`
// (name, highway) and `pages` (PAGE "A1".., ROW, COL, PAGE_NO). Rows of pages
// are lettered from the north. Throws std::runtime_error on failure.
TownSummary generateTown(const std::string& path, const TownOptions& options);

// "A".."Z", "AA".. for row 0, 1, …
std::string rowLetters(int row);

}  // namespace bramlotte::bench
