// bramlotte-town: writes a synthetic town GeoPackage.
//   bramlotte-town OUT.gpkg [SEGMENTS] [SEED]
#include "bench/town_generator.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: bramlotte-town OUT.gpkg [SEGMENTS] [SEED]\n");
        return 64;
    }
    bramlotte::bench::TownOptions options;
    try {
        if (argc > 2) {
            options.segments = std::stoll(argv[2]);
        }
        if (argc > 3) {
            options.seed = static_cast<uint32_t>(std::stoul(argv[3]));
        }
        const auto s = bramlotte::bench::generateTown(argv[1], options);
        std::printf("%s: %lld street segments (%lld named runs), %lld pages\n", argv[1], s.segments,
                    s.namedStreets, s.pages);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
