// The command "Bramlotte": how it looks on the host's menus and toolbars,
// and what its click does (open a new index dialog over the host).
#pragma once

#include "map/host_command.h"

#include <memory>

namespace bramlotte {

class Bramlotte : public host::ICommand {
  public:
    explicit Bramlotte(host::CommandHost& host) : host_(host) {}

    bool Enabled() override;
    bool Checked() override;
    QString Name() override;
    QString Caption() override;
    QString Tooltip() override;
    QString Message() override;
    QString HelpFile() override;
    int32_t HelpContextID() override;
    uint32_t Bitmap() override;
    QString Category() override;
    void OnCreate(QObject* hook) override;
    void OnClick() override;

    // The host application handed over at creation, or nullptr.
    const std::shared_ptr<host::Application>& application() const { return application_; }

  private:
    host::CommandHost& host_;
    std::shared_ptr<host::Application> application_;
};

}  // namespace bramlotte
