#include "platform/linux/qt/QtSettingsWindow.h"

#include "platform/linux/qt/QtApplicationTarget.h"

#include "Preferences.h"
#include "palette/ShortcutText.h"
#include "support/UserDefaults.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <filesystem>

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

// The General page's switches. "inverted": the control shows the opposite of the stored value.
struct SwitchPreference {
    const char* key;
    const char* label;
    bool inverted;
};
constexpr SwitchPreference kSwitches[] = {
    {preference::launchAtLogin, "Start Quoddle when you log in", false},
    {preference::showSettingsAtStart, "Show this window when Quoddle starts", false},
    {preference::hideDockIcon, "Show Quoddle in the system tray", true},
};

// The General page's numbers, with the ranges that keep the palette usable.
struct NumberPreference {
    const char* key;
    const char* label;
    int minimum, maximum;
    const char* suffix;
};
constexpr NumberPreference kNumbers[] = {
    {preference::paletteWidth, "Palette width:", 120, 800, " px"},
    {preference::paletteMargin, "Distance from the pointer:", 0, 60, " px"},
    {preference::shortcutButtonsPerRow, "Shortcut buttons per row:", 1, 12, ""},
    {preference::recentApplicationServices, "Recent services of the application:", 0, 20, ""},
    {preference::recentAllServices, "Recent services of all applications:", 0, 20, ""},
    {preference::alwaysShowUseCount, "Always offer a service used at least:", 1, 1000000, " times"},
};

} // namespace

QtSettingsWindow::QtSettingsWindow(const QtApplicationTarget& application)
    : application_(application), historyTextView_(std::make_unique<QtTextView>(this)),
      shortcutTextView_(std::make_unique<QtTextView>(this)),
      blacklistTextView_(std::make_unique<QtTextView>(this)) {
    const QString title = QStringLiteral("Quoddle Settings");
    setWindowTitle(title);
    setAccessibleName(title);
    // Closing hides the window; Quoddle keeps running without any window shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    nameTextView(
        *historyTextView_, QStringLiteral("History"),
        QStringLiteral("One line per item: application, count, Services item and label, separated by tabs"));
    nameTextView(*shortcutTextView_, QStringLiteral("Shortcut Buttons"),
                 QStringLiteral("One line per button: label, type, value, then modifier and flag words"));
    nameTextView(*blacklistTextView_, QStringLiteral("Blacklist"),
                 QStringLiteral("One application name or identifier per line"));

    loadButton_ = makeButton(QStringLiteral("Load"), *this);
    applyButton_ = makeButton(QStringLiteral("Apply"), *this);
    accessibilityButton_ = makeButton(QStringLiteral("Turn On Accessibility\u2026"), *this);
    QObject::connect(loadButton_, &QPushButton::clicked, this,
                     [this] { application_.send(&ApplicationActions::loadHistoryText); });
    QObject::connect(applyButton_, &QPushButton::clicked, this,
                     [this] { application_.send(&ApplicationActions::applyHistoryText); });
    QObject::connect(accessibilityButton_, &QPushButton::clicked, this,
                     [this] { application_.send(&ApplicationActions::openAccessibilitySettings); });

    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(QStringLiteral("Settings"));
    tabs_->addTab(makeGeneralPage(), QStringLiteral("General"));
    tabs_->addTab(makePage(*historyTextView_, QStringLiteral("History"), {loadButton_, applyButton_},
                           *new QWidget(tabs_)),
                  QStringLiteral("History"));
    tabs_->addTab(makePage(*shortcutTextView_, QStringLiteral("Shortcut Buttons"), {}, *new QWidget(tabs_)),
                  QStringLiteral("Shortcut Buttons"));
    tabs_->addTab(makePage(*blacklistTextView_, QStringLiteral("Blacklist"), {}, *new QWidget(tabs_)),
                  QStringLiteral("Blacklist"));
    tabs_->addTab(makeDesktopServicesPage(), QStringLiteral("Desktop Services"));
    QObject::connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (tabs_->widget(index) == servicesList_->parentWidget()) refreshDesktopServices();
    });

    accessibilityLabel_ = new QLabel(this);
    accessibilityLabel_->setAccessibleName(QStringLiteral("Accessibility state"));
    accessibilityStatus_ = std::make_unique<QtTextField>(*accessibilityLabel_);
    // What the label says until the core has checked.
    accessibilityStatus_->setStringValue("Accessibility is off for this session");
    accessibilityStatus_->setTextColor(Color{1, 0, 0, 1});

    auto* status = new QHBoxLayout;
    status->addWidget(accessibilityLabel_, 1);
    status->addWidget(accessibilityButton_);
    // The label's text is its name for a screen reader: it says all there is.
    helperLabel_ = new QLabel(this);
    helperLabel_->setWordWrap(true);
    helperButton_ = makeButton(QString(), *this);
    QObject::connect(helperButton_, &QPushButton::clicked, this, [this] { turnOnDesktopHelper(); });
    auto* helper = new QHBoxLayout;
    helper->addWidget(helperLabel_, 1);
    helper->addWidget(helperButton_);
    helperLabel_->hide();
    helperButton_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(status);
    layout->addLayout(helper);
    resize(680, 460);
}

