// The Processing provider's entry points in the plugin library: added with
// the plugin's menu in QGIS, and by a plain C call where QGIS runs without
// its desktop (PyQGIS scripts, tests), which loads no C++ plugins.
#include "command/plugin_parts.h"
#include "processing/bramlotte_provider.h"

#include <qgis.h>
#include <qgsapplication.h>
#include <qgsprocessingregistry.h>

#include <QPointer>

namespace bramlotte {
namespace {

using processing::BramlotteProvider;

// The provider while the plugin is loaded; the registry owns it.
class ProcessingPart : public PluginPart {
  public:
    ProcessingPart() {
        QgsProcessingRegistry* registry = QgsApplication::processingRegistry();
        if (registry && !registry->providerById(BramlotteProvider::kId)) {
            auto* provider = new BramlotteProvider();
            if (registry->addProvider(provider)) {
                provider_ = provider;
            }
        }
    }
    ~ProcessingPart() override {
        QgsProcessingRegistry* registry = QgsApplication::processingRegistry();
        if (registry && provider_) {
            registry->removeProvider(provider_);  // deletes it
        }
    }

  private:
    QPointer<BramlotteProvider> provider_;
};

}  // namespace

std::unique_ptr<PluginPart> AddProcessingProvider() {
    return std::make_unique<ProcessingPart>();
}

}  // namespace bramlotte

// Adds the Bramlotte provider to the Processing registry of the running
// QGIS, for a QGIS without its desktop: load this library (Python's ctypes)
// after QgsApplication.initQgis() and call it. Returns 1 when it added the
// provider, 0 when the registry already had it, -1 without a registry. The
// provider stays until QGIS exits.
QGISEXTERN int bramlotteAddProcessingProvider() {
    QgsProcessingRegistry* registry = QgsApplication::processingRegistry();
    if (!registry) {
        return -1;
    }
    if (registry->providerById(bramlotte::processing::BramlotteProvider::kId)) {
        return 0;
    }
    return registry->addProvider(new bramlotte::processing::BramlotteProvider()) ? 1 : 0;
}
