// The switch parser runs once per start; this keeps an eye on pathological command lines.
#include "core/Switches.h"

#include <benchmark/benchmark.h>

#include <string>

static void BM_FindSwitches(benchmark::State& state) {
    std::string commandLine = "\"C:\\Program Files\\Tarnwick\\tarnwick.exe\"";
    for (int i = 0; i < state.range(0); ++i)
        commandLine += " /X" + std::to_string(i);
    commandLine += " /=C:\\Jobs\\Daily.dat /H";
    for (auto _ : state) {
        auto params = core::SplitCommandLine(commandLine);
        std::string jobName;
        benchmark::DoNotOptimize(core::FindSwitch(params, '=', jobName));
        benchmark::DoNotOptimize(core::FindSwitch(params, 'H', jobName));
    }
}
BENCHMARK(BM_FindSwitches)->Arg(2)->Arg(1000);

BENCHMARK_MAIN();
