// A whole folder job, timed: the program hosted in-process runs a job over a tree to a folder
// in volumes of TW_BENCH_VOLUME_MB (default 100) at level 6, without verification, from the
// start action to the job's end. The job's fixed waits (10 s before a volume, 15 s at the end)
// run on a manual clock that skips them: they are not the job's cost. Prints the seconds, the
// volumes and their bytes.
//   TW_BENCH_TREE  a tree to back up (a Windows path); without it a mixed tree of TW_BENCH_MB
//                  (default 8) is made in the temporary folder and removed afterwards
//   TW_BENCH_DEST  the destination folder (default: beside the made tree); emptied first
//   TW_BENCH_LOG   when set, the program log follows the figures (where the time went)
//   TW_BENCH_CLEAR_BITS  when set, the job clears the archive bits of the files it zips
// The job's span is marked with OutputDebugString ("tw-bench job start" / "... end"), so that
// a relay trace can count the calls of the job alone. The process's peak memory follows the
// seconds.
// bench/folderjob_vs_zip.sh runs it against `zip -6 -qr` of the same tree plus `cp`;
// bench/folderjob_memory.sh runs it over 100,000 files for the peak memory.
#include "FakeRegistry.h"
#include "gui/Clock.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/JobFile.h"
#include "ui/MFo.h"
#include "ui/Program.h"

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

// A wait pumps messages once per millisecond it sleeps, each round a server call under Wine:
// the job's 25 s of fixed waits cost a second of rounds on a clock that moved a millisecond per
// round. Here a round moves it a tenth of a second.
class WaitSkippingClock final : public gui::ManualClock {
  public:
    bool Sleep(int milliseconds, bool alertable) override {
        return gui::ManualClock::Sleep(milliseconds * 100, alertable);
    }
};

std::string Env(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

// Text files and files half noise, half repeated bytes, in a few folders.
void MakeTree(const fs::path& root, int64_t bytes) {
    std::mt19937 random(7);
    std::lognormal_distribution<double> sizes(10.0, 1.6);
    int64_t made = 0;
    for (int i = 0; made < bytes; ++i) {
        const fs::path folder = root / ("dir" + std::to_string(i % 13)) / ("sub" + std::to_string(i % 5));
        fs::create_directories(folder);
        const int64_t size = std::min<int64_t>(bytes - made, static_cast<int64_t>(sizes(random)) + 1);
        std::string data(static_cast<size_t>(size), '\0');
        if (i % 2 == 0) {
            for (size_t at = 0; at < data.size(); ++at)
                data[at] = at % 61 == 60 ? '\n' : static_cast<char>('a' + random() % 26 / (random() % 3 + 1));
        } else {
            for (size_t at = 0; at < data.size(); ++at)
                data[at] = at < data.size() / 2 ? static_cast<char>(random()) : "MZ\x90\x00"[at % 4];
        }
        std::ofstream(folder / ("file" + std::to_string(i) + (i % 2 ? ".dll" : ".txt")), std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(data.size()));
        made += size;
    }
}

} // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const fs::path work = fs::path(temp) / ("tw_folderjob_bench_" + std::to_string(GetCurrentProcessId()));
    fs::path tree = Env("TW_BENCH_TREE", "");
    const bool madeTree = tree.empty();
    if (madeTree) {
        tree = work / "tree";
        MakeTree(tree, std::atoll(Env("TW_BENCH_MB", "8").c_str()) * 1'000'000);
    }
    const fs::path dest = Env("TW_BENCH_DEST", (work / "dest").string());
    fs::remove_all(dest);
    const fs::path programFolder = work / "program";
    fs::create_directories(programFolder);

    WaitSkippingClock clock;
    gui::SetClock(&clock);
    gui::TRecordingShell shell;
    gui::SetShell(&shell);
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    testsupport::FakeRegistry registry;
    core::ProgramEnvironment environment;
    environment.programPath = (programFolder / "tarnwick.exe").string();
    environment.windowsFolder = temp;
    environment.windowsFolder.pop_back();
    environment.systemTempPath = (programFolder / "").string();
    environment.registry = &registry;
    int volumes = 0;
    int64_t volumeBytes = 0;
    double seconds = 0;
    {
        ui::TProgram program(environment);
        program.Start();
        ui::TMF& form = *program.MainForm();
        form.StartUpDone = true;
        program.Flags().Hidden = true;
        job::JobDefinition job;
        job.Destination = dest.string();
        job.ZipSizeText = Env("TW_BENCH_VOLUME_MB", "100");
        job.CompressionLevel = 6;
        job.ClearArchiveBit = !Env("TW_BENCH_CLEAR_BITS", "").empty();
        job.IncludeList = {tree.string()};
        std::ofstream(programFolder / "Bench.dat", std::ios::binary) << job::WriteJobText(job, {});
        form.LoadJob("Bench.dat");

        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        OutputDebugStringA("tw-bench job start");
        form.StartBackupJob();
        MSG message;
        while (form.Session.Running()) {
            if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) continue;
            if (message.message != WM_QUIT) DispatchMessageA(&message);
        }
        QueryPerformanceCounter(&end);
        OutputDebugStringA("tw-bench job end");
        seconds =
            static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    for (const auto& entry : fs::directory_iterator(dest)) {
        ++volumes;
        volumeBytes += static_cast<int64_t>(entry.file_size());
    }
    gui::SetShell(nullptr);
    gui::SetClock(nullptr);
    std::printf("folder job: %.3f s, %d volumes, %lld bytes\n", seconds, volumes,
                static_cast<long long>(volumeBytes));
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        std::printf("peak working set %.1f MB, peak private bytes %.1f MB\n",
                    static_cast<double>(counters.PeakWorkingSetSize) / 1e6,
                    static_cast<double>(counters.PeakPagefileUsage) / 1e6);
    if (!Env("TW_BENCH_LOG", "").empty()) {
        std::ifstream log(programFolder / "tarnwick.log", std::ios::binary);
        std::printf("%s", std::string(std::istreambuf_iterator<char>(log), {}).c_str());
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return volumes > 0 ? 0 : 1;
}
