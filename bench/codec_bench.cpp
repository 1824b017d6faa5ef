// CRC-32, the traditional cipher and the decompressors against zlib 1.2.13 in the same process.
//
// Corpus: files that Debian packages put on every machine of this project (licence texts, a C
// header, program binaries, gzip-compressed documents) plus 1 MiB of random bytes and 1 MiB of
// zeros; nothing is downloaded. Inflate runs over the corpus deflated three ways: by zlib
// (level 6), by the zip tool (-6) and by 7z (-mm=Deflate -mx=9); the peer tools run in a
// temporary folder and a missing one is reported and left out. Explode and unreduce run over
// the legacy sample archives beside the clone when they are there.
//
// The Google Benchmark cases give the speeds; the summary after them prints every ratio
// beside its target (best of seven runs each): CRC-32 and inflate against zlib, and the MB/s
// of the cipher, explode and unreduce.
#include "zip/Crc32.h"
#include "zip/Explode.h"
#include "zip/Inflate.h"
#include "zip/Unreduce.h"
#include "zip/ZipCrypt.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const char* const kCorpusPaths[] = {
    "/usr/share/common-licenses/GPL-3",
    "/usr/share/common-licenses/Apache-2.0",
    "/usr/include/zlib.h",
    "/usr/bin/bash",
    "/usr/bin/unzip",
    "/usr/bin/zip",
    "/usr/share/doc/bash/CHANGES.gz",
    "/usr/share/doc/bash/NEWS.gz",
};

std::vector<Bytes>& Corpus() {
    static std::vector<Bytes> corpus = [] {
        std::vector<Bytes> files;
        for (const char* path : kCorpusPaths) {
            Bytes bytes = ReadFile(path);
            if (bytes.empty())
                std::fprintf(stderr, "corpus file missing, left out: %s\n", path);
            else
                files.push_back(std::move(bytes));
        }
        std::mt19937 random(1);
        Bytes noise(1 << 20);
        for (auto& b : noise)
            b = static_cast<uint8_t>(random());
        files.push_back(std::move(noise));
        files.push_back(Bytes(1 << 20, 0));
        return files;
    }();
    return corpus;
}

// --- Raw entries of zip archives ---------------------------------------------------------

struct RawEntry {
    uint16_t method = 0, flags = 0;
    uint32_t size = 0;
    Bytes data;
};