QtSettingsWindow::~QtSettingsWindow() = default;

QWidget* QtSettingsWindow::makeGeneralPage() {
    auto* page = new QWidget(tabs_);
    page->setAccessibleName(QStringLiteral("General"));
    auto* form = new QFormLayout(page);
    for (const SwitchPreference& preference : kSwitches) {
        auto* box = new QCheckBox(QString::fromUtf8(preference.label), page);
        box->setAccessibleName(box->text());
        QObject::connect(box, &QCheckBox::toggled, this, [this, preference](bool on) {
            if (!defaults_) return;
            defaults_->setBool(preference.key, on != preference.inverted);
            // The login item follows its preference, as the core applies it.
            if (std::string(preference.key) == preference::launchAtLogin)
                application_.send(&ApplicationActions::launchAtLoginChanged);
        });
        form->addRow(box);
        checkBoxes_.push_back({preference.key, preference.inverted, box});
    }
    for (const NumberPreference& preference : kNumbers) {
        auto* spin = new QSpinBox(page);
        spin->setRange(preference.minimum, preference.maximum);
        spin->setSuffix(QString::fromUtf8(preference.suffix));
        const QString label = QString::fromUtf8(preference.label);
        spin->setAccessibleName(label.chopped(1));
        QObject::connect(spin, &QSpinBox::valueChanged, this, [this, preference](int value) {
            if (defaults_) defaults_->setInteger(preference.key, value);
        });
        form->addRow(label, spin);
        spinBoxes_.emplace_back(preference.key, spin);
    }
    servicesTitle_ = new QLineEdit(page);
    servicesTitle_->setAccessibleName(QStringLiteral("Title of applications' Services menus"));
    servicesTitle_->setToolTip(
        QStringLiteral("Where an application has its text services under another title, name it here"));
    QObject::connect(servicesTitle_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (defaults_) defaults_->setObject(preference::servicesMenuTitle, text.toStdString());
    });
    form->addRow(QStringLiteral("Services menu title:"), servicesTitle_);
    for (QLabel* label : page->findChildren<QLabel*>())
        label->setAccessibleName(label->text());
    return page;
}

void QtSettingsWindow::setPreferences(UserDefaults& defaults) {
    defaults_ = &defaults;
    refreshPreferences();
}

void QtSettingsWindow::refreshPreferences() {
    if (!defaults_) return;
    for (const Switch& control : checkBoxes_) {
        const QSignalBlocker quiet(control.box);
        control.box->setChecked(defaults_->boolForKey(control.key) != control.inverted);
    }
    for (auto& [key, spin] : spinBoxes_) {
        const QSignalBlocker quiet(spin);
        // A stored value out of range shows clamped; it is stored only when the user changes it.
        spin->setValue(
            int(std::clamp<std::int64_t>(defaults_->integerForKey(key), spin->minimum(), spin->maximum())));
    }
    // Set only when it differs, so a refresh while the user types leaves the cursor where it is.
    const QString title =
        QString::fromStdString(defaults_->stringForKey(preference::servicesMenuTitle).value_or(""));
    if (servicesTitle_->text() != title) {
        const QSignalBlocker quiet(servicesTitle_);
        servicesTitle_->setText(title);
    }
}

QCheckBox* QtSettingsWindow::preferenceCheckBox(const std::string& key) const {
    for (const Switch& control : checkBoxes_)
        if (control.key == key) return control.box;
    return nullptr;
}

QSpinBox* QtSettingsWindow::preferenceSpinBox(const std::string& key) const {
    for (const auto& [name, spin] : spinBoxes_)
        if (name == key) return spin;
    return nullptr;
}

void QtSettingsWindow::setDesktopHelper(DesktopHelperRow helper) {
    helper_ = std::move(helper);
    helperButton_->setText(QString::fromStdString(helper_.buttonTitle));
    helperLabel_->show();
    refreshDesktopHelper();
}

