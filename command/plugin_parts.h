// Parts of the plugin that live above the command: the Processing provider.
// The plugin library brings their definition (processing/provider_entry.cpp);
// the plugin entry adds them with its menu and drops them when it unloads.
#pragma once

#include <memory>

namespace bramlotte {

class PluginPart {
  public:
    virtual ~PluginPart() = default;
};

// Adds the Bramlotte provider to QGIS's Processing registry; destroying the
// part removes it again.
std::unique_ptr<PluginPart> AddProcessingProvider();

}  // namespace bramlotte
