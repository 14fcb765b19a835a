// The host application on QGIS: the open document and the status bar.
#pragma once

#include "map/host.h"

#include <memory>

namespace bramlotte::qgishost {

class QgisApplication : public host::Application {
  public:
    QgisApplication(std::shared_ptr<host::MapDocument> document,
                    std::shared_ptr<host::StatusBar> statusBar)
        : document_(std::move(document)), statusBar_(std::move(statusBar)) {}
    std::shared_ptr<host::MapDocument> document() override { return document_; }
    std::shared_ptr<host::StatusBar> statusBar() override { return statusBar_; }

  private:
    std::shared_ptr<host::MapDocument> document_;
    std::shared_ptr<host::StatusBar> statusBar_;
};

}  // namespace bramlotte::qgishost
