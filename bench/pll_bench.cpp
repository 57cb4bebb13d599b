// Cost of the FSB walk apart from its pauses: the PLL word for one step
// (table and plain search) and whole walks on the simulated board with the
// delay at 0 and the virtual clock.
//
//   cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-rel --target pll_bench
//   build-rel/bench/pll_bench
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "core/control.h"
#include "core/debug_log.h"
#include "hw/nforce2.h"
#include "sim/sim_board.h"

namespace {

void BM_PllForFsbTable(benchmark::State& state) {
    uint32_t fsb = 30;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tess::Nforce2::pll_for_fsb(fsb));
        fsb = fsb == 300 ? 30 : fsb + 1;
    }
}
BENCHMARK(BM_PllForFsbTable);

void BM_PllForFsbSearch(benchmark::State& state) {
    uint32_t fsb = 30;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tess::Nforce2::pll_for_fsb_search(fsb));
        fsb = fsb == 300 ? 30 : fsb + 1;
    }
}
BENCHMARK(BM_PllForFsbSearch)->Unit(benchmark::kMicrosecond);

// 200 -> 300 MHz and back: 202 steps of 1 MHz per iteration, each a PLL
// load of 65 configuration writes and a pause of 0 ms.
void BM_SetFsbWalk(benchmark::State& state) {
    std::string error;
    auto board = tess::sim::SimBoard::from_toml(tess::sim::SimBoard::default_profile(), &error);
    if (!board) throw std::runtime_error(error);
    board->set_virtual_clock(true);
    const auto log_path = std::filesystem::temp_directory_path() / "tessaron-pll-bench.log";
    tess::DebugLog log(log_path);
    tess::Nforce2 nforce2(log, *board);
    // A delay control without settings has the range 0..0: it sets the
    // pause of each step to 0 ms (the "FSBDelay" control allows 20..250).
    tess::Control no_delay;
    no_delay.sub_index = 13;
    nforce2.nforce2_set(&no_delay, 0);
    nforce2.set_fsb(200);

    int64_t steps = 0;
    for (auto _ : state) {
        if (nforce2.set_fsb(300) != 0 || nforce2.set_fsb(200) != 0) {
            state.SkipWithError("set_fsb failed");
            break;
        }
        steps += 2 * 101;
    }
    state.counters["per_step"] = benchmark::Counter(
        static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    std::filesystem::remove(log_path);
}
BENCHMARK(BM_SetFsbWalk)->Unit(benchmark::kMillisecond);

}  // namespace
