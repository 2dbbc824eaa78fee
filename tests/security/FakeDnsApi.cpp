// A stand-in for dnsapi.dll in the resolver-flush test: each call of its DnsFlushResolverCache adds one
// to the process's environment variable SURFKEEP_TEST_FLUSHES, which outlives the library's unloading.
#include <windows.h>

#include <cstdlib>
#include <string>

extern "C" __declspec(dllexport) BOOL WINAPI DnsFlushResolverCache() {
    wchar_t text[32] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SURFKEEP_TEST_FLUSHES", text, 32);
    const int calls = (n > 0 && n < 32) ? _wtoi(text) : 0;
    ::SetEnvironmentVariableW(L"SURFKEEP_TEST_FLUSHES", std::to_wstring(calls + 1).c_str());
    return TRUE;
}
