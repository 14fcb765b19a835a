// The relate engine: walks every feature of Layer #1, searches Layer #2 for
// the features in the chosen relationship to its shape, and gathers the
// Layer #1 values of every Layer #2 value into the index map.
#pragma once

#include "index/index_map.h"
#include "map/host.h"

#include <QString>

#include <optional>
#include <stdexcept>
#include <vector>

namespace bramlotte::index {

// The relationship names the picker offers, and their host codes.
std::optional<int32_t> relationshipCode(const QString& name);
const QStringList& relationshipNames();

// Opening a Layer #2 search failed: the relationship does not suit the
// layers' shapes. The build shows its own message for it.
class RelateFailure : public std::runtime_error {
  public:
    explicit RelateFailure(const support::Failure& cause)
        : std::runtime_error(cause.what()), cause_(cause) {}
    const support::Failure& cause() const { return cause_; }

  private:
    support::Failure cause_;
};

// Receives, in field-output mode, each related Layer #2 feature with its
// own entry: the items of every Layer #1 feature related to it so far.
class FieldWriter {
  public:
    virtual ~FieldWriter() = default;
    virtual void write(host::Feature& feature, host::FeatureCursor& cursor,
                       const QString& entryText) = 0;
};

// The features of one layer the relate left out for their shapes.
struct SkippedOfLayer {
    QString layerName;
    host::SkippedShapes shapes;
};

class IndexKeys;

struct RelateInputs {
    host::FeatureLayer* layer1 = nullptr;
    int field1 = -1;  // index in Layer #1's feature class
    host::FeatureLayer* layer2 = nullptr;
    int field2 = -1;  // index in Layer #2's feature class
    int32_t relationship = host::relation::kIntersects;
    QString itemSeparator = QStringLiteral(",");
    FieldWriter* fieldWriter = nullptr;  // set for "Field within layer"
    // How a value becomes its key (filed, with its street's locality); none:
    // as it is.
    const IndexKeys* keys = nullptr;
    // False when only the field writer's output is wanted: the map is then
    // left empty, as nothing would read it.
    bool gatherIndex = true;
    // When set, receives the features of each layer that were passed over
    // for shapes that could not be read or are not usable (they relate to
    // nothing): one entry per layer that had any, Layer #1 first; one only
    // when both layers are one.
    std::vector<SkippedOfLayer>* skipped = nullptr;
};

// Throws RelateFailure when a Layer #2 search cannot be opened, unless Layer
// #2 could not be read (support::error::kReadFailed); that and any other
// host failure passes through as support::Failure.
IndexMap Relate(const RelateInputs& inputs, host::ProgressIndicator* progress);

}  // namespace bramlotte::index
