// Small WinInet pieces shared by the version check and the downloader: URLs taken apart, timeouts,
// the status code, error texts and the GET of a list's first line.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "base/Errors.h"

namespace sk {

// The version check could not ask the server: no connection, a timeout, or an answer other than
// 200. Code is the platform's error number or the HTTP status, for "Error(%d) occurred.".
class TUpdateCheckError : public TError {
public:
    TUpdateCheckError(std::wstring message, uint32_t code) : TError(std::move(message)), FCode(code) {}
    uint32_t Code() const { return FCode; }

private:
    uint32_t FCode;
};

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

// The first line of the file at url (up to its first CR or LF, at most 64 KiB), decoded by its
// byte-order mark or from the ANSI code page. Raises TUpdateCheckError when the server cannot be
// asked, answers with a status other than 200, or has not sent the line within deadlineMs (0: no
// deadline; a single network step is bounded by timeoutMs).
std::wstring ReadFirstLine(const std::wstring& url, uint32_t timeoutMs, uint32_t deadlineMs = 0);

}  // namespace sk
