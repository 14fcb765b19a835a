// Processing algorithm "Make street atlas": the whole street atlas of the
// project as one PDF, the map pages over a page grid and their index, as
// `bramlotte atlas` makes it.
#pragma once

#include <qgsprocessingalgorithm.h>

namespace bramlotte::processing {

class StreetAtlasAlgorithm : public QgsProcessingAlgorithm {
  public:
    QString name() const override { return QStringLiteral("makestreetatlas"); }
    QString displayName() const override;
    QIcon icon() const override;
    QStringList tags() const override;
    QString shortDescription() const override;
    QString shortHelpString() const override;
    Flags flags() const override;
    void initAlgorithm(const QVariantMap& configuration = QVariantMap()) override;
    QgsProcessingAlgorithm* createInstance() const override { return new StreetAtlasAlgorithm(); }

  protected:
    QVariantMap processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                 QgsProcessingFeedback* feedback) override;
};

}  // namespace bramlotte::processing
