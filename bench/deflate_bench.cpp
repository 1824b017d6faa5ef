// Deflate compressor against zlib (raw, memLevel 8) and the zip tool at levels 1, 6 and 9.
//
// Corpus: files that Debian packages install on every machine of this project (licence texts,
// a C header, program binaries, gzip-compressed documents) plus 1 MiB of random bytes and
// 1 MiB of zeros; nothing is downloaded, and a missing file is reported and left out. The
// Google Benchmark cases give the speeds; the summary after them prints every ratio beside its
// target: total size against zlib and against "zip -N", and time against zlib at the same
// level (best of five whole-corpus runs each).
#include "zip/Deflate.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct CorpusFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

const std::vector<CorpusFile>& Corpus() {
    static const std::vector<CorpusFile> corpus = [] {
        const char* const paths[] = {
            "/usr/share/common-licenses/GPL-3",
            "/usr/share/common-licenses/Apache-2.0",
            "/usr/include/zlib.h",
            "/usr/bin/bash",
            "/usr/bin/unzip",
            "/usr/bin/zip",
            "/usr/share/doc/bash/CHANGES.gz",
            "/usr/share/doc/bash/NEWS.gz",
        };
        std::vector<CorpusFile> files;
        for (const char* path : paths) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "corpus file missing, left out: %s\n", path);
                continue;
            }
            files.push_back({path, {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
        }
        std::mt19937 random(1);
        CorpusFile noise{"random 1 MiB", std::vector<uint8_t>(1 << 20)};
        for (auto& b : noise.bytes)
            b = static_cast<uint8_t>(random());
        files.push_back(std::move(noise));
        files.push_back({"zeros 1 MiB", std::vector<uint8_t>(1 << 20, 0)});
        return files;
    }();
    return corpus;
}

uint64_t CorpusBytes() {
    uint64_t total = 0;
    for (const auto& file : Corpus())
        total += file.bytes.size();
    return total;
}

class MemoryStream final : public zip::DeflateStream {
  public:
    explicit MemoryStream(const std::vector<uint8_t>& input) : input_(input) {}
    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
        const auto n = static_cast<uint32_t>(std::min<size_t>(size, input_.size() - offset_));
        if (n != 0) std::memcpy(buffer, input_.data() + offset_, n);
        offset_ += n;
        return n;
    }
    void WriteOutput(const uint8_t*, uint32_t size) override { written += size; }
    uint64_t written = 0;

  private:
    const std::vector<uint8_t>& input_;
    size_t offset_ = 0;
};

uint64_t OursCorpus(int level, zip::DeflateBuffers& buffers) {
    uint64_t total = 0;
    for (const auto& file : Corpus()) {
        MemoryStream stream(file.bytes);
        zip::DeflateEntryInfo entry;
        total += zip::DeflateEntry(stream, buffers, level, entry);
    }
    return total;
}

uint64_t ZlibCorpus(int level) {
    static std::vector<uint8_t> output;
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    uint64_t total = 0;
    for (const auto& file : Corpus()) {
        deflateReset(&z);
        output.resize(deflateBound(&z, static_cast<uLong>(file.bytes.size())));
        z.next_in = const_cast<Bytef*>(file.bytes.data());
        z.avail_in = static_cast<uInt>(file.bytes.size());
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        deflate(&z, Z_FINISH);
        total += z.total_out;
    }
    deflateEnd(&z);
    return total;
}

// Compressed sizes that "zip -N" writes for the corpus, read from its central directory.
uint64_t ZipToolCorpus(int level) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("tw-deflate-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string command =
        "cd '" + folder.string() + "' && zip -q -X -j -" + std::to_string(level) + " out.zip";
    int index = 0;
    for (const auto& file : Corpus()) {
        const std::string name = "f" + std::to_string(index++);
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.bytes.data()),
                   static_cast<std::streamsize>(file.bytes.size()));
        command += " " + name;
    }
    uint64_t total = 0;
    if (std::system((command + " >/dev/null 2>&1").c_str()) == 0) {
        std::ifstream in(folder / "out.zip", std::ios::binary);
        const std::vector<uint8_t> zip{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        auto u16 = [&](size_t at) { return static_cast<uint32_t>(zip[at] | zip[at + 1] << 8); };
        auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
        const size_t end = zip.size() - 22; // no archive comment with -X and no -z
        size_t at = u32(end + 16);
        for (uint32_t n = u16(end + 10); n > 0; --n) {
            total += u32(at + 20);
            at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
        }
    }
    std::filesystem::remove_all(folder);
    return total;
}

void BM_DeflateEntry(benchmark::State& state) {
    auto buffers = std::make_unique<zip::DeflateBuffers>();
    const int level = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(OursCorpus(level, *buffers));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CorpusBytes()));
}

