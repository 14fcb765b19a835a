#include "buildrun/field_writer.h"

namespace bramlotte::buildrun {

void OutputFieldWriter::write(host::Feature& feature, host::FeatureCursor& cursor,
                              const QString& entryText) {
    try {
        feature.putValue(outputField_, entryText);
        cursor.updateFeature(feature);
    } catch (const support::Failure& e) {
        throw EditFailure(e);
    }
}

}  // namespace bramlotte::buildrun
