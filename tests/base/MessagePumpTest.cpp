#include "TestSupport.h"

#include "CountingPump.h"
#include "base/MessagePump.h"

using namespace sk;

TEST_CASE("a throttled pump runs only when its interval has passed on the clock, counted from its last pump") {
    sktest::TFakePumpClock clock;
    sktest::TCountingPump inner;
    TThrottledPump pump(inner, 10);
    std::vector<int> pumpedAt;  // the clock, in ms from the start, of every pump
    int now = 0;
    inner.OnPump = [&](int) { pumpedAt.push_back(now); };
    for (int step : {0, 9, 1, 5, 4, 10, 25, 3}) {
        clock.Advance(step);
        now += step;
        pump.MaybePump();
    }
    CHECK(pumpedAt == std::vector<int>{10, 29, 54});
    pump.PumpNow();  // at once, and the interval starts again
    CHECK(pumpedAt.back() == 57);
    clock.Advance(9);
    CHECK_FALSE(pump.MaybePump());
    clock.Advance(1);
    CHECK(pump.MaybePump());
    CHECK(inner.Count == 5);
}

TEST_CASE("a throttled pump with no interval runs every time, even while the clock stands still") {
    sktest::TFakePumpClock clock;
    sktest::TCountingPump inner;
    TThrottledPump pump(inner, 0);
    for (int i = 0; i < 5; ++i) CHECK(pump.MaybePump());
    CHECK(inner.Count == 5);
}
