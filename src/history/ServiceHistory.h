#pragma once
// The service history: application key (localized name, or "*" for all applications) to that
// application's table of items by title.

#include "history/HistoryItem.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quoddle {

inline constexpr const char* kAllApplicationsKey = "*";

// One application's items, filed by title. Items stay in insertion order in one array, with their sort
// keys mirrored in a compact array so that picking the palette's few items scans little memory.
class ApplicationHistory {
public:
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const HistoryItem* find(const std::string& title) const;
    // Files the item under its title, replacing an item of the same title.
    void put(HistoryItem item);
    // One more use of the title now: a new item with Count 1, or Count + 1 and a fresh Date.
    void recordUse(const std::string& title, TimePoint now);
    void reserve(std::size_t capacity);

    // In no defined order.
    const std::vector<HistoryItem>& items() const { return items_; }
    // Highest Count first; equal counts in insertion order.
    std::vector<const HistoryItem*> itemsByCount() const;

    // The items whose Count is at least the threshold, highest Count first.
    std::vector<const HistoryItem*> itemsWithCountAtLeast(std::int32_t threshold) const;
    // Newest first, the first `limit` items (at least one when any exists) whose title is not excluded;
    // what a full sort by date followed by a filtered walk would give.
    std::vector<const HistoryItem*>
    newestItems(std::int32_t limit, const std::function<bool(const std::string&)>& excluded) const;

private:
    struct SortKey {
        std::int32_t count;
        std::int64_t dateTicks; // TimePoint ticks; the oldest possible value when the item has no Date
    };
    static SortKey sortKeyOf(const HistoryItem& item);

    std::vector<HistoryItem> items_;
    std::vector<SortKey> keys_;
    std::unordered_map<std::string, std::uint32_t> indexByTitle_;
};

class ServiceHistory {
public:
    const ApplicationHistory* find(const std::string& applicationKey) const;
    // The application's table, created empty (with room for `capacityHint` items) when absent.
    ApplicationHistory& tableFor(const std::string& applicationKey, std::size_t capacityHint = 128);
    std::size_t size() const { return tables_.size(); }
    bool empty() const { return tables_.empty(); }
    const std::unordered_map<std::string, ApplicationHistory>& tables() const { return tables_; }
    // The Date of that application's item with that title; none when either is absent.
    std::optional<TimePoint> itemDate(const std::string& applicationKey, const std::string& title) const;

    // The stored form. Loading skips entries of the wrong shape and reports each through `skipped`.
    static ServiceHistory fromPlist(const PlistValue& stored,
                                    const std::function<void(const std::string&)>& skipped);
    PlistDictionary toPlist() const;

    friend bool operator==(const ServiceHistory& a, const ServiceHistory& b);

private:
    std::unordered_map<std::string, ApplicationHistory> tables_;
};

} // namespace quoddle
