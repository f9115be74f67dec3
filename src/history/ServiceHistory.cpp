#include "history/ServiceHistory.h"

#include <algorithm>
#include <queue>

namespace quoddle {

ApplicationHistory::SortKey ApplicationHistory::sortKeyOf(const HistoryItem& item) {
    return SortKey{item.count, item.date ? item.date->time_since_epoch().count()
                                         : TimePoint::min().time_since_epoch().count()};
}

const HistoryItem* ApplicationHistory::find(const std::string& title) const {
    auto it = indexByTitle_.find(title);
    return it == indexByTitle_.end() ? nullptr : &items_[it->second];
}

void ApplicationHistory::put(HistoryItem item) {
    auto [it, inserted] = indexByTitle_.try_emplace(item.title, static_cast<std::uint32_t>(items_.size()));
    if (inserted) {
        keys_.push_back(sortKeyOf(item));
        items_.push_back(std::move(item));
    } else {
        keys_[it->second] = sortKeyOf(item);
        items_[it->second] = std::move(item);
    }
}

void ApplicationHistory::recordUse(const std::string& title, TimePoint now) {
    auto it = indexByTitle_.find(title);
    if (it == indexByTitle_.end()) {
        put(HistoryItem{title, std::nullopt, 1, now, {}});
        return;
    }
    HistoryItem& item = items_[it->second];
    recordUseOf(item, now);
    keys_[it->second] = sortKeyOf(item);
}

void ApplicationHistory::reserve(std::size_t capacity) {
    items_.reserve(capacity);
    keys_.reserve(capacity);
    indexByTitle_.reserve(capacity);
}

std::vector<const HistoryItem*> ApplicationHistory::itemsByCount() const {
    std::vector<const HistoryItem*> sorted;
    sorted.reserve(items_.size());
    for (const HistoryItem& item : items_)
        sorted.push_back(&item);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const HistoryItem* a, const HistoryItem* b) { return a->count > b->count; });
    return sorted;
}

std::vector<const HistoryItem*> ApplicationHistory::itemsWithCountAtLeast(std::int32_t threshold) const {
    std::vector<std::uint32_t> chosen;
    for (std::uint32_t i = 0; i < keys_.size(); ++i)
        if (keys_[i].count >= threshold) chosen.push_back(i);
    std::stable_sort(chosen.begin(), chosen.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return keys_[a].count > keys_[b].count; });
    std::vector<const HistoryItem*> result;
    result.reserve(chosen.size());
    for (std::uint32_t i : chosen)
        result.push_back(&items_[i]);
    return result;
}

std::vector<const HistoryItem*>
ApplicationHistory::newestItems(std::int32_t limit,
                                const std::function<bool(const std::string&)>& excluded) const {
    const std::size_t wanted = static_cast<std::size_t>(std::max(limit, 1));
    // Newer first; equal dates in insertion order, as a stable sort by date would leave them.
    auto newer = [this](std::uint32_t a, std::uint32_t b) {
        return keys_[a].dateTicks != keys_[b].dateTicks ? keys_[a].dateTicks > keys_[b].dateTicks : a < b;
    };
    // Take the newest `window` items without looking at titles; only when excluded titles leave too few,
    // widen the window. Excluded titles are few (the shortcut services and the frequent buttons).
    for (std::size_t window = wanted + 8;; window *= 4) {
        window = std::min(window, items_.size());
        std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, decltype(newer)> newest(newer);
        for (std::uint32_t i = 0; i < keys_.size(); ++i) {
            if (newest.size() < window) {
                newest.push(i);
            } else if (newer(i, newest.top())) {
                newest.pop();
                newest.push(i);
            }
        }
        std::vector<std::uint32_t> ordered;
        ordered.reserve(newest.size());
        for (; !newest.empty(); newest.pop())
            ordered.push_back(newest.top());
        std::reverse(ordered.begin(), ordered.end());

        std::vector<const HistoryItem*> result;
        for (std::uint32_t i : ordered) {
            if (excluded(items_[i].title)) continue;
            result.push_back(&items_[i]);
            if (result.size() >= wanted) return result;
        }
        if (window == items_.size()) return result;
    }
}

const ApplicationHistory* ServiceHistory::find(const std::string& applicationKey) const {
    auto it = tables_.find(applicationKey);
    return it == tables_.end() ? nullptr : &it->second;
}

ApplicationHistory& ServiceHistory::tableFor(const std::string& applicationKey, std::size_t capacityHint) {
    auto [it, inserted] = tables_.try_emplace(applicationKey);
    if (inserted) it->second.reserve(capacityHint);
    return it->second;
}

std::optional<TimePoint> ServiceHistory::itemDate(const std::string& applicationKey,
                                                  const std::string& title) const {
    const ApplicationHistory* table = find(applicationKey);
    if (!table) return std::nullopt;
    const HistoryItem* item = table->find(title);
    return item ? item->date : std::nullopt;
}

ServiceHistory ServiceHistory::fromPlist(const PlistValue& stored,
                                         const std::function<void(const std::string&)>& skipped) {
    ServiceHistory history;
    const PlistDictionary* applications = stored.get<PlistDictionary>();
    if (!applications) {
        skipped("the stored history is not a dictionary");
        return history;
    }
    history.tables_.reserve(applications->size() + 60);
    for (const auto& [applicationKey, table] : *applications) {
        const PlistDictionary* items = table.get<PlistDictionary>();
        if (!items) {
            skipped("the entry for \"" + applicationKey + "\" is not a dictionary");
            continue;
        }
        ApplicationHistory& loaded = history.tables_[applicationKey];
        loaded.reserve(items->size());
        for (const auto& [title, stored] : *items) {
            std::optional<HistoryItem> item = historyItemOfPlist(stored);
            if (!item) {
                skipped("the item \"" + title + "\" of \"" + applicationKey +
                        "\" has no Title or no numeric Count");
                continue;
            }
            loaded.put(std::move(*item));
        }
    }
    return history;
}

PlistDictionary ServiceHistory::toPlist() const {
    PlistDictionary stored;
    for (const auto& [applicationKey, table] : tables_) {
        PlistDictionary items;
        for (const HistoryItem& item : table.items())
            items.emplace(item.title, plistOfHistoryItem(item));
        stored.emplace(applicationKey, std::move(items));
    }
    return stored;
}

bool operator==(const ServiceHistory& a, const ServiceHistory& b) {
    if (a.tables_.size() != b.tables_.size()) return false;
    for (const auto& [key, table] : a.tables_) {
        const ApplicationHistory* other = b.find(key);
        if (!other || other->size() != table.size()) return false;
        for (const HistoryItem& item : table.items()) {
            const HistoryItem* match = other->find(item.title);
            if (!match || !(*match == item)) return false;
        }
    }
    return true;
}

} // namespace quoddle
