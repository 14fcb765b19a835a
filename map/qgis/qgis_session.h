// A headless QGIS session for programs and tests: starts QGIS core on
// construction and shuts it down on destruction. One per process.
#pragma once

#include <memory>

class QgsApplication;

namespace bramlotte::qgishost {

class QgisSession {
  public:
    // `argc` and `argv` must outlive the session, as Qt requires.
    QgisSession(int& argc, char** argv, bool gui = true);
    ~QgisSession();
    QgisSession(const QgisSession&) = delete;
    QgisSession& operator=(const QgisSession&) = delete;

  private:
    std::unique_ptr<QgsApplication> app_;
};

// Starts QGIS's authentication manager (again is harmless). Layers of a
// project file may hold stored credentials and need it; a session does not
// start it itself.
void startAuthentication();

}  // namespace bramlotte::qgishost
