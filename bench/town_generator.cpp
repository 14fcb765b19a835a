#include "bench/town_generator.h"

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

namespace bramlotte::bench {
namespace {

constexpr double kBlock = 100.0;  // metres between intersections
constexpr double kOriginX = 500000.0;
constexpr double kOriginY = 5000000.0;

const std::array<const char*, 96> kBaseNames = {
    "Oak",      "Maple",     "Cedar",  "Elm",    "Pine",     "Birch",   "Willow",   "Ash",
    "Chestnut", "Walnut",    "Poplar", "Linden", "Hawthorn", "Juniper", "Magnolia", "Sycamore",
    "Hazel",    "Alder",     "Rowan",  "Spruce", "Laurel",   "Holly",   "Ivy",      "Meadow",
    "Orchard",  "Mill",      "Church", "Market", "Bridge",   "Station", "Harbour",  "Castle",
    "Park",     "Garden",    "School", "King",   "Queen",    "Prince",  "Victoria", "Albert",
    "George",   "Charlotte", "Émile",  "Müller", "Sørensen", "Åkerman", "Łukasz",   "Renée",
    "Björk",    "Hill",      "Valley", "River",  "Lake",     "Forest",  "Spring",   "Summer",
    "Winter",   "Autumn",    "North",  "South",  "East",     "West",    "High",     "Low",
    "New",      "Old",       "Green",  "Grey",   "Red",      "White",   "Black",    "Silver",
    "Golden",   "Rose",      "Lily",   "Violet", "Daisy",    "Clover",  "Heather",  "Fern",
    "Moss",     "Stone",     "Brook",  "Ford",   "Well",     "Cross",   "Abbey",    "Chapel",
    "Tower",    "Gate",      "Wharf",  "Quarry", "Foundry",  "Tannery", "Weaver",   "Cooper"};

const std::array<const char*, 12> kSuffixes = {"Street",  "Avenue",   "Road",      "Lane",
                                               "Way",     "Drive",    "Court",     "Place",
                                               "Terrace", "Crescent", "Boulevard", "Row"};

const std::array<const char*, 5> kHighways = {"residential", "residential", "tertiary", "secondary",
                                              "primary"};

struct DatasetCloser {
    void operator()(void* ds) const { GDALClose(ds); }
};
struct FeatureDestroyer {
    void operator()(OGRFeatureH f) const { OGR_F_Destroy(f); }
};
struct SrsReleaser {
    void operator()(OGRSpatialReferenceH s) const { OSRRelease(s); }
};
struct GeometryDestroyer {
    void operator()(OGRGeometryH g) const { OGR_G_DestroyGeometry(g); }
};

void check(bool ok, const std::string& what) {
    if (!ok) {
        throw std::runtime_error("town generator: " + what + ": " + CPLGetLastErrorMsg());
    }
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

// Names a run of segments: a base, sometimes a second word, and a suffix.
// Now and then an earlier name comes back typed in capitals, as in data
// merged from several sources.
std::string streetName(std::mt19937& rng, std::vector<std::string>& used) {
    std::uniform_int_distribution<size_t> base(0, kBaseNames.size() - 1);
    std::uniform_int_distribution<size_t> suffix(0, kSuffixes.size() - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    if (!used.empty() && percent(rng) < 4) {
        std::uniform_int_distribution<size_t> earlier(0, used.size() - 1);
        return upper(used[earlier(rng)]);
    }
    std::string name = kBaseNames[base(rng)];
    if (percent(rng) < 30) {
        name += std::string(" ") + kBaseNames[base(rng)];
    }
    name += std::string(" ") + kSuffixes[suffix(rng)];
    used.push_back(name);
    return name;
}

OGRLayerH createLayer(GDALDatasetH ds, const char* name, OGRwkbGeometryType type,
                      OGRSpatialReferenceH srs) {
    OGRLayerH layer = GDALDatasetCreateLayer(ds, name, srs, type, nullptr);
    check(layer != nullptr, std::string("cannot create layer ") + name);
    return layer;
}

void addField(OGRLayerH layer, const char* name, OGRFieldType type) {
    OGRFieldDefnH field = OGR_Fld_Create(name, type);
    const OGRErr err = OGR_L_CreateField(layer, field, TRUE);
    OGR_Fld_Destroy(field);
    check(err == OGRERR_NONE, std::string("cannot create field ") + name);
}

}  // namespace

std::string rowLetters(int row) {
    std::string letters;
    for (int n = row + 1; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return letters;
}

TownSummary generateTown(const std::string& path, const TownOptions& options) {
    if (options.segments < 1 || options.segmentsPerPage < 1) {
        throw std::invalid_argument("town generator: segments and pages must be positive");
    }
    if (std::filesystem::exists(path)) {
        throw std::runtime_error("town generator: " + path + " already exists");
    }
    GDALAllRegister();
    GDALDriverH driver = GDALGetDriverByName("GPKG");
    check(driver != nullptr, "no GeoPackage driver");
    std::unique_ptr<void, DatasetCloser> ds(
        GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    check(ds != nullptr, "cannot create " + path);
    std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>, SrsReleaser> srs(
        OSRNewSpatialReference(nullptr));
    check(OSRImportFromEPSG(srs.get(), options.epsg) == OGRERR_NONE, "unknown EPSG code");

    // Intersections on a g × g grid give 2·g·(g − 1) segments.
    const long long n = options.segments;
    const int g = std::max(2, static_cast<int>(std::ceil((1.0 + std::sqrt(1.0 + 2.0 * n)) / 2.0)));
    const double extent = (g - 1) * kBlock;

    TownSummary summary;
    std::mt19937 rng(options.seed);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> runLength(2, 25);
    std::uniform_real_distribution<double> jitter(-kBlock * 0.15, kBlock * 0.15);
    std::uniform_int_distribution<size_t> highway(0, kHighways.size() - 1);
    // The ids from a generator of their own: the town stays the same.
    std::mt19937_64 idRng(options.seed * 7919u + 1);
    std::uniform_int_distribution<int> idGap(1, 40);
    std::uniform_int_distribution<int> bigGap(0, 999);
    long long nextId = 4'097'656;
    auto setId = [&](OGRFeatureH f) {
        if (!options.osmIds) {
            return;
        }
        // One jump of up to 30 million in about a thousand.
        nextId +=
            bigGap(idRng) == 0 ? 1 + static_cast<long long>(idRng() % 30'000'000) : idGap(idRng);
        OGR_F_SetFID(f, nextId);
    };

    OGRLayerH streets = createLayer(ds.get(), "streets", wkbLineString, srs.get());
    addField(streets, "name", OFTString);
    addField(streets, "highway", OFTString);
    if (options.pagesField) {
        addField(streets, "pages", OFTString);
    }
    check(GDALDatasetStartTransaction(ds.get(), FALSE) == OGRERR_NONE, "cannot start writing");
    OGRFeatureDefnH streetDefn = OGR_L_GetLayerDefn(streets);
    std::string name;
    std::vector<std::string> usedNames;
    const char* kind = kHighways[0];
    int runLeft = 0;
    // Rows (west to east) first, then columns (south to north).
    for (int dir = 0; dir < 2 && summary.segments < n; ++dir) {
        for (int line = 0; line < g && summary.segments < n; ++line) {
            runLeft = 0;
            for (int step = 0; step < g - 1 && summary.segments < n; ++step) {
                if (runLeft == 0) {
                    name = streetName(rng, usedNames);
                    kind = kHighways[highway(rng)];
                    runLeft = runLength(rng);
                    ++summary.namedStreets;
                }
                --runLeft;
                const double a = step * kBlock;
                const double fixed = line * kBlock;
                double x0 = a, y0 = fixed, x1 = a + kBlock, y1 = fixed;
                if (dir == 1) {
                    std::swap(x0, y0);
                    std::swap(x1, y1);
                }
                std::unique_ptr<std::remove_pointer_t<OGRFeatureH>, FeatureDestroyer> f(
                    OGR_F_Create(streetDefn));
                OGRGeometryH geom = OGR_G_CreateGeometry(wkbLineString);
                OGR_G_AddPoint_2D(geom, kOriginX + x0, kOriginY + y0);
                // A bend in the middle so segments are not all straight.
                const double mx = (x0 + x1) / 2 + (dir == 1 ? jitter(rng) : 0.0);
                const double my = (y0 + y1) / 2 + (dir == 0 ? jitter(rng) : 0.0);
                OGR_G_AddPoint_2D(geom, kOriginX + mx, kOriginY + my);
                OGR_G_AddPoint_2D(geom, kOriginX + x1, kOriginY + y1);
                OGR_F_SetGeometryDirectly(f.get(), geom);
                if (percent(rng) >= 10) {  // about one segment in ten has no name
                    OGR_F_SetFieldString(f.get(), 0, name.c_str());
                }
                OGR_F_SetFieldString(f.get(), 1, kind);
                setId(f.get());
                check(OGR_L_CreateFeature(streets, f.get()) == OGRERR_NONE, "cannot write street");
                ++summary.segments;
            }
        }
    }
    check(GDALDatasetCommitTransaction(ds.get()) == OGRERR_NONE, "cannot save streets");

    // Page grid over the streets' extent, with half a block to spare for the
    // bends of the outer streets: about one page per segmentsPerPage.
    const int perSide = std::max(
        1,
        static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n) / options.segmentsPerPage))));
    const double margin = kBlock / 2;
    const double cell = (extent + 2 * margin) / perSide;
    OGRLayerH pages = createLayer(ds.get(), "pages", wkbPolygon, srs.get());
    addField(pages, "PAGE", OFTString);
    addField(pages, "ROW", OFTString);
    addField(pages, "COL", OFTInteger);
    addField(pages, "PAGE_NO", OFTInteger);
    check(GDALDatasetStartTransaction(ds.get(), FALSE) == OGRERR_NONE, "cannot start writing");
    OGRFeatureDefnH pageDefn = OGR_L_GetLayerDefn(pages);
    for (int row = 0; row < perSide; ++row) {
        const double top = extent + margin - row * cell;  // row A is the northernmost
        const std::string letters = rowLetters(row);
        for (int col = 0; col < perSide; ++col) {
            const double left = col * cell - margin;
            std::unique_ptr<std::remove_pointer_t<OGRFeatureH>, FeatureDestroyer> f(
                OGR_F_Create(pageDefn));
            OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
            OGR_G_AddPoint_2D(ring, kOriginX + left, kOriginY + top);
            OGR_G_AddPoint_2D(ring, kOriginX + left + cell, kOriginY + top);
            OGR_G_AddPoint_2D(ring, kOriginX + left + cell, kOriginY + top - cell);
            OGR_G_AddPoint_2D(ring, kOriginX + left, kOriginY + top - cell);
            OGR_G_AddPoint_2D(ring, kOriginX + left, kOriginY + top);
            OGRGeometryH poly = OGR_G_CreateGeometry(wkbPolygon);
            OGR_G_AddGeometryDirectly(poly, ring);
            OGR_F_SetGeometryDirectly(f.get(), poly);
            const std::string page = letters + std::to_string(col + 1);
            OGR_F_SetFieldString(f.get(), 0, page.c_str());
            OGR_F_SetFieldString(f.get(), 1, letters.c_str());
            OGR_F_SetFieldInteger(f.get(), 2, col + 1);
            OGR_F_SetFieldInteger(f.get(), 3, row * perSide + col + 1);
            setId(f.get());
            check(OGR_L_CreateFeature(pages, f.get()) == OGRERR_NONE, "cannot write page");
            ++summary.pages;
        }
    }
    check(GDALDatasetCommitTransaction(ds.get()) == OGRERR_NONE, "cannot save pages");
    return summary;
}

}  // namespace bramlotte::bench
