// Processing algorithm "Build location index": the dialog's build with the
// index file and the field output as its outputs.
#pragma once

#include <qgsprocessingalgorithm.h>

namespace bramlotte::processing {

class BuildIndexAlgorithm : public QgsProcessingAlgorithm {
  public:
    QString name() const override { return QStringLiteral("buildlocationindex"); }
    QString displayName() const override;
    QIcon icon() const override;
    QStringList tags() const override;
    QString shortDescription() const override;
    QString shortHelpString() const override;
    // Runs on the main thread: the field output writes through the data
    // providers of layers that live there.
    Flags flags() const override;
    void initAlgorithm(const QVariantMap& configuration = QVariantMap()) override;
    bool checkParameterValues(const QVariantMap& parameters, QgsProcessingContext& context,
                              QString* message = nullptr) const override;
    QgsProcessingAlgorithm* createInstance() const override { return new BuildIndexAlgorithm(); }

  protected:
    QVariantMap processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                 QgsProcessingFeedback* feedback) override;
};

}  // namespace bramlotte::processing
