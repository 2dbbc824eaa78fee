// A message pump for the engines under test that counts its calls and lets the test act inside
// each one, as a window handler would; and a clock for the throttled pumps that moves only when the
// test moves it.
#pragma once

#include <cstdint>
#include <functional>

#include "base/MessagePump.h"

namespace sktest {

class TCountingPump final : public sk::TMessagePump {
public:
    // With runQueue, each pump also runs this thread's real message queue (for window tests).
    explicit TCountingPump(bool runQueue = false) : FRunQueue(runQueue) {}
    void Pump() override {
        ++Count;
        if (OnPump) OnPump(Count);
        if (FRunQueue) sk::WindowsMessagePump().Pump();
    }
    int Count = 0;
    std::function<void(int count)> OnPump;

private:
    bool FRunQueue;
};

// While it lives, every TThrottledPump reads this clock: it stands still until Advance, so what is
// due depends on the test's steps, not on the speed of the machine.
class TFakePumpClock {
public:
    TFakePumpClock() {
        FNow = 1000;
        sk::SetPumpClock(&Now);
    }
    ~TFakePumpClock() { sk::SetPumpClock(nullptr); }
    TFakePumpClock(const TFakePumpClock&) = delete;
    TFakePumpClock& operator=(const TFakePumpClock&) = delete;
    void Advance(uint64_t ms) { FNow += ms; }

private:
    static uint64_t Now() { return FNow; }
    inline static uint64_t FNow = 0;
};

}  // namespace sktest
