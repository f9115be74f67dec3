#include "platform/linux/session/LinuxAppServices.h"

#include "platform/linux/qt/QtUi.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace quoddle {

namespace {

// The original platform's alert styles: warning, informational, critical.
QMessageBox::Icon iconOfAlertStyle(int alertStyle) {
    switch (alertStyle) {
    case 1:
        return QMessageBox::Information;
    case 2:
        return QMessageBox::Critical;
    default:
        return QMessageBox::Warning;
    }
}

} // namespace

void LinuxAppServices::beep() {
    QApplication::beep();
}

void LinuxAppServices::activate() {
    QWidget* window = frontWindows_.mostRecent();
    if (!window) return;
    window->raise();
    window->activateWindow();
}

int LinuxAppServices::runModalAlert(const std::string& messageText, const std::string& informativeText,
                                    int alertStyle) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Quoddle"));
    box.setIcon(iconOfAlertStyle(alertStyle));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(messageText));
    box.setInformativeText(QString::fromStdString(informativeText));
    // The text format reaches only the main text; the informative one would still be guessed at.
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == ok ? kAlertFirstButtonReturn : kAlertSecondButtonReturn;
}

} // namespace quoddle
