// "Field within layer": each related Layer #2 feature receives its entry in
// the output field, stored through the relate's update cursor.
#pragma once

#include "index/relate.h"

#include <stdexcept>

namespace bramlotte::buildrun {

// Setting or storing a value failed (typically a text the field's type
// cannot take). The build shows its own message for it.
class EditFailure : public std::runtime_error {
  public:
    explicit EditFailure(const support::Failure& cause)
        : std::runtime_error(cause.what()), cause_(cause) {}
    const support::Failure& cause() const { return cause_; }

  private:
    support::Failure cause_;
};

class OutputFieldWriter : public index::FieldWriter {
  public:
    explicit OutputFieldWriter(int outputField) : outputField_(outputField) {}
    void write(host::Feature& feature, host::FeatureCursor& cursor,
               const QString& entryText) override;

  private:
    int outputField_;
};

}  // namespace bramlotte::buildrun
