// The WinInet URL cache as the cleaner sees it: an enumeration of every entry (content, cookies and
// visited addresses alike) and deletion by source name. The real one is WinInet; tests use their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace sk {

struct TUrlCacheEntry {
    std::wstring SourceUrlName;
    uint64_t Size = 0;
};

enum class TUrlCacheStep {
    Entry,  // the next entry was fetched
    Again,  // the cache reported an error for this pass and no entry; the caller may try again
    End,    // no more entries
};

// One open enumeration; destroying it ends the enumeration.
class TUrlCacheEnumeration {
public:
    virtual ~TUrlCacheEnumeration() = default;
    virtual TUrlCacheStep Next(TUrlCacheEntry& entry) = 0;
};

class TUrlCache {
public:
    virtual ~TUrlCache() = default;
    // Opens an enumeration of every entry (no search pattern) and fetches the first into first;
    // nullptr when the cache yields no entry.
    virtual std::unique_ptr<TUrlCacheEnumeration> FindFirst(TUrlCacheEntry& first) = 0;
    virtual bool DeleteEntry(const std::wstring& sourceUrlName) = 0;
};

// The current user's WinInet cache. Every entry is fetched with two calls: a size query without a
// buffer, then the fetch into a buffer of that size.
TUrlCache& WinInetUrlCache();

}  // namespace sk
