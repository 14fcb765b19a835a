#include "processing/bramlotte_provider.h"

#include "command/frm_resources.h"
#include "processing/build_index_algorithm.h"
#include "processing/page_grid_algorithm.h"
#include "processing/street_atlas_algorithm.h"
#include "support/base/product.h"

namespace bramlotte::processing {

const QString BramlotteProvider::kId = QStringLiteral("bramlotte");

QString BramlotteProvider::name() const {
    return product::kName;
}

QString BramlotteProvider::longName() const {
    return QStringLiteral("%1 %2 street atlas index").arg(product::kName, product::kVersionText);
}

QIcon BramlotteProvider::icon() const {
    // The command's own bitmap, made when first shown (never headless).
    return QIcon(frmResources::instance().Picture1());
}

void BramlotteProvider::loadAlgorithms() {
    addAlgorithm(new BuildIndexAlgorithm());
    addAlgorithm(new PageGridAlgorithm());
    addAlgorithm(new StreetAtlasAlgorithm());
}

}  // namespace bramlotte::processing
