// How a Layer #2 value becomes its key in the index: as it is, filed under
// the name ("Paix (Rue de la)"), and with the locality of its street where
// same-named streets are told apart ("Rue du Port (Monte-Carlo)", and filed
// "Port (Rue du), Monte-Carlo").
#pragma once

#include "index/street_filing.h"
#include "map/host.h"

#include <QString>

#include <optional>

namespace bramlotte::index {

class IndexKeys {
  public:
    IndexKeys() = default;
    IndexKeys(std::optional<StreetFiling> filing, const host::StreetLocalities* localities)
        : filing_(std::move(filing)), localities_(localities) {}

    // Whether features of one value may get different keys (their streets'
    // localities): then a key cannot be remembered by value alone.
    bool byFeature() const { return localities_ != nullptr; }
    // Whether every key is the value's text as it is.
    bool plain() const { return !filing_ && !localities_; }

    // The key of `feature`, whose value reads `text`.
    QString keyOf(const QString& text, const host::Feature& feature) const;

  private:
    std::optional<StreetFiling> filing_;
    const host::StreetLocalities* localities_ = nullptr;
};

}  // namespace bramlotte::index
