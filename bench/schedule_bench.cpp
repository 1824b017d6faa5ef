// The schedule evaluation runs every half hour for months, with a saved queue that may have
// grown large: it must stay linear in the saved queue (100,000 entries at most 15 times
// 10,000), cost at most ten times a plain read and write of that ".sac", and an Every of one
// second must cost about what an Every of one hour costs (at most twice).
#include "gui/StringList.h"
#include "job/Schedules.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double now = 45726.5;

std::string ScheduleOfEveryKind() {
    std::vector<std::string> list;
    for (int i = 0; i < 700; ++i) {
        const std::string job = "C:\\Jobs\\job" + std::to_string(i) + ".dat";
        const double time = (i % 96) / 96.0;
        std::string line;
        switch (i % 6) {
        case 0:
            line = job::FormatScheduleLine(job::OnceKindField(), now + 1 + i / 7.0, job, '.');
            break;
        case 1:
            line = job::FormatScheduleLine(job::MonthlyKindField(i % 7), time, job, '.');
            break;
        case 2:
            line = job::FormatScheduleLine(job::MonthlyDayKindField(i % 31 + 1), time, job, '.');
            break;
        case 3:
            line = job::FormatScheduleLine(job::WeeklyKindField(i % 7), time, job, '.');
            break;
        case 4:
            line = job::FormatScheduleLine(job::DailyKindField(), time, job, '.');
            break;
        default:
            line = job::FormatScheduleLine(job::EveryKindField(), (i % 24 + 1) / 24.0, job, '.');
            break;
        }
        job::InsertScheduleLine(list, line);
    }
    return job::ScheduleFileText(list);
}

std::vector<std::string> SavedQueue(int count) {
    std::vector<std::string> saved;
    saved.reserve(static_cast<size_t>(count));
    // Runs missed over the last weeks, in queue order.
    for (int i = 0; i < count; ++i)
        saved.push_back(job::FormatRunQueueEntry(now - 30 + i * (29.0 / count), "C:\\Jobs\\missed.dat", '.'));
    return saved;
}

std::string TempFile(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tw-schedule-bench-" + name)).string();
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One evaluation as the window runs it: the schedule file read, the queue evaluated, the ".sac"
// written.
double Evaluation(const std::string& scheduleFile, const std::vector<std::string>& saved,
                  const std::string& sac) {
    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(scheduleFile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    job::ScheduleInput input;
    input.scheduleFile = text;
    input.savedRunQueue = saved;
    input.now = now;
    const job::ScheduleResult result = job::EvaluateSchedules(input);
    std::ofstream out(sac, std::ios::binary | std::ios::trunc);
    out.write(result.runQueueFile.data(), static_cast<std::streamsize>(result.runQueueFile.size()));
    out.close();
    benchmark::DoNotOptimize(result.runRows.size());
    return Seconds(start);
}

double PlainReadWrite(const std::string& sac) {
    const auto start = std::chrono::steady_clock::now();
    gui::TStringList list;
    list.LoadFromFile(sac);
    list.SaveToFile(sac);
    benchmark::DoNotOptimize(list.Count());
    return Seconds(start);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace

static void BM_SavedQueueGrowth(benchmark::State& state) {
    const std::string scheduleFile = TempFile("every-kind.sch"), sac = TempFile("queue.sac");
    WriteText(scheduleFile, ScheduleOfEveryKind());
    const std::vector<std::string> small = SavedQueue(10'000), large = SavedQueue(100'000);
    double smallTime = 0, largeTime = 0, plainTime = 0;
    for (auto _ : state) {
        smallTime += Evaluation(scheduleFile, small, sac);
        largeTime += Evaluation(scheduleFile, large, sac);
        plainTime += PlainReadWrite(sac); // the ".sac" of the large queue
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["eval_10k_s"] = smallTime / n;
    state.counters["eval_100k_s"] = largeTime / n;
    state.counters["plain_100k_s"] = plainTime / n;
    state.counters["ratio_100k_10k"] = largeTime / smallTime;
    state.counters["ratio_eval_plain"] = largeTime / plainTime;
    std::filesystem::remove(scheduleFile);
    std::filesystem::remove(sac);
}
BENCHMARK(BM_SavedQueueGrowth)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_EverySecondVsEveryHour(benchmark::State& state) {
    auto file = [](double interval) {
        std::vector<std::string> list;
        for (int i = 0; i < 700; ++i)
            job::InsertScheduleLine(
                list, job::FormatScheduleLine(job::EveryKindField(), interval,
                                              "C:\\Jobs\\job" + std::to_string(i) + ".dat", '.'));
        return job::ScheduleFileText(list);
    };
    const std::string second = TempFile("second.sch"), hour = TempFile("hour.sch"),
                      sac = TempFile("every.sac");
    WriteText(second, file(1.0 / 86'400));
    WriteText(hour, file(1.0 / 24));
    double secondTime = 0, hourTime = 0;
    for (auto _ : state) {
        secondTime += Evaluation(second, {}, sac);
        hourTime += Evaluation(hour, {}, sac);
    }
    state.counters["every_second_s"] = secondTime / static_cast<double>(state.iterations());
    state.counters["every_hour_s"] = hourTime / static_cast<double>(state.iterations());
    state.counters["ratio"] = secondTime / hourTime;
    for (const std::string& path : {second, hour, sac})
        std::filesystem::remove(path);
}
BENCHMARK(BM_EverySecondVsEveryHour)->Unit(benchmark::kMillisecond)->Iterations(50);

BENCHMARK_MAIN();