std::vector<RawEntry> ZipEntries(const Bytes& zip) {
    std::vector<RawEntry> entries;
    if (zip.size() < 22) return entries;
    auto u16 = [&](size_t at) { return uint32_t(zip[at] | zip[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    size_t end = zip.size() - 22;
    while (end > 0 && u32(end) != 0x06054b50)
        --end;
    size_t at = u32(end + 16);
    for (uint32_t n = u16(end + 10); n > 0 && at + 46 <= zip.size(); --n) {
        RawEntry e;
        e.flags = static_cast<uint16_t>(u16(at + 8));
        e.method = static_cast<uint16_t>(u16(at + 10));
        e.size = u32(at + 24);
        const size_t local = u32(at + 42);
        const size_t data = local + 30 + u16(local + 26) + u16(local + 28);
        e.data.assign(zip.begin() + data, zip.begin() + data + u32(at + 20));
        entries.push_back(std::move(e));
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
    return entries;
}

struct StreamSet {
    std::string name;
    std::vector<RawEntry> entries; // method 8 only
    uint64_t bytes = 0;            // uncompressed
};

void AddDeflated(StreamSet& set, std::vector<RawEntry> entries) {
    for (auto& e : entries)
        if (e.method == 8) {
            set.bytes += e.size;
            set.entries.push_back(std::move(e));
        }
}

std::vector<StreamSet>& InflateSets() {
    static std::vector<StreamSet> sets = [] {
        std::vector<StreamSet> result;
        StreamSet zlibSet{"zlib -6", {}, 0};
        for (const Bytes& file : Corpus()) {
            z_stream z{};
            deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            RawEntry e{8, 0, static_cast<uint32_t>(file.size()), Bytes(deflateBound(&z, file.size()))};
            z.next_in = const_cast<Bytef*>(file.data());
            z.avail_in = static_cast<uInt>(file.size());
            z.next_out = e.data.data();
            z.avail_out = static_cast<uInt>(e.data.size());
            deflate(&z, Z_FINISH);
            e.data.resize(z.total_out);
            deflateEnd(&z);
            zlibSet.bytes += file.size();
            zlibSet.entries.push_back(std::move(e));
        }
        result.push_back(std::move(zlibSet));

        const auto folder =
            std::filesystem::temp_directory_path() / ("tw-codec-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::string names;
        for (size_t i = 0; i < Corpus().size(); ++i) {
            const std::string name = "f" + std::to_string(i);
            std::ofstream(folder / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(Corpus()[i].data()),
                       static_cast<std::streamsize>(Corpus()[i].size()));
            names += " " + name;
        }
        const std::string cd = "cd '" + folder.string() + "' && ";
        const std::pair<const char*, std::string> tools[] = {
            {"zip -6", cd + "zip -q -6 -X z.zip" + names},
            {"7z -mx=9", cd + "7z a -tzip -mm=Deflate -mx=9 s.zip" + names + " >/dev/null"}};
        for (const auto& [label, command] : tools) {
            const std::string archive = (folder / (label[0] == 'z' ? "z.zip" : "s.zip")).string();
            StreamSet set{label, {}, 0};
            if (std::system((command + " 2>/dev/null").c_str()) == 0)
                AddDeflated(set, ZipEntries(ReadFile(archive)));
            if (set.entries.empty())
                std::fprintf(stderr, "%s did not run: its streams are left out\n", label);
            else
                result.push_back(std::move(set));
        }
        std::filesystem::remove_all(folder);
        return result;
    }();
    return sets;
}

std::string LegacyFolder() {
    if (const char* configured = std::getenv("TARNWICK_SHARED_TESTDATA"); configured && *configured)
        return std::string(configured) + "/zip-legacy";
    std::string source = __FILE__;
    source = source.substr(0, source.find_last_of('/'));
    return source + "/../../shared/testdata/zip-legacy";
}

std::vector<RawEntry> LegacyEntries(bool reduce) {
    std::vector<RawEntry> entries;
    for (const char* name : {"Zip.reduce1.zip", "Zip.reduce2.zip", "Zip.reduce3.zip", "Zip.reduce4.zip",
                             "HWREDUCE.ZIP", "Zip.implode.zip", "HWIMPODE.ZIP"})
        for (auto& e : ZipEntries(ReadFile(LegacyFolder() + "/" + name)))
            if (reduce ? (e.method >= 2 && e.method <= 5) : e.method == 6) entries.push_back(std::move(e));
    return entries;
}

// --- Our decoders over memory --------------------------------------------------------------

class MemoryIo : public zip::TDecodeIo {
  public:
    MemoryIo(const Bytes& input, uint8_t* output) : input_(input), output_(output) {}
    std::span<const uint8_t> FillInput() override {
        const size_t n = std::min<size_t>(32768, input_.size() - position_);
        const std::span<const uint8_t> piece(input_.data() + position_, n);
        position_ += n;
        return piece;
    }
    void FlushOutput(const uint8_t* data, size_t count) override {
        std::memcpy(output_ + written_, data, count);
        written_ += count;
    }

  private:
    const Bytes& input_;
    uint8_t* output_;
    size_t position_ = 0;
    size_t written_ = 0;
};

struct Workspace {
    std::unique_ptr<uint8_t[]> slide = std::make_unique<uint8_t[]>(zip::kSlideSize);
    std::unique_ptr<zip::TInflateTables> inflate = std::make_unique<zip::TInflateTables>();
    std::unique_ptr<zip::TExplodeTables> explode = std::make_unique<zip::TExplodeTables>();
    std::unique_ptr<zip::TUnreduceTables> unreduce = std::make_unique<zip::TUnreduceTables>();
    Bytes output = Bytes(8 << 20);
};

Workspace& Work() {
    static Workspace work;
    return work;
}

uint64_t OursDecode(const std::vector<RawEntry>& entries) {
    Workspace& w = Work();
    uint64_t total = 0;
    for (const RawEntry& e : entries) {
        if (w.output.size() < e.size) w.output.resize(e.size);
        MemoryIo io(e.data, w.output.data());
        uint64_t produced = 0;
        zip::TDecodeStatus status;
        if (e.method == 8)
            status = zip::Inflate(io, w.slide.get(), *w.inflate, produced);
        else if (e.method == 6)
            status = zip::Explode(io, w.slide.get(), *w.explode, e.flags, e.size, produced);
        else
            status = zip::Unreduce(io, w.slide.get(), *w.unreduce, e.method - 1u, e.size, produced);
        if (status != zip::TDecodeStatus::Ok || produced != e.size) {
            std::fprintf(stderr, "decode failed (method %u)\n", e.method);
            std::exit(1);
        }
        total += produced;
    }
    return total;
}

uint64_t ZlibInflate(const std::vector<RawEntry>& entries) {
    Workspace& w = Work();
    uint64_t total = 0;
    for (const RawEntry& e : entries) {
        if (w.output.size() < e.size) w.output.resize(e.size);
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(e.data.data());
        z.avail_in = static_cast<uInt>(e.data.size());
        z.next_out = w.output.data();
        z.avail_out = static_cast<uInt>(w.output.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END) {
            std::fprintf(stderr, "zlib inflate failed\n");
            std::exit(1);
        }
        total += z.total_out;
        inflateEnd(&z);
    }
    return total;
}

const Bytes& CrcBuffer() {
    static const Bytes buffer = [] {
        Bytes b(1 << 20);
        std::mt19937 random(2);
        for (auto& x : b)
            x = static_cast<uint8_t>(random());
        return b;
    }();
    return buffer;
}

uint32_t OursCrc() {
    return zip::Crc32Of(CrcBuffer().data(), CrcBuffer().size());
}
uint32_t ZlibCrc() {
    return static_cast<uint32_t>(crc32(0, CrcBuffer().data(), static_cast<uInt>(CrcBuffer().size())));
}

uint32_t Cipher() {
    static Bytes buffer(CrcBuffer());
    zip::TZipCrypt crypt;
    crypt.InitKeys("benchmark password");
    crypt.DecryptBuffer(buffer.data(), buffer.size());
    return crypt.Key2;
}

void BM_Crc32(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(OursCrc());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CrcBuffer().size()));
}
void BM_ZlibCrc32(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ZlibCrc());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CrcBuffer().size()));
}
void BM_Cipher(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Cipher());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CrcBuffer().size()));
}
void BM_Inflate(benchmark::State& state) {
    const StreamSet& set = InflateSets().at(static_cast<size_t>(state.range(0)));
    state.SetLabel(set.name);
    for (auto _ : state)
        benchmark::DoNotOptimize(OursDecode(set.entries));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}
