#include "security/InternetSupport.h"

#include "security/TextFile.h"

namespace sk {

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
