// bramlotte-town: writes a synthetic town GeoPackage.
//   bramlotte-town OUT.gpkg [SEGMENTS] [SEED] [--pages-field] [--osm-ids]
#include "bench/town_generator.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: bramlotte-town OUT.gpkg [SEGMENTS] [SEED] [--pages-field] [--osm-ids]\n"
    "Writes a synthetic town: a GeoPackage with a street layer (name, highway)\n"
    "of SEGMENTS street segments (default 400) and a page grid over it (PAGE,\n"
    "ROW, COL, PAGE_NO), the same for the same SEED. --pages-field adds an\n"
    "empty text field \"pages\" to the streets; --osm-ids numbers the features as\n"
    "OpenStreetMap numbers its ways (rising, with gaps up to 30 million).\n"
    "OUT.gpkg must not exist.\n";

}  // namespace

int main(int argc, char** argv) {
    bramlotte::bench::TownOptions options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
        }
        if (std::strcmp(argv[i], "--pages-field") == 0) {
            options.pagesField = true;
        } else if (std::strcmp(argv[i], "--osm-ids") == 0) {
            options.osmIds = true;
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            std::fprintf(stderr, "bramlotte-town: unknown option %s\n%s", argv[i], kUsage);
            return 64;
        } else {
            positional.emplace_back(argv[i]);
        }
    }
    if (positional.empty() || positional.size() > 3) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    try {
        if (positional.size() > 1) {
            options.segments = std::stoll(positional[1]);
        }
        if (positional.size() > 2) {
            options.seed = static_cast<uint32_t>(std::stoul(positional[2]));
        }
        const auto s = bramlotte::bench::generateTown(positional[0], options);
        std::printf("%s: %lld street segments (%lld named runs), %lld pages\n",
                    positional[0].c_str(), s.segments, s.namedStreets, s.pages);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
