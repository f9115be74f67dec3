#include "platform/linux/qt/QtApplicationTarget.h"

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
    if (actions_) (actions_->*command)();
}

void QtApplicationTarget::aboutToQuit() {
    if (terminated_ || !actions_) return;
    terminated_ = true;
    actions_->terminate();
}

} // namespace quoddle
