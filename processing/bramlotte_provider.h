// The Processing provider "Bramlotte": the street index and the page grid
// as algorithms of QGIS's toolbox, modeler and batch runs.
#pragma once

#include <qgsprocessingprovider.h>

namespace bramlotte::processing {

class BramlotteProvider : public QgsProcessingProvider {
  public:
    static const QString kId;  // "bramlotte", the algorithms' prefix

    QString id() const override { return kId; }
    QString name() const override;
    QString longName() const override;
    QIcon icon() const override;

  protected:
    void loadAlgorithms() override;
};

}  // namespace bramlotte::processing
