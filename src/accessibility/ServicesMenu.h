#pragma once
// An application's Services menu, reached through its menu bar (bar, application menu at index 1, the
// Services item, its menu): the titles of its items, which decide which menu choices the history learns,
// and pressing one of them by title.

#include "accessibility/ElementQueries.h"
#include "platform/AppServices.h"
#include "support/UserDefaults.h"

#include <set>
#include <string>

namespace quoddle {

class ServicesMenu {
public:
    ServicesMenu(ElementQueries& queries, AppServices& appServices, const UserDefaults& preferences)
        : queries_(queries), appServices_(appServices), preferences_(preferences) {}

    // Reads the titles of the application's Services items, when none are known; when its menu cannot be
    // reached, the titles set aside last take their place.
    void learnTitlesFrom(ProcessId pid);
    // A Finder-like application became active: the titles are set aside and read afresh next time.
    void forgetTitles();
    bool isKnownTitle(const std::string& title) const { return known_.count(title) != 0; }
    std::size_t knownTitleCount() const { return known_.size(); }

    // Presses the application's Services item of that title; beeps and answers false when it is not there.
    // A press the application ignores cannot be told from one it carries out.
    bool press(ProcessId pid, const std::string& title);

private:
    ax::ElementRef servicesMenuOf(ProcessId pid, const std::vector<std::string>& servicesItemTitles);
    std::vector<std::string> servicesItemTitles(bool withPlainTitle) const;

    ElementQueries& queries_;
    AppServices& appServices_;
    const UserDefaults& preferences_;
    std::set<std::string> known_;
    std::set<std::string> previous_;
};

} // namespace quoddle