void BM_ZlibInflate(benchmark::State& state) {
    const StreamSet& set = InflateSets().at(static_cast<size_t>(state.range(0)));
    state.SetLabel(set.name);
    for (auto _ : state)
        benchmark::DoNotOptimize(ZlibInflate(set.entries));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}

BENCHMARK(BM_Crc32);
BENCHMARK(BM_ZlibCrc32);
BENCHMARK(BM_Cipher);
BENCHMARK(BM_Inflate)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

template <typename Run> double BestSeconds(Run run, int repeat = 1) {
    double best = 1e9;
    for (int i = 0; i < 7; ++i) {
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < repeat; ++k)
            benchmark::DoNotOptimize(run());
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best / repeat;
}

double MBps(uint64_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e6;
}

void PrintSummary() {
    std::printf("\n");
    const double oursCrc = BestSeconds(OursCrc, 20), zlibCrc = BestSeconds(ZlibCrc, 20);
    std::printf("CRC-32, 1 MiB:        %.2f x zlib  (target at least 1.00; %.0f vs %.0f MB/s)\n",
                zlibCrc / oursCrc, MBps(CrcBuffer().size(), oursCrc), MBps(CrcBuffer().size(), zlibCrc));
    for (const StreamSet& set : InflateSets()) {
        const double ours = BestSeconds([&] { return OursDecode(set.entries); });
        const double zlib = BestSeconds([&] { return ZlibInflate(set.entries); });
        std::printf("inflate, %-11s   %.2f x zlib  (target at least 1.00; %.0f vs %.0f MB/s out)\n",
                    (set.name + ":").c_str(), zlib / ours, MBps(set.bytes, ours), MBps(set.bytes, zlib));
    }
    std::printf("cipher, 1 MiB:        %.0f MB/s  (printed only)\n",
                MBps(CrcBuffer().size(), BestSeconds(Cipher, 5)));
    for (bool reduce : {false, true}) {
        const auto entries = LegacyEntries(reduce);
        const char* what = reduce ? "unreduce" : "explode";
        if (entries.empty()) {
            std::printf("%s: legacy samples not found at %s, not measured\n", what, LegacyFolder().c_str());
            continue;
        }
        uint64_t bytes = 0;
        for (const auto& e : entries)
            bytes += e.size;
        std::printf("%s, %zu entries:  %.0f MB/s out  (printed only)\n", what, entries.size(),
                    MBps(bytes, BestSeconds([&] { return OursDecode(entries); }, 10)));
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
