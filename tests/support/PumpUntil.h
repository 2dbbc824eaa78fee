// Pumping this thread's messages while a test waits, shared by the tests and the benchmarks that
// drive windows or the downloader.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>

namespace sktest {

// Runs this thread's messages (sent and posted) until done() holds or timeoutMs pass; answers
// done(). Windows, timers and the downloader's events move on only while a test pumps.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 30000) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return done();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)),
                                    QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

}  // namespace sktest
