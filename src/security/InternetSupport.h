// Small WinInet pieces shared by the version check and the downloader.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

namespace sk {

// Connect, send and receive limits for the handle. Set on the request handle as well: Wine does
// not pass the session's limits on to its requests.
void SetInternetTimeouts(HINTERNET handle, uint32_t milliseconds);

// HTTP_QUERY_STATUS_CODE as a number; a text that is not one reads as 404. False (with the
// platform's error in lastError) when the query itself fails.
bool QueryStatusCode(HINTERNET request, int& status, DWORD& lastError);

// The platform's text for a WinInet or system error code, without the trailing line break.
std::wstring InternetErrorText(DWORD code);

}  // namespace sk
