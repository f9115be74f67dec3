#include "platform/linux/services/ServiceOutputs.h"

#include "platform/linux/services/DesktopNotifications.h"
#include "platform/linux/x11/KeyCodeTranslation.h"
#include "platform/linux/x11/X11KeyPoster.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringList>
#include <QTimer>

namespace quoddle {

namespace {

// After the application has asked for the replacement, it may ask again for another format; then the
// user's clipboard comes back.
constexpr int kRestoreAfterServedMs = 250;
// An application that never asks (the paste key went nowhere) gets the clipboard back after this.
constexpr int kRestoreDeadlineMs = 3000;
// A clipboard larger than this is not kept aside (an image, say): it is left to its owner.
constexpr qsizetype kMaxSavedBytes = 32 * 1024 * 1024;

// Text on the clipboard that says when someone takes it.
class ServedMimeData : public QMimeData {
public:
    explicit ServedMimeData(std::function<void()> served) : served_(std::move(served)) {}

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        if (served_) served_();
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    std::function<void()> served_;
};

std::unique_ptr<QMimeData> copyOf(const QMimeData* data) {
    if (!data) return nullptr;
    const QStringList formats = data->formats();
    if (formats.isEmpty()) return nullptr;
    auto copy = std::make_unique<QMimeData>();
    qsizetype total = 0;
    for (const QString& format : formats) {
        const QByteArray bytes = data->data(format);
        total += bytes.size();
        if (total > kMaxSavedBytes) return nullptr;
        copy->setData(format, bytes);
    }
    return copy;
}

QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

} // namespace

DesktopServiceOutputs::DesktopServiceOutputs(X11KeyPoster& keyPoster)
    : keyPoster_(keyPoster), restoreTimer_(std::make_unique<QTimer>()) {
    restoreTimer_->setSingleShot(true);
    QObject::connect(restoreTimer_.get(), &QTimer::timeout, [this] { restoreClipboard(); });
}

DesktopServiceOutputs::~DesktopServiceOutputs() {
    if (pendingPaste_) restoreClipboard();
}

bool DesktopServiceOutputs::replaceSelection(ProcessId pid, const std::string& text) {
    if (keyless_.takesNoKeys && keyless_.takesNoKeys(pid)) return keyless_.replaceSelection(pid, text);
    // A replacement right after another keeps the user's clipboard saved by the first.
    if (!pendingPaste_) saved_ = copyOf(clipboard()->mimeData(QClipboard::Clipboard));
    pasteKeyPosted_ = false;
    auto* data = new ServedMimeData([this] { pasteServed(); });
    data->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    clipboard()->setMimeData(data, QClipboard::Clipboard);
    pendingPaste_ = data;
    using namespace mac_vk;
    keyPoster_.postStroke(KeyStroke{{kVK_Control}, kVK_ANSI_V});
    pasteKeyPosted_ = true;
    restoreTimer_->start(kRestoreDeadlineMs);
    return true;
}

void DesktopServiceOutputs::pasteServed() {
    if (!pasteKeyPosted_) return; // asked before the paste (a clipboard manager): not the application
    if (restoreTimer_->remainingTime() > kRestoreAfterServedMs) restoreTimer_->start(kRestoreAfterServedMs);
}

void DesktopServiceOutputs::restoreClipboard() {
    restoreTimer_->stop();
    std::unique_ptr<QMimeData> saved = std::move(saved_);
    const bool stillOurs =
        pendingPaste_ && clipboard()->mimeData(QClipboard::Clipboard) == pendingPaste_.data();
    pendingPaste_ = nullptr;
    // Someone copied something since: that is the clipboard now.
    if (!stillOurs) return;
    if (saved)
        clipboard()->setMimeData(saved.release(), QClipboard::Clipboard);
    else
        clipboard()->clear(QClipboard::Clipboard);
}

void DesktopServiceOutputs::copyToClipboard(const std::string& text) {
    // A copy is what the user asked the clipboard to hold: nothing is given back after it.
    restoreTimer_->stop();
    pendingPaste_ = nullptr;
    saved_.reset();
    clipboard()->setText(QString::fromUtf8(text.data(), qsizetype(text.size())), QClipboard::Clipboard);
    if (keyless_.alsoCopy) keyless_.alsoCopy(text);
}

void DesktopServiceOutputs::showNotification(const std::string& summary, const std::string& body,
                                             std::function<void(const std::string& reason)> failed) {
    showDesktopNotification(summary, body, std::move(failed));
}

} // namespace quoddle
