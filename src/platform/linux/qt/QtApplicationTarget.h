#pragma once
// The application object on Qt: it holds the core's actions for Quoddle's own windows, and tells the core
// once, when Qt's loop is about to quit (the session ending it, or a quit), that the application
// terminates. The composition root therefore does not call terminate itself.

#include "platform/Application.h"

#include <QMetaObject>

namespace quoddle {

class QtApplicationTarget : public Application {
public:
    // Needs the QCoreApplication.
    QtApplicationTarget();
    ~QtApplicationTarget() override;
    QtApplicationTarget(const QtApplicationTarget&) = delete;
    QtApplicationTarget& operator=(const QtApplicationTarget&) = delete;

    void setActions(ApplicationActions* actions) override { actions_ = actions; }
    // The registered actions, null when none are.
    ApplicationActions* actions() const { return actions_; }
    // Sends one of the core's commands; nothing when none are registered.
    void send(void (ApplicationActions::*command)()) const;

private:
    void aboutToQuit();

    ApplicationActions* actions_ = nullptr;
    bool terminated_ = false;
    QMetaObject::Connection quitConnection_;
};

} // namespace quoddle
