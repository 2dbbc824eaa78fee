// A message pump for the engines under test that counts its calls and lets the test act inside
// each one, as a window handler would.
#pragma once

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

}  // namespace sktest
