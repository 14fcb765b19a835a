// Processing algorithm "Make page grid": the map pages of an atlas over a
// layer, as a new vector layer with the fields PAGE, ROW, COL, PAGE_NO and the
// neighbours NORTH, EAST, SOUTH and WEST, and optionally the squares each page
// is cut into, as a second layer.
#pragma once

#include <qgsprocessingalgorithm.h>

namespace bramlotte::processing {

class PageGridAlgorithm : public QgsProcessingAlgorithm {
  public:
    QString name() const override { return QStringLiteral("makepagegrid"); }
    QString displayName() const override;
    QIcon icon() const override;
    QStringList tags() const override;
    QString shortDescription() const override;
    QString shortHelpString() const override;
    void initAlgorithm(const QVariantMap& configuration = QVariantMap()) override;
    QgsProcessingAlgorithm* createInstance() const override { return new PageGridAlgorithm(); }

  protected:
    QVariantMap processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                 QgsProcessingFeedback* feedback) override;
};

}  // namespace bramlotte::processing
