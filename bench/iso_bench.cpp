// Image builder figures: layout and head of the largest tree the component takes (65,535 files
// in 8,191 folders), and streaming a session from its sources, directly and through the write
// cache. Sources are synthetic and in memory so the figures are the builder's own; compare
// them with `genisoimage -quiet -J -print-size` and `genisoimage -J -o` over a real tree.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

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

} // namespace

// The build time of the layout comes from the clock seam; a fixed clock keeps the figures free
// of the system clock (whose library is built with the sanitizers in this preset).
gui::Clock& gui::SystemClock() {
    static gui::ManualClock clock;
    return clock;
}

BENCHMARK_MAIN();
