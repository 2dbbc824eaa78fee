#include "security/InternetSupport.h"

#include "base/InternetHandles.h"
#include "security/HostsLine.h"
#include "security/TextFile.h"

namespace sk {

TUrlParts SplitUrl(const std::wstring& url) {
    using hostsline::ParseDecimal;
    TUrlParts parts;
    std::wstring_view rest = hostsline::Trim(std::wstring_view(url));
    if (hostsline::StartsWithAsciiNoCase(rest, L"https://")) {
        rest.remove_prefix(8);
        parts.Secure = true;
        parts.Port = INTERNET_DEFAULT_HTTPS_PORT;
    } else if (hostsline::StartsWithAsciiNoCase(rest, L"http://")) {
        rest.remove_prefix(7);
    }
    const auto slash = rest.find(L'/');
    if (slash == std::wstring_view::npos) {
        parts.ObjectPath = std::wstring(rest);
        return parts;
    }
    std::wstring_view server = rest.substr(0, slash);
    parts.ObjectPath = std::wstring(rest.substr(slash));

    // "host:port" and "[v6-address]:port"; a port that is no number stays part of the name, and
    // connecting to that name then fails with a clear error.
    unsigned port = 0;
    if (!server.empty() && server.front() == L'[') {
        const auto close = server.find(L']');
        if (close != std::wstring_view::npos) {
            const auto after = server.substr(close + 1);
            if (after.empty()) {
                server = server.substr(1, close - 1);
            } else if (after.front() == L':' && ParseDecimal(after.substr(1), 65535, port) && port > 0) {
                server = server.substr(1, close - 1);
                parts.Port = static_cast<INTERNET_PORT>(port);
            }
        }
    } else if (const auto colon = server.find(L':');
               colon != std::wstring_view::npos && server.find(L':', colon + 1) == std::wstring_view::npos) {
        if (ParseDecimal(server.substr(colon + 1), 65535, port) && port > 0) {
            server = server.substr(0, colon);
            parts.Port = static_cast<INTERNET_PORT>(port);
        }
    }
    parts.ServerName = std::wstring(server);
    return parts;
}

void SetInternetTimeouts(HINTERNET handle, uint32_t milliseconds) {
    if (!handle) return;
    DWORD value = milliseconds;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(handle, option, &value, sizeof value);
}

bool QueryStatusCode(HINTERNET request, int& status, DWORD& lastError) {
    wchar_t buffer[512] = {};  // 1024 bytes
    DWORD size = sizeof buffer;
    DWORD index = 0;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, buffer, &size, &index)) {
        lastError = ::GetLastError();
        return false;
    }
    const std::wstring text(buffer, size / sizeof(wchar_t));
    long long value = 0;
    bool digits = !text.empty() && text.size() <= 9;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            digits = false;
            break;
        }
        value = value * 10 + (c - L'0');
    }
    status = digits ? static_cast<int>(value) : 404;
    return true;
}

std::wstring InternetErrorText(DWORD code) {
    if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
        wchar_t* buffer = nullptr;
        const DWORD n = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
            ::GetModuleHandleW(L"wininet.dll"), code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
        std::wstring text;
        if (n && buffer) text.assign(buffer, n);
        if (buffer) ::LocalFree(buffer);
        while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
        if (!text.empty()) return text;
        return L"Internet error " + std::to_wstring(code) + L".";
    }
    return SystemErrorText(code);
}

}  // namespace sk
