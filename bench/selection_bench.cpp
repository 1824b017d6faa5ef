// The passes over a finished selection of 1,000,000 paths. Targets: the case-insensitive sort
// with duplicate removal at most the time of `LC_ALL=C sort -f -u --parallel=1` on the same
// lines; big files first at most twice a plain std::stable_sort by size; the exclude test of
// 20 entries in paths per second. Each figure is the best of three runs.
#include "job/SelectionRules.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int pathCount = 1'000'000;

class Pass : public job::ListPassHost {
  public:
    bool Cancelled() override { return false; }
    void PassProgress(int, int) override {}
};

// A tree of user files as a scan lists it: folders of a few dozen files, some paths twice
// (once in another letter case, as two items reach them).
const job::FileList& Paths() {
    static const job::FileList paths = [] {
        std::mt19937 random(140);
        job::FileList list;
        list.reserve(pathCount);
        const char* tops[] = {"Documents", "Pictures", "Projects", "Mail", "Music"};
        while (list.size() < pathCount) {
            const std::string folder = std::string("C:\\Users\\Anna Berg\\") + tops[random() % 5] +
                                       "\\Folder" + std::to_string(random() % 3000) + "\\Sub" +
                                       std::to_string(random() % 40) + "\\";
            list.push_back({folder, 0});
            const int files = 10 + static_cast<int>(random() % 40);
            for (int f = 0; f < files && list.size() < pathCount; ++f) {
                std::string name = folder + "File " + std::to_string(random() % 100000) + ".dat";
                if (random() % 20 == 0) {
                    std::string upper = name;
                    for (char& c : upper)
                        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
                    list.push_back({upper, 1000});
                }
                list.push_back({name, static_cast<int64_t>(random() % 50'000'000)});
            }
        }
        list.resize(pathCount);
        std::shuffle(list.begin(), list.end(), random);
        return list;
    }();
    return paths;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double SortToolSeconds() {
    char name[] = "/tmp/selection_benchXXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return 0;
    close(fd);
    {
        std::ofstream out(name, std::ios::binary);
        for (const job::FileListEntry& entry : Paths())
            out << entry.Path << '\n';
    }
    const std::string command = std::string("LC_ALL=C sort -f -u --parallel=1 ") + name + " > /dev/null";
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) best = 0;
        best = std::min(best, Seconds(start));
    }
    std::remove(name);
    return best;
}

} // namespace

static void BM_RemoveDuplicatesVsSortTool(benchmark::State& state) {
    Pass pass;
    double best = 1e9;
    for (auto _ : state) {
        job::FileList list = Paths();
        const auto start = std::chrono::steady_clock::now();
        job::RemoveDuplicates(list, true, pass);
        best = std::min(best, Seconds(start));
        benchmark::DoNotOptimize(list.size());
    }
    const double tool = SortToolSeconds();
    state.counters["ours_s"] = best;
    state.counters["sort_f_u_s"] = tool;
    state.counters["ratio"] = tool > 0 ? best / tool : 0;
    std::printf("RemoveDuplicates %.3f s, sort -f -u %.3f s, ratio %.2f (target <= 1.0)\n", best, tool,
                tool > 0 ? best / tool : 0);
}
BENCHMARK(BM_RemoveDuplicatesVsSortTool)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_OrderBySizeVsStableSort(benchmark::State& state) {
    Pass pass;
    double ours = 1e9, plain = 1e9;
    for (auto _ : state) {
        job::FileList list = Paths();
        auto start = std::chrono::steady_clock::now();
        job::OrderBySize(list, job::BigFileLimit(681'574'400, 0), pass);
        ours = std::min(ours, Seconds(start));
        list = Paths();
        start = std::chrono::steady_clock::now();
        std::stable_sort(
            list.begin(), list.end(),
            [](const job::FileListEntry& a, const job::FileListEntry& b) { return a.Size > b.Size; });
        plain = std::min(plain, Seconds(start));
    }
    state.counters["ours_s"] = ours;
    state.counters["stable_sort_s"] = plain;
    state.counters["ratio"] = ours / plain;
    std::printf("OrderBySize %.3f s, std::stable_sort %.3f s, ratio %.2f (target <= 2.0)\n", ours, plain,
                ours / plain);
}
BENCHMARK(BM_OrderBySizeVsStableSort)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_IsExcludedTwentyEntries(benchmark::State& state) {
    const job::ExcludeRules rules({"C:\\Temp\\",
                                   "*.tmp",
                                   "*.bak",
                                   "~*",
                                   "Thumbs.db",
                                   "desktop.ini",
                                   "C:\\Users\\Anna Berg\\AppData\\",
                                   "*\\Cache\\",
                                   "*.log",
                                   "*.old",
                                   "C:\\Users\\Anna Berg\\Music\\*.wav",
                                   "pagefile.sys",
                                   "hiberfil.sys",
                                   "*.~tm",
                                   "C:\\Windows\\",
                                   "*\\Temporary Internet Files\\",
                                   "*.part",
                                   "*.crdownload",
                                   "C:\\$Recycle.Bin\\",
                                   "*.swp"});
    const job::FileList& paths = Paths();
    double best = 1e9;
    size_t excluded = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        excluded = 0;
        for (const job::FileListEntry& entry : paths)
            excluded += rules.Matches(entry.Path);
        best = std::min(best, Seconds(start));
    }
    benchmark::DoNotOptimize(excluded);
    state.counters["paths_per_s"] = static_cast<double>(paths.size()) / best;
    std::printf("IsExcluded, 20 entries: %.0f paths/s\n", static_cast<double>(paths.size()) / best);
}
BENCHMARK(BM_IsExcludedTwentyEntries)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
