// The browser's history store as the cleaner sees it: the addresses it lists, deleting one, and
// clearing the whole store. The real one is the CLSID_CUrlHistory object; tests use their own.
#pragma once

#include <memory>
#include <string>

namespace sk {

struct THistoryEntry {
    std::wstring Url;
    std::wstring Title;
};

class THistoryEnumeration {
public:
    virtual ~THistoryEnumeration() = default;
    // The next entry; false when there is none.
    virtual bool Next(THistoryEntry& entry) = 0;
};

// One history object, made for one operation and released with it.
class THistoryConnection {
public:
    virtual ~THistoryConnection() = default;
    // nullptr for a store that has nothing to list (a store that does not implement listing counts as
    // empty). TError when the store refuses the listing.
    virtual std::unique_ptr<THistoryEnumeration> EnumUrls() = 0;
    // Whether the address was deleted.
    virtual bool DeleteUrl(const std::wstring& url) = 0;
    // Whether the store deletes addresses one by one at all (Wine's answers "not implemented"):
    // where it does not, history can only be cleaned as a whole.
    virtual bool DeletesSingleUrls() = 0;
    // Failures are silent: the entries deleted one by one are already gone.
    virtual void ClearHistory() = 0;
};

class THistoryStore {
public:
    virtual ~THistoryStore() = default;
    // TError with the system's message when the history object cannot be made.
    virtual std::unique_ptr<THistoryConnection> Connect() = 0;
};

// CLSID_CUrlHistory through IUrlHistoryStg2.
THistoryStore& ComHistoryStore();

}  // namespace sk
