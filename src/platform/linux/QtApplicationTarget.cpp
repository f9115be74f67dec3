#include "platform/linux/QtApplicationTarget.h"

#include <QCoreApplication>

namespace quoddle {

QtApplicationTarget::QtApplicationTarget() {
    quitConnection_ = QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                                       [this] { aboutToQuit(); });
}

QtApplicationTarget::~QtApplicationTarget() {
    QObject::disconnect(quitConnection_);
}

void QtApplicationTarget::send(void (ApplicationActions::*command)()) const {
    if (target_) (target_->*command)();
}

void QtApplicationTarget::aboutToQuit() {
    if (terminated_ || !target_) return;
    terminated_ = true;
    target_->applicationWillTerminate();
}

} // namespace quoddle
