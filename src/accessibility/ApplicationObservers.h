#pragma once
// One accessibility observer per observed application. Its reports feed two things: a selection that became
// non-empty in the pressed application (half of the palette decision), and the menu item the user chose,
// which the history learns when it is a Services item.

#include "accessibility/ElementQueries.h"
#include "history/HistoryRecorder.h"
#include "input/ClickState.h"
#include "platform/Platform.h"
#include "support/UserDefaults.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace quoddle {

class ApplicationObservers {
public:
    // `selectionReported` is called after a report counted (a non-empty selection recorded in the click
    // state) or was set aside with its reason.
    ApplicationObservers(Platform& platform, const UserDefaults& preferences, ElementQueries& queries,
                         ClickState& clicks, HistoryRecorder& history,
                         std::function<void()> selectionReported);
    ApplicationObservers(const ApplicationObservers&) = delete;
    ApplicationObservers& operator=(const ApplicationObservers&) = delete;

    // The first running application with the identifier gets an observer, unless it is blacklisted.
    void observe(const std::string& bundleIdentifier);
    void observeRunningApplications();
    void stopObserving(const std::string& bundleIdentifier);
    // A launched (or relaunched) application ends with exactly one observer, for its new process, and an
    // edit of the blacklist counts for it.
    void applicationLaunched(const std::string& bundleIdentifier);
    std::size_t observedCount() const { return observed_.size(); }
    // Why the application of the process gets no observer, when that is the blacklist.
    std::optional<std::string> whyNotObserved(ProcessId pid) const;

private:
    struct Observed {
        ax::ObserverRef observer;
        ax::ElementRef applicationElement;
        ProcessId pid;
    };
    static void onNotification(const ax::ObserverRef& observer, const ax::ElementRef& element,
                               ax::Notification notification, void* context);
    void selectionChanged(const ax::ElementRef& element);
    // Whether the element's selection is empty; none when it is not focused (then it never counts).
    std::optional<bool> selectionIsEmpty(const ax::ElementRef& element);
    void highlightChanged(const ax::ElementRef& menu);

    Platform& platform_;
    const UserDefaults& preferences_;
    ElementQueries& queries_;
    ClickState& clicks_;
    HistoryRecorder& history_;
    std::function<void()> selectionReported_;
    std::map<std::string, Observed> observed_;
    // The item highlighted last in an open menu of any observed application: what a choice reports.
    std::optional<std::string> highlightedTitle_;
};

} // namespace quoddle
