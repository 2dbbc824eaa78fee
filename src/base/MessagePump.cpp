#include "base/MessagePump.h"

#include <windows.h>

namespace sk {

namespace {

class TWindowsMessagePump final : public TMessagePump {
public:
    void Pump() override {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave the quit request for the main loop.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
};

class TNullMessagePump final : public TMessagePump {
public:
    void Pump() override {}
};

}  // namespace

TMessagePump& WindowsMessagePump() {
    static TWindowsMessagePump pump;
    return pump;
}

TMessagePump& NullMessagePump() {
    static TNullMessagePump pump;
    return pump;
}

TThrottledPump::TThrottledPump(TMessagePump& pump, uint32_t intervalMs)
    : FPump(pump), FIntervalMs(intervalMs), FLastTick(::GetTickCount64()) {}

bool TThrottledPump::MaybePump() {
    const uint64_t now = ::GetTickCount64();
    if (now - FLastTick < FIntervalMs) return false;
    FPump.Pump();
    FLastTick = ::GetTickCount64();
    return true;
}

void TThrottledPump::PumpNow() {
    FPump.Pump();
    FLastTick = ::GetTickCount64();
}

}  // namespace sk