bool QtSettingsWindow::refreshDesktopHelper() {
    if (!helper_.running) return false;
    const bool on = helper_.running();
    helperLabel_->setText(QString::fromStdString(on ? helper_.onText : helper_.offText));
    helperButton_->setVisible(!on);
    return on;
}

void QtSettingsWindow::turnOnDesktopHelper() {
    if (const std::optional<std::string> problem = helper_.turnOn()) {
        helperLabel_->setText(QString::fromStdString(*problem));
        return;
    }
    // The desktop starts it a moment later: look again until it answers, for a few seconds.
    auto* again = new QTimer(this);
    QObject::connect(again, &QTimer::timeout, this, [this, again, tries = 0]() mutable {
        if (refreshDesktopHelper() || ++tries >= 20) again->deleteLater();
    });
    again->start(250);
}

void QtSettingsWindow::showEvent(QShowEvent* event) {
    refreshPreferences();
    refreshDesktopServices();
    refreshDesktopHelper();
    QWidget::showEvent(event);
}

QWidget* QtSettingsWindow::makeDesktopServicesPage() {
    auto* page = new QWidget(tabs_);
    page->setAccessibleName(QStringLiteral("Desktop Services"));
    servicesList_ = new QTreeWidget(page);
    servicesList_->setAccessibleName(QStringLiteral("Desktop services"));
    servicesList_->setAccessibleDescription(
        QStringLiteral("The services in every application's Services menu, and the file each comes from"));
    servicesList_->setHeaderLabels(
        {QStringLiteral("Service"), QStringLiteral("Output"), QStringLiteral("File")});
    servicesList_->setRootIsDecorated(false);
    servicesList_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    servicesList_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    auto* hint = new QLabel(
        QStringLiteral("A service reaches the palette once used, or at once as a shortcut button."), page);
    hint->setWordWrap(true);
    hint->setAccessibleName(hint->text());
    addToPaletteButton_ = makeButton(QStringLiteral("Add as Shortcut Button"), *page);
    openFolderButton_ = makeButton(QStringLiteral("Open Services Folder"), *page);
    addToPaletteButton_->setEnabled(false);
    QObject::connect(servicesList_, &QTreeWidget::itemSelectionChanged, this,
                     [this] { addToPaletteButton_->setEnabled(!servicesList_->selectedItems().isEmpty()); });
    QObject::connect(addToPaletteButton_, &QPushButton::clicked, this,
                     [this] { addSelectedServiceToPalette(); });
    QObject::connect(openFolderButton_, &QPushButton::clicked, this, [this] { openServicesFolder(); });

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(servicesList_, 1);
    layout->addWidget(hint);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(addToPaletteButton_);
    row->addWidget(openFolderButton_);
    layout->addLayout(row);
    return page;
}

void QtSettingsWindow::setDesktopServices(std::function<std::vector<DesktopServiceListing>()> list,
                                          std::string userFolder) {
    listServices_ = std::move(list);
    servicesFolder_ = std::move(userFolder);
    refreshDesktopServices();
}

void QtSettingsWindow::refreshDesktopServices() {
    servicesList_->clear();
    if (!listServices_) return;
    for (const DesktopServiceListing& service : listServices_())
        new QTreeWidgetItem(servicesList_,
                            {QString::fromStdString(service.name), QString::fromStdString(service.output),
                             QString::fromStdString(service.file)});
}

void QtSettingsWindow::addSelectedServiceToPalette() {
    const QList<QTreeWidgetItem*> selected = servicesList_->selectedItems();
    if (selected.isEmpty()) return;
    const QString name = selected.front()->text(0);
    // Typed into the shortcut text as the user would, so it is stored as their edit is.
    QTextEdit& edit = shortcutTextView_->widget();
    QTextCursor cursor(edit.document());
    cursor.movePosition(QTextCursor::End);
    const QString text = edit.toPlainText();
    QString line = name + QChar('\t') + QString::fromUtf8(kServiceLineType) + QChar('\t') + name;
    if (!text.isEmpty() && !text.endsWith(QChar('\n'))) line.prepend(QChar('\n'));
    cursor.insertText(line + QChar('\n'));
    tabs_->setCurrentWidget(shortcutTextView_->widget().parentWidget());
}

void QtSettingsWindow::openServicesFolder() {
    if (servicesFolder_.empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(servicesFolder_, ignored);
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(servicesFolder_)));
}

} // namespace quoddle
