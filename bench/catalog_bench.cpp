// The catalogue browser's row model on a 200,000-line catalogue (30 % of the lines repeat an
// earlier path, 10 % are folders): load with dedupe and the path sort under each filter,
// re-sort by Modified and Go to must each cost at most ten times reading the same file into a
// string list.
#include "gui/StringList.h"
#include "job/Catalog.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

std::string CatalogueText() {
    std::mt19937 random(7);
    std::vector<std::string> paths;
    std::string text;
    for (int i = 0; i < 200'000; ++i) {
        std::string path, name;
        if (i % 10 == 9) {
            path = "C:\\Users\\Someone\\Documents\\Folder" + std::to_string(random() % 5000) + "\\";
        } else if (i % 10 < 3 && !paths.empty()) {
            const std::string& earlier = paths[random() % paths.size()];
            const size_t cut = earlier.rfind('\\') + 1;
            path = earlier.substr(0, cut);
            name = earlier.substr(cut);
        } else {
            path = "C:\\Users\\Someone\\Documents\\Folder" + std::to_string(random() % 5000) + "\\";
            name = "File" + std::to_string(random()) + ".doc";
            paths.push_back(path + name);
        }
        const int32_t date = static_cast<int32_t>(random());
        text += path + '"' + name + '"' + std::to_string(date) + "\"20250310" +
                std::to_string(100 + i / 5000) + ".zip\"" + std::to_string(i % 5000) + "\r\n";
    }
    return text;
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

static void BM_CatalogRows(benchmark::State& state) {
    const std::string path = (std::filesystem::temp_directory_path() / "tw-catalog-bench.cat").string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << CatalogueText();
    }
    double baseline = 0, load[4] = {}, modified = 0, goTo = 0;
    core::LocaleFormat locale;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        gui::TStringList list;
        list.LoadFromFile(path);
        benchmark::DoNotOptimize(list.Count());
        baseline += Seconds(start);

        for (int filters = 0; filters < 4; ++filters) {
            start = std::chrono::steady_clock::now();
            job::CatalogRows rows;
            rows.Folders = filters & 1;
            rows.Duplicates = filters & 2;
            const std::string text = ReadText(path);
            job::ForEachLine(text, [&](std::string_view line) { rows.AddLine(line); });
            rows.FinishLoad();
            load[filters] += Seconds(start);
            if (filters != 0) continue;

            start = std::chrono::steady_clock::now();
            rows.SortBy(job::CatalogRows::ModifiedColumn);
            modified += Seconds(start);
            start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(rows.GoTo("06/15/2011", locale));
            rows.SortBy(job::CatalogRows::PathColumn);
            benchmark::DoNotOptimize(rows.GoTo("C:\\USERS\\SOMEONE\\DOCUMENTS\\FOLDER2500", locale));
            goTo += Seconds(start);
        }
    }
    const char* names[4] = {"load_plain", "load_folders", "load_duplicates", "load_both"};
    for (int filters = 0; filters < 4; ++filters)
        state.counters[std::string("ratio_") + names[filters]] = load[filters] / baseline;
    state.counters["ratio_sort_modified"] = modified / baseline;
    state.counters["ratio_goto_with_path_sort"] = goTo / baseline;
    state.counters["baseline_s"] = baseline / static_cast<double>(state.iterations());
    std::filesystem::remove(path);
}
BENCHMARK(BM_CatalogRows)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
