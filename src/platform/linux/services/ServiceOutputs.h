#pragma once
// Where a desktop service's output goes: over the selection, onto the clipboard, or into a notification.

#include "platform/Workspace.h"

#include <QMimeData>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace quoddle {

class X11KeyPoster;

class ServiceOutputs {
public:
    virtual ~ServiceOutputs() = default;
    // Replaces the selection in the focused application, the process's, with the text; false when the
    // text could not be put there.
    virtual bool replaceSelection(ProcessId pid, const std::string& text) = 0;
    virtual void copyToClipboard(const std::string& text) = 0;
    // failed gets the reason when the notification could not be shown.
    virtual void showNotification(const std::string& summary, const std::string& body,
                                  std::function<void(const std::string& reason)> failed) = 0;
};

// On the desktop. A replacement goes through the clipboard and the paste key: it works in every toolkit's
// text widgets and undoes in one step, where editing through accessibility breaks undo. The user's
// clipboard is given back once the application has taken the text (or after a while, when it never asks).
// PRIMARY is never touched: the application's selection stays as it is until the paste replaces it.
class DesktopServiceOutputs : public ServiceOutputs {
public:
    explicit DesktopServiceOutputs(X11KeyPoster& keyPoster);
    ~DesktopServiceOutputs() override;

    // On a Wayland session: windows no paste key reaches get the text through accessibility, and a copy
    // also goes where Wayland windows paste from.
    struct KeylessRoute {
        std::function<bool(ProcessId)> takesNoKeys;
        std::function<bool(ProcessId, const std::string&)> replaceSelection;
        std::function<void(const std::string&)> alsoCopy;
    };
    void setKeylessRoute(KeylessRoute route) { keyless_ = std::move(route); }

    bool replaceSelection(ProcessId pid, const std::string& text) override;
    void copyToClipboard(const std::string& text) override;
    void showNotification(const std::string& summary, const std::string& body,
                          std::function<void(const std::string& reason)> failed) override;

private:
    void pasteServed();
    void restoreClipboard();

    X11KeyPoster& keyPoster_;
    // What the clipboard held before the replacement; null when it was empty.
    std::unique_ptr<QMimeData> saved_;
    QPointer<QMimeData> pendingPaste_; // the replacement's text, while the clipboard holds it
    bool pasteKeyPosted_ = false;
    std::unique_ptr<QTimer> restoreTimer_;
    KeylessRoute keyless_;
};

} // namespace quoddle
