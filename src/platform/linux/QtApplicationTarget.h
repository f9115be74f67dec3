#pragma once
// The application object on Qt: it holds the controller's actions for Quoddle's own windows, and tells the
// controller once, when Qt's loop is about to quit (the session ending it, or a quit), that the
// application will terminate. The composition root therefore does not call applicationWillTerminate itself.

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

    void setActionTarget(ApplicationActions* target) override { target_ = target; }
    // The registered controller, null when none is.
    ApplicationActions* actionTarget() const { return target_; }
    // Sends one of the controller's commands; nothing when no controller is registered.
    void send(void (ApplicationActions::*command)()) const;

private:
    void aboutToQuit();

    ApplicationActions* target_ = nullptr;
    bool terminated_ = false;
    QMetaObject::Connection quitConnection_;
};

} // namespace quoddle
