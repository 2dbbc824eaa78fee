// Small WinInet pieces of the downloader: URLs taken apart, timeouts, the status code and error
// texts.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "base/Errors.h"

namespace sk {

// A URL taken apart for WinInet.
struct TUrlParts {
    std::wstring ServerName;
    std::wstring ObjectPath;
    INTERNET_PORT Port = INTERNET_DEFAULT_HTTP_PORT;
    bool Secure = false;  // https: connect with INTERNET_FLAG_SECURE
};

// "http://" or "https://" (any case) is taken off; the server name is what comes before the next
// "/", the object path that "/" and the rest. Without a "/" the server name is empty and the
// object path is the whole remaining text. "host:port" and "[v6-address]:port" set the port.
TUrlParts SplitUrl(const std::wstring& url);

// Connect, send and receive limits for the handle. Set on the request handle as well: Wine does
// not pass the session's limits on to its requests.
void SetInternetTimeouts(HINTERNET handle, uint32_t milliseconds);

// HTTP_QUERY_STATUS_CODE as a number; a text that is not one reads as 404. False (with the
// platform's error in lastError) when the query itself fails.
bool QueryStatusCode(HINTERNET request, int& status, DWORD& lastError);

// The platform's text for a WinInet or system error code, without the trailing line break.
std::wstring InternetErrorText(DWORD code);

}  // namespace sk
