#include "index/field_writer.h"

namespace bramlotte::index {

void OutputFieldWriter::write(host::Feature& feature, host::FeatureCursor& cursor,
                              const QString& entryText) {
    try {
        feature.putValue(outputField_, entryText);
        cursor.updateFeature(feature);
    } catch (const host::HostError& e) {
        throw EditFailure(e);
    }
}

}  // namespace bramlotte::index
