// A headless QGIS session for programs and tests: starts QGIS core on
// construction and shuts it down on destruction. One per process.
#pragma once

#include <memory>

class QgsApplication;
class QTemporaryDir;

namespace bramlotte::qgishost {

// Which of QGIS's provider plugins (databases, web services, formats beyond
// those QGIS reads itself) a session loads as it starts: loading them is a
// tenth of a second, which a build on one GeoPackage never uses.
enum class ProviderPlugins { AtStart, WhenNeeded };

class QgisSession {
  public:
    // `argc` and `argv` must outlive the session, as Qt requires. With
    // WhenNeeded, loadProviderPlugins loads them.
    QgisSession(int& argc, char** argv, bool gui = true,
                ProviderPlugins plugins = ProviderPlugins::AtStart);
    ~QgisSession();
    QgisSession(const QgisSession&) = delete;
    QgisSession& operator=(const QgisSession&) = delete;

  private:
    std::unique_ptr<QgsApplication> app_;
    std::unique_ptr<QTemporaryDir> noPlugins_;  // an empty plugin folder
};

// Loads every provider plugin unless the session has. Call it before any
// layer is made: loading them drops the project instance's layers.
void loadProviderPlugins();

// Starts QGIS's authentication manager (again is harmless). Layers of a
// project file may hold stored credentials and need it; a session does not
// start it itself.
void startAuthentication();

}  // namespace bramlotte::qgishost
