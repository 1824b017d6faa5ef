// Image builder figures. Two kinds: the builder alone over synthetic in-memory sources (layout
// and head of the largest tree the component takes, 65,535 files in 8,191 folders, and streaming
// a session directly and through the write cache), and the builder over real files set against
// genisoimage on the same tree, with the ratios printed at the end of the run.
//
// The real trees live in the temporary folder and are made once per size (a marker file says a
// tree is complete), so a second run measures only the work. TW_ISO_BENCH_FILES sets the file
// count of the layout tree (default 2,000; 65535 by hand gives the full 8,191 folders) and
// TW_ISO_BENCH_MB the data of the file-mode image (default 16; 1024 by hand). Ours reads the
// files through the builder's local source, as the component does; file mode goes through the
// write cache into a file the way the component's ISO-file mode does. The peer is timed as a
// whole process; without genisoimage its half is left out with a note.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disc/IsoStream.h"
#include "disc/dwCache.h"

namespace {

constexpr int kFolders = 8190;
constexpr int kFilesPerFolder = 8;
constexpr int kRootFiles = 65535 - kFolders * kFilesPerFolder;

class SyntheticFiles : public disc::IsoSourceFiles {
  public:
    int64_t fileSize = 1000;

    bool Stat(const std::string& path, disc::IsoSourceItem& item) override {
        item = {path.substr(path.rfind('/') + 1), false, fileSize, 46000.5, 0};
        return true;
    }
    bool List(const std::string& folder, std::vector<disc::IsoSourceItem>& items) override {
        items.clear();
        bool root = folder == "/";
        for (int i = 0; i < (root ? kRootFiles : kFilesPerFolder); ++i)
            items.push_back({"Backup volume " + std::to_string(i) + ".zip", false, fileSize, 46000.5, 0});
        if (root)
            for (int i = 0; i < kFolders; ++i)
                items.push_back({"Folder number " + std::to_string(i), true, 0, 46000.5, 0x10});
        return true;
    }
    std::unique_ptr<disc::IsoSourceFile> Open(const std::string&) override {
        return std::make_unique<PatternFile>(fileSize);
    }

  private:
    struct PatternFile : disc::IsoSourceFile {
        explicit PatternFile(int64_t size) : left(size) {}
        int64_t Read(uint8_t* buffer, size_t count) override {
            size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(count)));
            std::memset(buffer, 0x5A, n);
            left -= static_cast<int64_t>(n);
            return static_cast<int64_t>(n);
        }
        int64_t left;
    };
};

void BM_LayoutAndHeadOf65535Files(benchmark::State& state) {
    SyntheticFiles files;
    for (auto _ : state) {
        disc::TIsoImage image;
        image.Sources = &files;
        image.InsertDir("/", "\\", true);
        image.PrepareImage(0);
        image.BuildImageHead();
        benchmark::DoNotOptimize(image.Head().data());
    }
}
BENCHMARK(BM_LayoutAndHeadOf65535Files)->Unit(benchmark::kMillisecond);

// 256 MiB in 64 files; the synthetic source only counts its bytes (a memset).
void BuildStreamImage(disc::TIsoImage& image, SyntheticFiles& files) {
    files.fileSize = 4 << 20;
    image.Sources = &files;
    image.ClearAll(100, 10);
    for (int i = 0; i < 64; ++i)
        image.InsertFile("/f" + std::to_string(i), "\\");
    image.PrepareImage(0);
    image.BuildImageHead();
    if (image.GetFileCount() != 64) std::abort();
}

void BM_StreamSession(benchmark::State& state) {
    SyntheticFiles files;
    disc::TIsoImage image;
    BuildStreamImage(image, files);
    std::vector<uint8_t> buffer(disc::kPayloadDefault);
    for (auto _ : state) {
        disc::IsoImageStream stream(image, true);
        while (stream.Read(buffer.data(), buffer.size()) > 0) {
        }
        if (!stream.Error().empty()) state.SkipWithError(stream.Error().c_str());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(disc::IsoImageStream(image, true).TotalBytes()));
}
BENCHMARK(BM_StreamSession)->Unit(benchmark::kMillisecond);

void BM_StreamThroughCache(benchmark::State& state) {
    SyntheticFiles files;
    disc::TIsoImage image;
    BuildStreamImage(image, files);
    std::vector<uint8_t> buffer(disc::kPayloadDefault);
    for (auto _ : state) {
        disc::TCacheThread cache(4194304, disc::kPayloadDefault, image);
        cache.Start();
        while (cache.GetBlock(buffer.data(), true) > 0) {
        }
        if (!cache.Error().empty()) state.SkipWithError(cache.Error().c_str());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(disc::IsoImageStream(image, true).TotalBytes()));
}
BENCHMARK(BM_StreamThroughCache)->Unit(benchmark::kMillisecond);

