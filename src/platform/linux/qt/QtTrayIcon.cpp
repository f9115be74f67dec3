#include "platform/linux/qt/QtTrayIcon.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace quoddle {

namespace {

// The installed icon when the theme has it; else the same motif drawn here (a palette of two buttons
// above a selection), so a copy run from its build folder has an icon too.
QIcon quoddleIcon() {
    QIcon themed = QIcon::fromTheme(QStringLiteral("quoddle"));
    if (!themed.isNull()) return themed;
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x6f, 0xb5));
    painter.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(12, 14, 18, 12), 3, 3);
    painter.drawRoundedRect(QRectF(34, 14, 18, 12), 3, 3);
    painter.setBrush(QColor(0xff, 0xd2, 0x4d));
    painter.drawRect(QRectF(12, 36, 40, 12));
    return QIcon(pixmap);
}

} // namespace

QtTrayIcon::QtTrayIcon(Actions actions)
    : actions_(std::move(actions)), menu_(std::make_unique<QMenu>()),
      icon_(std::make_unique<QSystemTrayIcon>(quoddleIcon())) {
    settings_ = menu_->addAction(QStringLiteral("Settings\u2026"));
    pause_ = menu_->addAction(QStringLiteral("Pause"));
    menu_->addSeparator();
    quit_ = menu_->addAction(QStringLiteral("Quit Quoddle"));
    QObject::connect(settings_, &QAction::triggered, [this] {
        if (actions_.showSettings) actions_.showSettings();
    });
    QObject::connect(pause_, &QAction::triggered, [this] { togglePause(); });
    QObject::connect(quit_, &QAction::triggered, [this] {
        if (actions_.quit) actions_.quit();
    });
    // A plain click on the icon opens the settings, as most tray icons do.
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger && actions_.showSettings) actions_.showSettings();
    });
    icon_->setContextMenu(menu_.get());
    icon_->setToolTip(QStringLiteral("Quoddle"));
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::setVisible(bool visible) {
    icon_->setVisible(visible);
}

bool QtTrayIcon::isVisible() const {
    return icon_->isVisible();
}

void QtTrayIcon::togglePause() {
    paused_ = !paused_;
    pause_->setText(paused_ ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    icon_->setToolTip(paused_ ? QStringLiteral("Quoddle (paused)") : QStringLiteral("Quoddle"));
    if (actions_.setPaused) actions_.setPaused(paused_);
}

} // namespace quoddle
