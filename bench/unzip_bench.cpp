// The unzip component against Info-ZIP unzip on one archive of about 200 MB made here by zip
// (text that deflates and bytes that store): TestArchive against "unzip -tq" (target: at most
// 1.5 times); extraction of every entry into a stream against "unzip -p" into nothing, and
// into files of a folder against "unzip -o -q" into another (target: at most 2 times). The
// counters give both times and the ratio. Set TW_BENCH_MB to change the size.
#include "UnZipperSupport.h"
#include "gui/Prompter.h"
#include "zip/UnZipper.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

// The archive is read whole into memory and handed over as the caller's stream, so no file
// system is needed.
class TNoFiles : public zip::TExtractFileSystem {
  public:
    std::unique_ptr<gui::TStream> OpenRead(const std::string&) override { return nullptr; }
    std::optional<gui::DateTime> FileDate(const std::string&) override { return std::nullopt; }
    bool DirectoryExists(const std::string&) override { return true; }
    bool ForceDirectories(const std::string&) override { return true; }
    std::unique_ptr<gui::TStream> CreateTemp(const std::string&, std::string&) override { return nullptr; }
    bool Replace(const std::string&, const std::string&, bool) override { return false; }
    void Delete(const std::string&) override {}
    void SetDate(const std::string&, uint32_t) override {}
    void SetAttributes(const std::string&, uint32_t) override {}
    std::string SystemTempPath() override { return {}; }
};

class TDiscard : public gui::TStream {
  public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t count) override { return count; }
    int64_t Seek(int64_t, gui::TSeekOrigin) override { return 0; }
    void SetSize(int64_t) override {}
};

struct TArchive {
    std::string folder, path;
    gui::TMemoryStream bytes;
    TArchive() {
        const char* mb = std::getenv("TW_BENCH_MB");
        const size_t total = size_t(mb ? std::atoi(mb) : 200) << 20;
        folder = (fs::temp_directory_path() / ("tw-unzip-bench-" + std::to_string(std::random_device()())))
                     .string();
        fs::create_directories(folder + "/src");
        std::mt19937 random(5);
        const char* words[] = {"backup ", "archive ", "volume ", "entry ", "folder\r\n", "disc ", "label "};
        for (size_t written = 0, file = 0; written < total; ++file) {
            std::ofstream out(folder + "/src/f" + std::to_string(file), std::ios::binary);
            const size_t size = 4u << 20;
            std::string data;
            data.reserve(size);
            if (file % 4 == 3)
                while (data.size() < size)
                    data += static_cast<char>(random());
            else
                while (data.size() < size)
                    data += words[random() % 7];
            out << data;
            written += data.size();
        }
        path = folder + "/bench.zip";
        if (std::system(("cd '" + folder + "/src' && zip -qr ../bench.zip .").c_str()) != 0) std::abort();
        std::ifstream in(path, std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), {});
        bytes.Write(all.data(), all.size());
    }
    ~TArchive() { fs::remove_all(folder); }
};

TArchive& Archive() {
    static TArchive archive;
    return archive;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times our work and the peer's command once per iteration; reports both and the ratio.
void Compare(benchmark::State& state, const std::string& peer, const std::function<void()>& ours) {
    double mine = 0, theirs = 0;
    for (auto _ : state) {
        mine += Seconds(ours);
        theirs += Seconds([&] {
            if (std::system(peer.c_str()) != 0) state.SkipWithError("peer");
        });
    }
    state.counters["ours_s"] = mine / static_cast<double>(state.iterations());
    state.counters["unzip_s"] = theirs / static_cast<double>(state.iterations());
    state.counters["ratio"] = mine / theirs;
}

// The archive from memory, as the caller's stream.
void CompareInMemory(benchmark::State& state, const std::string& peer,
                     const std::function<void(zip::TUnZipper&)>& ours) {
    TArchive& archive = Archive();
    TNoFiles files;
    Compare(state, peer + " '" + archive.path + "' >/dev/null", [&] {
        zip::TUnZipper z(files);
        archive.bytes.SetPosition(0);
        z.SetArchiveStream(&archive.bytes);
        ours(z);
    });
}

} // namespace

static void BM_TestArchiveVsUnzipT(benchmark::State& state) {
    CompareInMemory(state, "unzip -tq", [](zip::TUnZipper& z) {
        if (!z.TestArchive()) std::abort();
    });
}
BENCHMARK(BM_TestArchiveVsUnzipT)->Unit(benchmark::kMillisecond)->Iterations(2);

static void BM_ExtractVsUnzipP(benchmark::State& state) {
    CompareInMemory(state, "unzip -p", [](zip::TUnZipper& z) {
        TDiscard out;
        if (z.UnZipToStream(&out, "*") == 0) std::abort();
    });
}
BENCHMARK(BM_ExtractVsUnzipP)->Unit(benchmark::kMillisecond)->Iterations(2);

// Both write every file; from the second iteration on both replace what is there.
static void BM_ExtractToFilesVsUnzipO(benchmark::State& state) {
    TArchive& archive = Archive();
    unziptest::TStdFileSystem files;
    const std::string ours = archive.folder + "/ours", theirs = archive.folder + "/theirs";
    Compare(state, "unzip -o -q '" + archive.path + "' -d '" + theirs + "'", [&] {
        zip::TUnZipper z(files);
        z.SetZipName(archive.path);
        z.SetDestDir(ours);
        z.OverwriteMode = zip::Always;
        z.RecreateDirs = z.DoAll = true;
        if (z.UnZip() != z.Count()) std::abort();
    });
}
BENCHMARK(BM_ExtractToFilesVsUnzipO)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