// ---- Real trees against genisoimage ----

namespace fs = std::filesystem;

int EnvCount(const char* name, int fallback) {
    const char* text = std::getenv(name);
    const int value = text ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A tree made once: `make` fills a fresh folder, and the marker written after it says it is whole.
fs::path MadeTree(const std::string& name, void (*make)(const fs::path&, int), int size) {
    const fs::path root = fs::temp_directory_path() / (name + "-" + std::to_string(size));
    const fs::path marker = root.string() + ".done";
    if (fs::exists(marker)) return root;
    fs::remove_all(root);
    fs::create_directories(root);
    make(root, size);
    std::ofstream(marker) << "complete\n";
    return root;
}

void WriteSmallFile(const fs::path& path, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, 'x');
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
        std::exit(1);
    }
}

// The component's largest tree scaled to `files`: eight files to a folder, the folders a
// 16-way tree (four levels at full size) so the path tables see depth, the rest in the root.
void MakeLayoutTree(const fs::path& root, int files) {
    const int folders = static_cast<int>(static_cast<int64_t>(files) * 8190 / 65535);
    std::vector<fs::path> paths;
    for (int i = 0; i < folders; ++i) {
        const fs::path parent = i < 16 ? root : paths[static_cast<size_t>(i / 16 - 1)];
        char name[32];
        std::snprintf(name, sizeof name, "Folder %05d", i);
        paths.push_back(parent / name);
        fs::create_directory(paths.back());
        for (int f = 0; f < 8; ++f)
            WriteSmallFile(paths.back() / ("Backup volume " + std::to_string(f) + ".zip"),
                           static_cast<size_t>((i * 8 + f) * 37 % 3000));
    }
    for (int f = folders * 8; f < files; ++f)
        WriteSmallFile(root / ("Backup volume " + std::to_string(f) + ".zip"), 1000);
}

// `megabytes` of incompressible data in 4 MiB files.
void MakeDataTree(const fs::path& root, int megabytes) {
    std::vector<char> chunk(1 << 20);
    uint32_t seed = 12345;
    for (int file = 0, left = megabytes; left > 0; ++file) {
        std::ofstream out(root / ("Backup " + std::to_string(file) + ".zip"), std::ios::binary);
        for (int mb = 0; mb < 4 && left > 0; ++mb, --left) {
            for (char& c : chunk) {
                seed = seed * 1103515245u + 12345u;
                c = static_cast<char>(seed >> 16);
            }
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
        if (!out) {
            std::fprintf(stderr, "cannot write the data tree in %s\n", root.string().c_str());
            std::exit(1);
        }
    }
}

bool PeerPresent() {
    static const bool present = std::system("command -v genisoimage >/dev/null 2>&1") == 0;
    return present;
}

// Best seconds per run of each half, kept for the ratios printed after the run.
struct Figures {
    double layoutOurs = 0, layoutPeer = 0, imageOurs = 0, imagePeer = 0;
    uint64_t imageBytes = 0, peerBytes = 0;
} figures;

void KeepBest(double& best, double seconds) {
    if (best == 0 || seconds < best) best = seconds;
}

const fs::path& LayoutTree() {
    static const fs::path tree =
        MadeTree("tw-iso-bench-tree", MakeLayoutTree, EnvCount("TW_ISO_BENCH_FILES", 2000));
    return tree;
}

const fs::path& DataTree() {
    static const fs::path tree = MadeTree("tw-iso-bench-data", MakeDataTree, EnvCount("TW_ISO_BENCH_MB", 16));
    return tree;
}

void AddTree(disc::TIsoImage& image, const fs::path& tree) {
    image.Sources = &disc::LocalSourceFiles();
    image.ClearAll(65535, 8191);
    if (!image.InsertDir(tree.string(), "\\", true)) {
        std::fprintf(stderr, "the builder could not take %s\n", tree.string().c_str());
        std::exit(1);
    }
}

void BM_RealTreeLayoutAndHead(benchmark::State& state) {
    const fs::path& tree = LayoutTree();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        disc::TIsoImage image;
        AddTree(image, tree);
        image.PrepareImage(0);
        image.BuildImageHead();
        benchmark::DoNotOptimize(image.Head().data());
        KeepBest(figures.layoutOurs, SecondsSince(start));
        state.counters["files"] = image.GetFileCount();
    }
}

