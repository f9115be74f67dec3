#include "platform/linux/QtSettingsWindow.h"

#include "platform/linux/QtApplicationTarget.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>

namespace quoddle {

namespace {

QPushButton* makeButton(const QString& label, QWidget& parent) {
    auto* button = new QPushButton(label, &parent);
    button->setAccessibleName(label);
    button->setAutoDefault(false);
    return button;
}

void nameTextView(QtTextView& view, const QString& name, const QString& description) {
    view.widget().setAccessibleName(name);
    view.widget().setAccessibleDescription(description);
}

// A page holding one text view, and the row of buttons below it if any.
QWidget* makePage(QtTextView& view, const QString& name, std::initializer_list<QPushButton*> buttons,
                  QWidget& page) {
    page.setAccessibleName(name);
    auto* layout = new QVBoxLayout(&page);
    view.widget().setParent(&page);
    layout->addWidget(&view.widget());
    if (buttons.size() > 0) {
        auto* row = new QHBoxLayout;
        row->addStretch();
        for (QPushButton* button : buttons) {
            button->setParent(&page);
            row->addWidget(button);
        }
        layout->addLayout(row);
    }
    return &page;
}

} // namespace

QtSettingsWindow::QtSettingsWindow(const QtApplicationTarget& application)
    : application_(application), settingTextView_(std::make_unique<QtTextView>(this)),
      shortcutTextView_(std::make_unique<QtTextView>(this)),
      blacklistTextView_(std::make_unique<QtTextView>(this)) {
    const QString title = QStringLiteral("Quoddle Settings");
    setWindowTitle(title);
    setAccessibleName(title);
    // Closing hides the window; Quoddle keeps running without any window shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    nameTextView(
        *settingTextView_, QStringLiteral("History"),
        QStringLiteral("One line per item: application, count, Services item and label, separated by tabs"));
    nameTextView(*shortcutTextView_, QStringLiteral("Shortcut Buttons"),
                 QStringLiteral("One line per button: label, type, value, then modifier and flag words"));
    nameTextView(*blacklistTextView_, QStringLiteral("Blacklist"),
                 QStringLiteral("One application name or identifier per line"));

    loadButton_ = makeButton(QStringLiteral("Load"), *this);
    applyButton_ = makeButton(QStringLiteral("Apply"), *this);
    accessibilityButton_ = makeButton(QStringLiteral("Turn On Accessibility\u2026"), *this);
    QObject::connect(loadButton_, &QPushButton::clicked, this,
                     [this] { application_.send(&ApplicationActions::loadSettingText); });
    QObject::connect(applyButton_, &QPushButton::clicked, this,
                     [this] { application_.send(&ApplicationActions::setSettingText); });
    QObject::connect(accessibilityButton_, &QPushButton::clicked, this,
                     [this] { application_.send(&ApplicationActions::openUniversalAccessPref); });

    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(QStringLiteral("Settings"));
    tabs_->addTab(makePage(*settingTextView_, QStringLiteral("History"), {loadButton_, applyButton_},
                           *new QWidget(tabs_)),
                  QStringLiteral("History"));
    tabs_->addTab(makePage(*shortcutTextView_, QStringLiteral("Shortcut Buttons"), {}, *new QWidget(tabs_)),
                  QStringLiteral("Shortcut Buttons"));
    tabs_->addTab(makePage(*blacklistTextView_, QStringLiteral("Blacklist"), {}, *new QWidget(tabs_)),
                  QStringLiteral("Blacklist"));

    axapiLabel_ = new QLabel(this);
    axapiLabel_->setAccessibleName(QStringLiteral("Accessibility state"));
    axapiField_ = std::make_unique<QtTextField>(*axapiLabel_);
    // What the label says until the controller has checked.
    axapiField_->setStringValue("\"Enable access for assistive devices\" is OFF.");
    axapiField_->setTextColor(Color{1, 0, 0, 1});

    auto* status = new QHBoxLayout;
    status->addWidget(axapiLabel_, 1);
    status->addWidget(accessibilityButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(status);
    resize(680, 460);
}

QtSettingsWindow::~QtSettingsWindow() = default;

} // namespace quoddle
