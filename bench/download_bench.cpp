// One archive download through TransferToPartFile, as the install run does it,
// timed, with the longest time the event loop went without a turn.
//
//     download_bench <url> <expected bytes> <cache folder>
//
// Prints "bytes seconds MiB/s longest-gap-ms yields bar-moves buffer-high-water"
// on one line; exit status 0 when the archive was accepted. Used by
// bench/download_bench.sh, which compares it with curl -o.

#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "install/PartFileTransfer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Counts the bar moves; never cancels.
class CountingWatcher : public znt::TransferWatcher {
public:
    void StateChanged(int) override {}
    void ProgressChanged(int, int) override { ++moves; }
    bool CancelRequested() override { return false; }
    long moves = 0;
};

// The longest time between two turns of the event loop, from the start.
struct GapMeter {
    Clock::time_point last = Clock::now();
    Clock::duration longest{};
    long turns = 0;
    void Turn() {
        Clock::time_point now = Clock::now();
        if (now - last > longest) longest = now - last;
        last = now;
        ++turns;
    }
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench <url> <expected bytes> <cache folder>\n");
        return 2;
    }
    const std::string url = argv[1];
    const std::int64_t expected = std::atoll(argv[2]);
    const std::string target = std::string(argv[3]) + "/bench-archive.zip";

    ov::InetControl inet;
    CountingWatcher watcher;
    znt::RunBytes run{0, expected};
    GapMeter gaps;
    ov::SetYieldHook([&gaps] { gaps.Turn(); });
    Clock::time_point start = Clock::now();
    gaps.last = start;
    znt::PartFileResult result = znt::TransferToPartFile(
        inet, znt::PartFileRequest{.source = url, .target = target, .expected = expected}, run,
        watcher);
    Clock::time_point end = Clock::now();
    gaps.Turn();
    ov::SetYieldHook(nullptr);

    double seconds = std::chrono::duration<double>(end - start).count();
    std::printf("%lld %.3f %.1f %.1f %ld %ld %zu\n", static_cast<long long>(run.received), seconds,
                static_cast<double>(run.received) / seconds / (1 << 20), Ms(gaps.longest),
                gaps.turns, watcher.moves, inet.BufferHighWater());
    std::remove(target.c_str());
    return result.Accepted() ? 0 : 1;
}
