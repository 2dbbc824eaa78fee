// How long the repair tab's scan takes: every item of the catalogue checked against the real
// registry, as at window creation and after each Back.
#include "BenchSupport.h"
#include "repair/IERepairFuncs.h"

int main() {
    int needing = 0;
    auto scan = [&] {
        needing = 0;
        for (const auto& item : sk::RepairItems())
            if (sk::ItemNeedsRepair(item.Index)) ++needing;
    };
    // Warm up for a second: in a freshly copied prefix Wine's own services are still starting.
    const double warmUntil = skbench::NowMs() + 1000;
    while (skbench::NowMs() < warmUntil) scan();
    const double ms = skbench::MedianMs(201, scan);
    skbench::Report("repair-scan-ms", ms, "ms", "< 20");
    return needing >= 0 ? 0 : 1;
}
