#include "platform/linux/qt/QtInterface.h"

#include <QBoxLayout>
#include <QLabel>

namespace quoddle {

std::unique_ptr<QWidget> makeNowLoadingWidget() {
    auto widget = std::make_unique<QWidget>();
    widget->setWindowTitle(QStringLiteral("Quoddle"));
    widget->setAccessibleName(QStringLiteral("Quoddle"));
    widget->setAttribute(Qt::WA_QuitOnClose, false);
    auto* label = new QLabel(QStringLiteral("Now loading\u2026"), widget.get());
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(QStringLiteral("Now loading"));
    label->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(widget.get());
    layout->addWidget(label);
    widget->resize(240, 80);
    return widget;
}

QtInterface::QtInterface() = default;
QtInterface::~QtInterface() = default;

Interface QtInterface::interface() {
    return Interface{palette,
                     settingWindow,
                     nowLoadingWindow,
                     settings->historyTextView(),
                     settings->shortcutTextView(),
                     settings->blacklistTextView(),
                     settings->accessibilityStatusField()};
}

} // namespace quoddle
