// The host's command interface: how the host asks a command how it looks,
// hands it the host application, and reports its clicks. Members are in the
// interface's slot order.
#pragma once

#include "map/host.h"

#include <QString>

#include <cstdint>
#include <memory>

class QObject;

namespace bramlotte::host {

class ICommand {
  public:
    virtual ~ICommand() = default;
    virtual bool Enabled() = 0;
    virtual bool Checked() = 0;
    virtual QString Name() = 0;
    virtual QString Caption() = 0;
    virtual QString Tooltip() = 0;
    virtual QString Message() = 0;
    virtual QString HelpFile() = 0;
    virtual int32_t HelpContextID() = 0;
    // A handle the host resolves to the command's 16 × 16 picture; 0 for none.
    virtual uint32_t Bitmap() = 0;
    virtual QString Category() = 0;
    // `hook` is the host application as the host hands it over.
    virtual void OnCreate(QObject* hook) = 0;
    virtual void OnClick() = 0;
};

// What a command asks of the host it runs in.
class CommandHost {
  public:
    virtual ~CommandHost() = default;
    // The host application behind `hook`; throws support::Failure when the hook
    // offers no host application.
    virtual std::shared_ptr<Application> applicationFromHook(QObject* hook) = 0;
    // A new object through which the running host application is reached.
    virtual std::shared_ptr<ApplicationReference> newApplicationReference() = 0;
};

}  // namespace bramlotte::host
