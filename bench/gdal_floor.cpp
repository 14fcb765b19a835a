// bench_gdal_read: the data's own read floor. Reads every feature of the
// named layers once on one thread through GDAL's C API: every attribute by
// its type, the shape exported as WKB and a GEOS geometry made from it, which
// is the least any program indexing the map has to do. Prints the seconds
// it took, the feature count and the size of the shapes as WKB.
//   bench_gdal_read MAP LAYER...
#include <gdal.h>
#include <geos_c.h>
#include <ogr_api.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void geosMessage(const char*, ...) {}

struct DatasetCloser {
    void operator()(void* ds) const { GDALClose(ds); }
};
struct FeatureCloser {
    void operator()(void* f) const { OGR_F_Destroy(static_cast<OGRFeatureH>(f)); }
};

// Touches every field the way a reader keeping the values would.
long long readFields(OGRFeatureH f, int fields) {
    long long sum = 0;
    for (int i = 0; i < fields; ++i) {
        if (!OGR_F_IsFieldSetAndNotNull(f, i)) {
            continue;
        }
        switch (OGR_Fld_GetType(OGR_F_GetFieldDefnRef(f, i))) {
            case OFTInteger:
            case OFTInteger64:
                sum += OGR_F_GetFieldAsInteger64(f, i);
                break;
            case OFTReal:
                sum += static_cast<long long>(OGR_F_GetFieldAsDouble(f, i));
                break;
            default:
                sum += static_cast<unsigned char>(OGR_F_GetFieldAsString(f, i)[0]);
                break;
        }
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_gdal_read MAP LAYER...\n");
        return 64;
    }
    GDALAllRegister();
    GEOSContextHandle_t geos = GEOS_init_r();
    GEOSContext_setErrorHandler_r(geos, geosMessage);
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<void, DatasetCloser> ds(
        GDALOpenEx(argv[1], GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!ds) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    long long features = 0, wkbBytes = 0, checksum = 0;
    std::vector<unsigned char> wkb;
    for (int a = 2; a < argc; ++a) {
        OGRLayerH layer = GDALDatasetGetLayerByName(ds.get(), argv[a]);
        if (!layer) {
            std::fprintf(stderr, "cannot read layer %s\n", argv[a]);
            return 1;
        }
        OGR_L_ResetReading(layer);
        const int fields = OGR_FD_GetFieldCount(OGR_L_GetLayerDefn(layer));
        for (std::unique_ptr<void, FeatureCloser> f(OGR_L_GetNextFeature(layer)); f;
             f.reset(OGR_L_GetNextFeature(layer))) {
            ++features;
            checksum += OGR_F_GetFID(f.get()) + readFields(f.get(), fields);
            OGRGeometryH g = OGR_F_GetGeometryRef(f.get());
            if (!g || OGR_G_IsEmpty(g)) {
                continue;
            }
            const int size = OGR_G_WkbSize(g);
            wkb.resize(static_cast<size_t>(size));
            OGR_G_ExportToIsoWkb(g, wkbNDR, wkb.data());
            wkbBytes += size;
            GEOSGeometry* shape = GEOSGeomFromWKB_buf_r(geos, wkb.data(), wkb.size());
            if (shape) {
                checksum += GEOSGetNumGeometries_r(geos, shape);
                GEOSGeom_destroy_r(geos, shape);
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %lld %lld\n", seconds, features, wkbBytes);
    std::fprintf(stderr, "checksum %lld\n", checksum);
    ds.reset();
    GEOS_finish_r(geos);
    return 0;
}