// The peer as a whole process, timed by hand; a failing run stops the benchmark.
void RunPeer(benchmark::State& state, const std::string& command, double& best) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        const double seconds = SecondsSince(start);
        if (status != 0) {
            state.SkipWithError(("failed: " + command).c_str());
            return;
        }
        state.SetIterationTime(seconds);
        KeepBest(best, seconds);
    }
}

void BM_RealTreeGenisoimagePrintSize(benchmark::State& state) {
    RunPeer(state, "genisoimage -quiet -J -print-size '" + LayoutTree().string() + "' >/dev/null 2>&1",
            figures.layoutPeer);
}

fs::path ImageFile(const char* name) {
    return fs::temp_directory_path() / name;
}

void BM_RealFileModeImage(benchmark::State& state) {
    const fs::path& tree = DataTree();
    const std::string path = ImageFile("tw-iso-bench-ours.iso").string();
    std::vector<uint8_t> buffer(disc::kPayloadDefault);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        disc::TIsoImage image;
        AddTree(image, tree);
        image.PrepareImage(0);
        image.BuildImageHead();
        disc::TCacheThread cache(4194304, disc::kPayloadDefault, image);
        cache.Start();
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            state.SkipWithError(("cannot create " + path).c_str());
            return;
        }
        uint64_t written = 0;
        for (int got; (got = cache.GetBlock(buffer.data(), true)) > 0; written += static_cast<uint64_t>(got))
            if (std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got))
                break;
        const bool closed = std::fclose(out) == 0;
        if (!cache.Error().empty() || !closed || written != cache.ImageBytes()) {
            state.SkipWithError(("file-mode image failed: " + cache.Error()).c_str());
            return;
        }
        KeepBest(figures.imageOurs, SecondsSince(start));
        figures.imageBytes = written;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(figures.imageBytes));
    fs::remove(path);
}

void BM_RealFileModeGenisoimage(benchmark::State& state) {
    const fs::path path = ImageFile("tw-iso-bench-peer.iso");
    RunPeer(state,
            "genisoimage -quiet -J -o '" + path.string() + "' '" + DataTree().string() + "' >/dev/null 2>&1",
            figures.imagePeer);
    std::error_code ignored;
    figures.peerBytes = fs::file_size(path, ignored);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(figures.peerBytes));
    fs::remove(path, ignored);
}

// Wall time throughout: the cache thread and the file system work off the benchmark's thread.
void RegisterRealTreeBenchmarks() {
    benchmark::RegisterBenchmark("BM_RealTreeLayoutAndHead", BM_RealTreeLayoutAndHead)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_RealFileModeImage", BM_RealFileModeImage)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    if (!PeerPresent()) {
        std::printf("note: genisoimage is not installed; the peer half and the ratios are left out\n");
        return;
    }
    benchmark::RegisterBenchmark("BM_RealTreeGenisoimagePrintSize", BM_RealTreeGenisoimagePrintSize)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_RealFileModeGenisoimage", BM_RealFileModeGenisoimage)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

void PrintRatios() {
    if (figures.layoutOurs > 0 && figures.layoutPeer > 0)
        std::printf("layout + head of %s: ours %.1f ms, genisoimage -print-size %.1f ms, ratio %.2f "
                    "(target 1.0 or less)\n",
                    LayoutTree().filename().string().c_str(), figures.layoutOurs * 1e3,
                    figures.layoutPeer * 1e3, figures.layoutOurs / figures.layoutPeer);
    if (figures.imageOurs > 0 && figures.imagePeer > 0) {
        const double ours = static_cast<double>(figures.imageBytes) / figures.imageOurs / 1e6;
        const double peer = static_cast<double>(figures.peerBytes) / figures.imagePeer / 1e6;
        std::printf("file-mode image of %s: ours %.0f MB/s, genisoimage -o %.0f MB/s, ratio %.2f "
                    "(target 0.8 or more)\n",
                    DataTree().filename().string().c_str(), ours, peer, ours / peer);
    }
}

} // namespace

// The build time of the layout comes from the clock seam; a fixed clock keeps the figures free
// of the system clock (whose library is built with the sanitizers in this preset).
gui::Clock& gui::SystemClock() {
    static gui::ManualClock clock;
    return clock;
}

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RegisterRealTreeBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios();
    return 0;
}
