// bramlotte-town: writes a synthetic town GeoPackage.
//   bramlotte-town OUT.gpkg [SEGMENTS] [SEED] [--pages-field]
#include "bench/town_generator.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    bramlotte::bench::TownOptions options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pages-field") == 0) {
            options.pagesField = true;
        } else {
            positional.emplace_back(argv[i]);
        }
    }
    if (positional.empty() || positional.size() > 3) {
        std::fprintf(stderr, "usage: bramlotte-town OUT.gpkg [SEGMENTS] [SEED] [--pages-field]\n");
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
