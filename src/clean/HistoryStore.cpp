#include "clean/HistoryStore.h"

#include <windows.h>
#include <objbase.h>
#include <urlhist.h>

#include "base/Errors.h"
#include "base/ComPtr.h"
#include "base/Handles.h"

namespace sk {

namespace {

// CLSID_CUrlHistory and IID_IUrlHistoryStg2, spelled out so that no import library has to carry them.
constexpr CLSID kUrlHistoryClass = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
constexpr IID kUrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};

// The system's own text for a COM failure, as the error box shows it.
std::wstring ComErrorText(HRESULT hr) {
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message;
    if (n && text) message.assign(text, n);
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) {
        wchar_t code[32];
        ::wsprintfW(code, L"Error 0x%08X", static_cast<unsigned>(hr));
        message = code;
    }
    return message;
}

// The strings of a STATURL belong to the caller.
class TStatUrl {
public:
    TStatUrl() { Reset(); }
    ~TStatUrl() { Free(); }
    TStatUrl(const TStatUrl&) = delete;
    TStatUrl& operator=(const TStatUrl&) = delete;
    STATURL* Receive() {
        Free();
        Reset();
        return &FStat;
    }
    const STATURL& Get() const { return FStat; }

private:
    void Reset() {
        FStat = STATURL{};
        FStat.cbSize = sizeof(STATURL);
    }
    void Free() {
        ::CoTaskMemFree(FStat.pwcsUrl);
        ::CoTaskMemFree(FStat.pwcsTitle);
        FStat.pwcsUrl = nullptr;
        FStat.pwcsTitle = nullptr;
    }
    STATURL FStat;
};

class TComHistoryEnumeration final : public THistoryEnumeration {
public:
    explicit TComHistoryEnumeration(TComPtr<IEnumSTATURL> urls) : FUrls(std::move(urls)) {}

    bool Next(THistoryEntry& entry) override {
        ULONG fetched = 0;
        if (FUrls->Next(1, FStat.Receive(), &fetched) != S_OK || fetched != 1) return false;
        const STATURL& stat = FStat.Get();
        entry.Url = stat.pwcsUrl ? stat.pwcsUrl : L"";
        entry.Title = stat.pwcsTitle ? stat.pwcsTitle : L"";
        return true;
    }

private:
    TComPtr<IEnumSTATURL> FUrls;
    TStatUrl FStat;
};

class TComHistoryConnection final : public THistoryConnection {
public:
    // COM stays initialised on this thread for as long as the object lives.
    TComHistoryConnection() {
        const HRESULT hr = ::CoCreateInstance(kUrlHistoryClass, nullptr, CLSCTX_INPROC_SERVER, kUrlHistoryStg2,
                                              reinterpret_cast<void**>(FHistory.Receive()));
        if (FAILED(hr) || !FHistory) throw TError(ComErrorText(FAILED(hr) ? hr : E_NOINTERFACE));
    }

    std::unique_ptr<THistoryEnumeration> EnumUrls() override {
        TComPtr<IEnumSTATURL> urls;
        const HRESULT hr = FHistory->EnumUrls(urls.Receive());
        // Wine's history object implements none of its methods: that is a store with nothing in it.
        if (hr == E_NOTIMPL) return nullptr;
        if (FAILED(hr)) throw TError(ComErrorText(hr));
        if (!urls) return nullptr;
        return std::make_unique<TComHistoryEnumeration>(std::move(urls));
    }

    bool DeleteUrl(const std::wstring& url) override { return FHistory->DeleteUrl(url.c_str(), 0) == S_OK; }

    bool DeletesSingleUrls() override {
        // Asked of an address nobody visits: whatever else it answers, "not implemented" is final.
        return FHistory->DeleteUrl(L"http://surfkeep.invalid/single-delete-probe", 0) != E_NOTIMPL;
    }

    void ClearHistory() override { FHistory->ClearHistory(); }

private:
    TComInit FCom;  // first in, last out
    TComPtr<IUrlHistoryStg2> FHistory;
};

class TComHistoryStore final : public THistoryStore {
public:
    std::unique_ptr<THistoryConnection> Connect() override { return std::make_unique<TComHistoryConnection>(); }
};

}  // namespace

THistoryStore& ComHistoryStore() {
    static TComHistoryStore store;
    return store;
}

}  // namespace sk
