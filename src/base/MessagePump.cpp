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

TPumpClock gPumpClock = nullptr;

uint64_t PumpClockNow() { return gPumpClock ? gPumpClock() : ::GetTickCount64(); }

}  // namespace

void SetPumpClock(TPumpClock clock) { gPumpClock = clock; }

TMessagePump& WindowsMessagePump() {
    static TWindowsMessagePump pump;
    return pump;
}

TMessagePump& NullMessagePump() {
    static TNullMessagePump pump;
    return pump;
}

TThrottledPump::TThrottledPump(TMessagePump& pump, uint32_t intervalMs)
    : FPump(pump), FIntervalMs(intervalMs), FLastTick(PumpClockNow()) {}

bool TThrottledPump::MaybePump() {
    const uint64_t now = PumpClockNow();
    if (now - FLastTick < FIntervalMs) return false;
    FPump.Pump();
    FLastTick = PumpClockNow();
    return true;
}

void TThrottledPump::PumpNow() {
    FPump.Pump();
    FLastTick = PumpClockNow();
}

}  // namespace sk
