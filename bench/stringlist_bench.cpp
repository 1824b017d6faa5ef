// Filling a sorted list line by line must cost about what filling it unsorted and sorting once
// does (target: at most twice), since the catalogue and file lists fill sorted lists with
// hundreds of thousands of names. The ratio benchmark prints both times and their quotient.
#include "gui/StringList.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(int count) {
    std::mt19937 random(1);
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        names.push_back("C:\\Data\\Folder" + std::to_string(random() % 1000) + "\\File" +
                        std::to_string(random()) + ".dat");
    return names;
}

double SortedFill(const std::vector<std::string>& names) {
    const auto start = std::chrono::steady_clock::now();
    gui::TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(gui::TDuplicates::dupAccept);
    for (const std::string& name : names)
        list.Add(name);
    benchmark::DoNotOptimize(list.Count());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double FillThenSort(const std::vector<std::string>& names) {
    const auto start = std::chrono::steady_clock::now();
    gui::TStringList list;
    for (const std::string& name : names)
        list.Add(name);
    list.Sort();
    benchmark::DoNotOptimize(list.Count());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

static void BM_SortedFillVsSortOnce(benchmark::State& state) {
    const auto names = Names(static_cast<int>(state.range(0)));
    double sorted = 0, once = 0;
    for (auto _ : state) {
        sorted += SortedFill(names);
        once += FillThenSort(names);
    }
    state.counters["sorted_s"] = sorted / static_cast<double>(state.iterations());
    state.counters["sort_once_s"] = once / static_cast<double>(state.iterations());
    state.counters["ratio"] = sorted / once;
}
BENCHMARK(BM_SortedFillVsSortOnce)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_IndexedWalk(benchmark::State& state) {
    gui::TStringList list;
    for (const std::string& name : Names(200000))
        list.Add(name);
    for (auto _ : state) {
        size_t total = 0;
        for (int i = 0; i < list.Count(); ++i)
            total += list[i].size();
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_IndexedWalk)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
