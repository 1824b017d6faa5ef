// The zip component against Info-ZIP zip on one generated tree of mixed files (text that
// deflates well, bytes that do not, many small files in nested folders): level 6 against
// "zip -6 -qr" (targets: at most 1.5 times its time and 1.03 times its size), level 0 against
// "zip -0 -qr" (at most 2 times), and a split set against a single archive of ours (at most
// 2.5 times). Counters give both times, the time ratio and, where it matters, the size
// ratio. The tree is TW_ZIP_BENCH_MB megabytes (default 8, a smoke run; the targets are for
// 256 by hand).
#include "UnZipperSupport.h"
#include "ZipperSupport.h"
#include "zip/Zipper.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

struct TCorpus {
    std::string folder;
    size_t bytes = 0;
    TCorpus() {
        const char* mb = std::getenv("TW_ZIP_BENCH_MB");
        const size_t total = size_t(mb ? std::atoi(mb) : 8) << 20;
        folder =
            (fs::temp_directory_path() / ("tw-zip-bench-" + std::to_string(std::random_device()()))).string();
        std::mt19937 random(11);
        const char* words[] = {"backup ", "archive ", "volume ", "entry ",   "folder\r\n",
                               "disc ",   "label ",   "the ",    "session ", "of "};
        for (size_t file = 0; bytes < total; ++file) {
            const std::string dir =
                folder + "/src/d" + std::to_string(file % 7) + "/e" + std::to_string(file % 3);
            fs::create_directories(dir);
            // Mostly text, a quarter random, sizes from a few bytes to a few megabytes.
            const size_t size = file % 5 == 0 ? (1u << 20) + random() % (3u << 20) : random() % 200000;
            std::string data;
            data.reserve(size);
            if (file % 4 == 3)
                while (data.size() < size)
                    data += static_cast<char>(random());
            else
                while (data.size() < size)
                    data += words[random() % 10];
            data.resize(size);
            std::ofstream(dir + "/f" + std::to_string(file) + (file % 4 == 3 ? ".bin" : ".txt"),
                          std::ios::binary)
                << data;
            bytes += size;
        }
    }
    ~TCorpus() { fs::remove_all(folder); }
};

TCorpus& Corpus() {
    static TCorpus corpus;
    return corpus;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int64_t SizeOf(const std::string& path) {
    std::error_code error;
    return static_cast<int64_t>(fs::file_size(path, error));
}

// One archive of the corpus by our component; answers its size (all parts).
int64_t ZipOurs(const std::string& archive, int level, uint32_t partSize) {
    TCorpus& corpus = Corpus();
    for (const auto& item : fs::directory_iterator(corpus.folder))
        if (item.path().filename().string().starts_with(fs::path(archive).stem().string()))
            fs::remove(item.path());
    unziptest::TStdFileSystem files;
    ziptest::TStdZipperFiles output;
    zip::TZipper z(files, output);
    z.TempPath = corpus.folder;
    z.SetZipName(corpus.folder + "\\" + archive);
    z.PackLevel = level;
    if (partSize > 0) {
        z.MultiZipInfo.MultiMode = zip::mmBlocks;
        z.MultiZipInfo.BlockSize = z.MultiZipInfo.FirstBlockSize = partSize;
    }
    z.SetRootDir(corpus.folder + "\\src\\");
    z.SetRelativePaths(true);
    z.FilesList.Add(corpus.folder + "\\src\\*.*");
    if (z.Zip() == 0) std::abort();
    int64_t size = 0;
    for (const auto& item : fs::directory_iterator(corpus.folder))
        if (item.path().filename().string().starts_with(fs::path(archive).stem().string()))
            size += static_cast<int64_t>(item.file_size());
    return size;
}

// Our level against zip's: both times, their ratio and the size ratio.
void CompareWithZip(benchmark::State& state, int level) {
    TCorpus& corpus = Corpus();
    const std::string theirs = corpus.folder + "/theirs.zip";
    double mine = 0, peer = 0;
    int64_t ourSize = 0;
    for (auto _ : state) {
        mine += Seconds([&] { ourSize = ZipOurs("ours.zip", level, 0); });
        fs::remove(theirs);
        peer += Seconds([&] {
            const std::string command =
                "cd '" + corpus.folder + "/src' && zip -" + std::to_string(level) + " -qr '" + theirs + "' .";
            if (std::system(command.c_str()) != 0) state.SkipWithError("zip failed");
        });
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ours_s"] = mine / n;
    state.counters["zip_s"] = peer / n;
    state.counters["time_ratio"] = mine / peer;
    state.counters["size_ratio"] = static_cast<double>(ourSize) / static_cast<double>(SizeOf(theirs));
    state.SetBytesProcessed(static_cast<int64_t>(corpus.bytes) * state.iterations());
}

} // namespace

static void BM_Level6VsZip6(benchmark::State& state) {
    CompareWithZip(state, 6);
}
BENCHMARK(BM_Level6VsZip6)->Unit(benchmark::kMillisecond)->Iterations(1);

static void BM_Level0VsZip0(benchmark::State& state) {
    CompareWithZip(state, 0);
}
BENCHMARK(BM_Level0VsZip0)->Unit(benchmark::kMillisecond)->Iterations(1);

// Split into about eight parts against one archive, both ours at level 6.
static void BM_SplitVsSingle(benchmark::State& state) {
    TCorpus& corpus = Corpus();
    double single = 0, split = 0;
    for (auto _ : state) {
        single += Seconds([] { ZipOurs("single.zip", 6, 0); });
        split += Seconds([&] { ZipOurs("split.zip", 6, static_cast<uint32_t>(corpus.bytes / 8 + 65536)); });
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["single_s"] = single / n;
    state.counters["split_s"] = split / n;
    state.counters["time_ratio"] = split / single;
}
BENCHMARK(BM_SplitVsSingle)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
