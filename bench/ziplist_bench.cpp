// Listing a large archive's directory, against Info-ZIP's "unzip -Z1" on the same file, and
// building the sorted views of its entries. The archive (65,000 entries, made by "zip") is
// made once and kept in the temp folder between runs.
//
// Targets: the listing within 1.5 times "unzip -Z1" (both read the file from the page cache;
// unzip's time includes its process start, ours the file read); a ByName or ByDate view of
// 65,000 entries in under a second.
#include "zip/ZipObj.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr int EntryCount = 65000;

const std::string& Archive() {
    static const std::string path = [] {
        const fs::path archive = fs::temp_directory_path() / "tw_ziplist_bench_65000.zip";
        if (fs::exists(archive)) return archive.string();
        const fs::path tree = fs::temp_directory_path() / "tw_ziplist_bench_tree";
        fs::remove_all(tree);
        for (int i = 0; i < EntryCount; ++i) {
            const fs::path folder = tree / ("folder" + std::to_string(i % 650));
            if (i < 650) fs::create_directories(folder);
            std::ofstream(folder / ("file number " + std::to_string(i) + ".txt")) << i;
        }
        const std::string command = "cd '" + tree.string() +
                                    "' && find . -type f | sed 's|^./||' | zip -q -0 '" + archive.string() +
                                    "' -@";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "could not make %s\n", archive.string().c_str());
        fs::remove_all(tree);
        return archive.string();
    }();
    return path;
}

std::unique_ptr<gui::TMemoryStream> LoadArchive() {
    std::ifstream in(Archive(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto stream = std::make_unique<gui::TMemoryStream>();
    stream->SetCapacity(bytes.size());
    stream->WriteBuffer(bytes.data(), bytes.size());
    return stream;
}

// The entry list as the unzip side keeps it: archive order, owning the records.
std::unique_ptr<zip::TSortedZip> ReadEntries(gui::TStream& archive) {
    auto list = std::make_unique<zip::TSortedZip>(0);
    zip::TEndCentral end;
    if (!end.FindEndCentral(archive)) return list;
    archive.SetPosition(end.CentralOffset);
    list->SetCapacity(end.TotalEntries);
    gui::TStream* at = &archive;
    for (int i = 0; i < end.TotalEntries; ++i) {
        auto entry = std::make_unique<zip::TZipHeaderInfo>();
        if (!entry->ReadCentral(at)) break;
        list->Add(entry.release());
    }
    return list;
}

void BM_ListArchive(benchmark::State& state) {
    Archive();
    for (auto _ : state) {
        auto archive = LoadArchive();
        auto entries = ReadEntries(*archive);
        if (entries->Count() != EntryCount) state.SkipWithError("the archive did not list whole");
        benchmark::DoNotOptimize(entries.get());
    }
}
BENCHMARK(BM_ListArchive)->Unit(benchmark::kMillisecond);

void BM_UnzipZ1(benchmark::State& state) {
    const std::string command = "unzip -Z1 '" + Archive() + "' > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("unzip -Z1 failed");
}
BENCHMARK(BM_UnzipZ1)->Unit(benchmark::kMillisecond);

void BM_SortedView(benchmark::State& state) {
    auto archive = LoadArchive();
    auto entries = ReadEntries(*archive);
    const auto mode = static_cast<zip::TZipSortMode>(state.range(0));
    for (auto _ : state) {
        zip::TSortedZip view(1);
        view.OwnsObjects = false;
        view.SortMode = mode;
        view.SetCapacity(entries->Count());
        for (int i = 0; i < entries->Count(); ++i)
            view.Add(entries->Get(i));
        benchmark::DoNotOptimize(view.First());
    }
}
BENCHMARK(BM_SortedView)->Arg(zip::ByName)->Arg(zip::ByDate)->Arg(zip::ByRate)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