void BM_ZlibDeflate(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(ZlibCorpus(level));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CorpusBytes()));
}

BENCHMARK(BM_DeflateEntry)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

// Small entries as a backup of many small files has them: consecutive slices of the corpus
// (text and programs alike), each its own entry, at level 6. zlib is reset between entries.
const std::vector<std::vector<uint8_t>>& Slices(size_t size) {
    static std::vector<std::pair<size_t, std::vector<std::vector<uint8_t>>>> made;
    for (const auto& [madeSize, slices] : made)
        if (madeSize == size) return slices;
    std::vector<std::vector<uint8_t>> slices;
    for (const auto& file : Corpus()) {
        if (file.name.find("MiB") != std::string::npos) continue; // the synthetic ones
        for (size_t at = 0; at + size <= file.bytes.size() && slices.size() < 512; at += size)
            slices.emplace_back(file.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                file.bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    made.emplace_back(size, std::move(slices));
    return made.back().second;
}

uint64_t OursSlices(size_t size, zip::DeflateBuffers& buffers) {
    uint64_t total = 0;
    for (const auto& slice : Slices(size)) {
        MemoryStream stream(slice);
        zip::DeflateEntryInfo entry;
        total += zip::DeflateEntry(stream, buffers, 6, entry);
    }
    return total;
}

uint64_t ZlibSlices(size_t size) {
    static std::vector<uint8_t> output(200000);
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    uint64_t total = 0;
    for (const auto& slice : Slices(size)) {
        deflateReset(&z);
        z.next_in = const_cast<Bytef*>(slice.data());
        z.avail_in = static_cast<uInt>(slice.size());
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        deflate(&z, Z_FINISH);
        total += z.total_out;
    }
    deflateEnd(&z);
    return total;
}

void BM_SmallEntries(benchmark::State& state) {
    auto buffers = std::make_unique<zip::DeflateBuffers>();
    const auto size = static_cast<size_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(OursSlices(size, *buffers));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Slices(size).size()));
}

void BM_ZlibSmallEntries(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(ZlibSlices(size));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Slices(size).size()));
}

BENCHMARK(BM_SmallEntries)->Arg(1000)->Arg(13000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibSmallEntries)->Arg(1000)->Arg(13000)->Arg(100000)->Unit(benchmark::kMicrosecond);

template <typename Run> double BestSeconds(Run run) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(run());
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void PrintSummary() {
    auto buffers = std::make_unique<zip::DeflateBuffers>();
    std::printf("\ncorpus: %zu inputs, %llu bytes\n", Corpus().size(),
                static_cast<unsigned long long>(CorpusBytes()));
    for (int level : {1, 6, 9}) {
        const uint64_t ours = OursCorpus(level, *buffers);
        const uint64_t zlib = ZlibCorpus(level);
        const uint64_t zipTool = ZipToolCorpus(level);
        const double oursTime = BestSeconds([&] { return OursCorpus(level, *buffers); });
        const double zlibTime = BestSeconds([&] { return ZlibCorpus(level); });
        std::printf("level %d: ours %llu, zlib %llu, zip %llu bytes\n", level,
                    static_cast<unsigned long long>(ours), static_cast<unsigned long long>(zlib),
                    static_cast<unsigned long long>(zipTool));
        std::printf("  size vs zlib   %.4f  (target 0.995 to 1.005)\n", double(ours) / double(zlib));
        if (zipTool != 0)
            std::printf("  size vs zip -%d %.4f  (target 0.997 to 1.003)\n", level,
                        double(ours) / double(zipTool));
        else
            std::printf("  size vs zip -%d not measured: the zip tool did not run\n", level);
        std::printf("  time vs zlib   %.3f   (target at most 1.100; %.1f vs %.1f ms)\n", oursTime / zlibTime,
                    oursTime * 1e3, zlibTime * 1e3);
    }
    std::printf("\nsmall entries at level 6 (us per entry, best of five):\n");
    std::printf("  %8s %7s %9s %9s %7s %10s\n", "size", "entries", "ours", "zlib", "time", "size");
    for (size_t size : {size_t{1000}, size_t{13000}, size_t{100000}}) {
        const double entries = static_cast<double>(Slices(size).size());
        const uint64_t ours = OursSlices(size, *buffers);
        const uint64_t zlib = ZlibSlices(size);
        const double oursTime = BestSeconds([&] { return OursSlices(size, *buffers); });
        const double zlibTime = BestSeconds([&] { return ZlibSlices(size); });
        std::printf("  %8zu %7.0f %9.2f %9.2f %7.3f %10.4f\n", size, entries, oursTime * 1e6 / entries,
                    zlibTime * 1e6 / entries, oursTime / zlibTime, double(ours) / double(zlib));
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
