// Letting the window's messages run during a long operation on the window thread. Engines take a
// TMessagePump& so that tests can count pumps and benchmarks can measure the gaps between them.
#pragma once

#include <cstdint>

namespace sk {

class TMessagePump {
public:
    virtual ~TMessagePump() = default;
    // Runs every message waiting for this thread.
    virtual void Pump() = 0;
};

// The real pump: PeekMessage / TranslateMessage / DispatchMessage until the queue is empty.
TMessagePump& WindowsMessagePump();

// A pump that does nothing (engines used without a window).
TMessagePump& NullMessagePump();

// The clock of every TThrottledPump, in milliseconds: GetTickCount64 unless a test puts its own in
// place, so that what is due when does not depend on how fast the machine is (nullptr: the real one).
using TPumpClock = uint64_t (*)();
void SetPumpClock(TPumpClock clock);

// Pumps only when at least IntervalMs have passed since its last pump: one pump costs tens of
// microseconds under Wine, so pumping per item would dominate long walks.
class TThrottledPump {
public:
    explicit TThrottledPump(TMessagePump& pump, uint32_t intervalMs = 10);
    // Pumps if the interval has passed; returns whether it did.
    bool MaybePump();
    void PumpNow();

private:
    TMessagePump& FPump;
    uint32_t FIntervalMs;
    uint64_t FLastTick;
};

}  // namespace sk
