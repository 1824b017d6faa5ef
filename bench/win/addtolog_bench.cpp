// What one log line costs: the main form's log routine writes the program log and, while a
// job runs, the job log and the run log. Idle lines open and close the program log each time;
// a job's lines go to files kept open from BeginJobLog to EndJobLog. Prints lines per second
// for 100,000 lines each: idle, a job's three logs opened per line (as without BeginJobLog),
// and a job's three logs held open.
#include "gui/Action.h"
#include "gui/Application.h"
#include "ui/Program.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// No user folders: every file of the run stays in the scratch folder.
class NoUserFolders final : public core::RegistryLookup {
  public:
    std::optional<std::string> ReadString(core::RegistryRoot, const std::string&,
                                          const std::string&) override {
        return std::nullopt;
    }
};

std::string ScratchFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string folder = std::string(base) + "twbench" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

double LinesPerSecond(ui::TMF& form, int lines) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < lines; ++i)
        form.AddToLog("benchmark line " + std::to_string(i));
    QueryPerformanceCounter(&end);
    return lines / (static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
}

} // namespace

int main() {
    const std::string folder = ScratchFolder();
    core::ProgramEnvironment environment = core::ProgramEnvironment::FromProcess();
    environment.programPath = folder + "tarnwick.exe";
    environment.params.clear();
    NoUserFolders noUserFolders;
    environment.registry = &noUserFolders;
    ui::TProgram program(environment);
    if (!program.Start()) return 1;
    ui::TMF& form = *program.MainForm();
    constexpr int lines = 100000;

    std::printf("AddToLog, idle, program log:               %8.0f lines/s\n", LinesPerSecond(form, lines));
    program.Flags().JobName = folder + "bench.dat";
    form.Session.JobLogName = folder + "bench_100.txt";
    form.Session.State = job::JobState::Running;
    std::printf("AddToLog, job, three logs opened per line: %8.0f lines/s\n", LinesPerSecond(form, lines));
    form.BeginJobLog(folder + "bench_101.txt");
    std::printf("AddToLog, job, three logs held open:       %8.0f lines/s\n", LinesPerSecond(form, lines));
    form.EndJobLog();
    form.Session.State = job::JobState::Idle;
    for (const char* name : {"tarnwick.log", "tarnwick.ini", "bench_100.txt", "bench_101.txt", "bench.log"})
        DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
