// A console driver of the job file for checks run under Wine:
//   jobdrv show JOB
//     loads JOB into a fresh job as the program does and prints the text a save would
//     write for it, nothing else; exit 0. A missing file prints "missing: JOB", exit 1.
//   jobdrv start JOB [--drive L:UNIXFOLDER] [--shown] [--yes]
//     the job start's checks over JOB as loaded: prints the log lines, boxes ("box: ") and
//     questions ("ask: ", answered No, or Yes with --yes), then "size SHOWN BYTES".
//   jobdrv resave JOB [--dest TEXT] [--maxzip TEXT] [--after now|DAYNUMBER]
//     loads JOB, sets the destination, the volume size text and the "After:" date, and
//     saves it to JOB by the program's rules (read-only files included); prints each log
//     line as "log: TEXT", then "saved" (exit 0) or "not saved" (exit 1).
// A name with a folder is used as given; a bare name lies beside the driver, as a job lies
// beside the program while per-user data is off. An exception prints "error: TEXT" naming
// the job file, exit 2. Standard output is binary and fully buffered.

#include "WineDriveWinSupport.h"
#include "core/LocaleWin.h"
#include "core/LogFile.h"
#include "core/ProgramEnvironment.h"
#include "gui/Wait.h"
#include "job/DirectoryListerWin.h"
#include "job/DriveSpace.h"
#include "job/JobFileSystemWin.h"
#include "job/JobItems.h"
#include "job/JobStart.h"
#include "job/JobStartRules.h"
#include "job/JobStore.h"
#include "job/WindowlessHost.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Nothing runs nested in a console process, so its waits are empty.
class ConsoleHost final : public job::WindowlessHost {
  public:
    ConsoleHost() : WindowlessHost([](const std::string& text) { std::printf("log: %s\n", text.c_str()); }) {}
};

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Driver {
    ConsoleHost host;
    job::JobStore store{host, job::SystemJobFiles()};
    job::JobDefinition job; // fresh: erase boxes clear, no catalogue, first writer, maximum 7
    std::string jobName;

    Driver() {
        store.Location.programFolder = ProgramFolder();
        store.Locale = core::SystemLocaleFormat();
    }
};

int Show(Driver& driver, const std::string& name, const std::vector<std::string>& options) {
    if (!options.empty()) throw UsageError("show takes no options");
    if (!driver.store.Load(name, driver.job, driver.jobName)) {
        std::printf("missing: %s\n", name.c_str());
        return 1;
    }
    const std::string text =
        job::WriteJobText(driver.job, job::JobTextContext{driver.store.Locale, gui::CurrentClock().Now()});
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int Resave(Driver& driver, const std::string& name, const std::vector<std::string>& options) {
    driver.store.Load(name, driver.job, driver.jobName);
    for (size_t i = 0; i < options.size(); i += 2) {
        if (i + 1 >= options.size()) throw UsageError(options[i] + " needs a value");
        const std::string& option = options[i];
        const std::string& value = options[i + 1];
        if (option == "--dest") {
            driver.job.Destination = value;
        } else if (option == "--maxzip") {
            driver.job.ZipSizeText = value;
        } else if (option == "--after") {
            const core::LocaleFormat& locale = driver.store.Locale;
            const gui::DateTime when = value == "now"
                                           ? gui::CurrentClock().Now()
                                           : core::StrToFloatAnySep(value, locale.decimalSeparator);
            driver.job.AfterDateText = core::DateToStrFixed(when, locale);
        } else {
            throw UsageError("unknown option " + option);
        }
    }
    const bool saved = driver.store.Save(name, driver.job, driver.jobName);
    std::printf(saved ? "saved\n" : "not saved\n");
    return saved ? 0 : 1;
}

// --- select ---

// The job start's first steps and the selection, on the real clock, shell and files, with
// the window hidden. Prints the program-log lines, the job-log-only lines and any box as they
// come, then the list and its counts.
class SelectHost final : public job::WindowlessHost {
  public:
    job::JobRun* run = nullptr;
    long cancelAfter = -1; // lines in the list at which the run is cancelled
    void AddToLog(const std::string& text) override { Print("log: ", text); }
    void Wait(int milliseconds) override { gui::Wait(milliseconds, false); }
    void AddToJobLog(const std::string& text, bool) override { Print("joblog: ", text); }
    void Pump() override { gui::ProcessMessages(); }
    void PumpIfDue() override { gui::PumpIfDue(20); }
    bool Cancelled() override {
        if (!cancelFired_ && cancelAfter >= 0 && run &&
            static_cast<long>(run->FilestoZipList.size()) >= cancelAfter) {
            cancelFired_ = true;
            SetCancelled(true);
        }
        return WindowlessHost::Cancelled();
    }
    void ShowMessage(const std::string& text, gui::TMsgIcon) override { Print("box: ", text); }
    std::string ProgramFolder() override { return ::ProgramFolder(); }
    void FlushAttributeList() override {
        core::AppendLines(ProgramFolder() + "Att.Lst", ArchiveBitPending(), "");
        ArchiveBitPending().clear();
    }

  private:
    static void Print(const char* kind, const std::string& text) {
        const std::string line = kind + text + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    bool cancelFired_ = false;
};

int Select(Driver& driver, const std::string& name, const std::vector<std::string>& options) {
    job::JobRun run;
    SelectHost host;
    host.run = &run;
    for (size_t i = 0; i < options.size(); i += 2) {
        if (i + 1 >= options.size()) throw UsageError(options[i] + " needs a value");
        const std::string& option = options[i];
        const std::string& value = options[i + 1];
        if (option == "--temp") {
            run.TempPath = value;
        } else if (option == "--user-folders") {
            run.UserFolders = value;
        } else if (option == "--cancel-after") {
            host.cancelAfter = std::stol(value);
        } else {
            throw UsageError("unknown option " + option);
        }
    }
    if (!driver.store.Load(name, driver.job, driver.jobName)) {
        std::printf("missing: %s\n", name.c_str());
        return 1;
    }
    job::JobDefinition& definition = driver.job;
    run.JobStartTime = gui::CurrentClock().Now();
    run.AfterDateTextBeforeStart = definition.AfterDateText;
    const auto afterDate = job::RunAfterDate(definition.AfterDateText, definition.UseAfterDate,
                                             run.JobStartTime, driver.store.Locale);
    if (!afterDate) throw std::runtime_error("the \"After:\" date is no date: " + definition.AfterDateText);
    run.Options.UseAfterDate = definition.UseAfterDate;
    run.Options.AfterDate = *afterDate;
    run.MaxZipSize = definition.MaxZipSize;
    DeleteFileA((ProgramFolder() + "Att.Lst").c_str());
    if (run.TempPath.empty()) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        run.TempPath = temp;
    }
    if (run.TempPath.back() != '\\') run.TempPath += '\\';

    const core::ProgramEnvironment environment = core::ProgramEnvironment::FromProcess();
    job::SystemDirectoryLister lister;
    job::JobItems items(run, host, lister, definition,
                        {ProgramFolder(), environment.windowsFolder, environment.os, [&definition] {
                             // The start's first choice, by its guarded measure.
                             std::string field = definition.Destination;
                             const std::vector<std::string> destinations = job::ParseDestinations(field);
                             return job::DriveFreeBytes(job::DriveOfPath(
                                 destinations.empty() ? std::string() : destinations.front()));
                         }});
    items.ZipName = definition.ZipName;
    items.SaveJob = [&] { driver.store.Save(name, definition, driver.jobName); };
    const job::SelectionResult result = items.Run();
    // Numbers through to_string: the runtime's printf knows no 64-bit "ll".
    std::string out;
    for (const job::FileListEntry& entry : run.FilestoZipList)
        out += "entry\t" + std::to_string(entry.Size) + "\t" + entry.Path + "\n";
    out += "files " + std::to_string(run.FilesToBak) + "\nfolders " + std::to_string(run.DirToBak) +
           "\ntotal " + std::to_string(result.FilesTotal) + "\nbytes " +
           std::to_string(result.BytesSelected) + "\n" + (result.Cancelled ? "cancelled" : "done") + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

// --- start ---

// The job start's checks over a job already loaded, on the real drives, with the window
// played by the console: log lines and boxes printed, questions printed and answered as
// told; no selection follows. --drive L:UNIXFOLDER first makes L: a removable drive over
// that folder (a medium the Linux side made).
class StartHost final : public job::WindowlessHost {
  public:
    std::string jobName, folder;
    bool hidden = true, answer = false;
    void AddToLog(const std::string& text) override { Print("log: ", text); }
    void ShowMessage(const std::string& text, gui::TMsgIcon) override { Print("box: ", text); }
    bool AskYesNo(const std::string& text, gui::TMsgIcon) override {
        Print("ask: ", text);
        return answer;
    }
    bool Hidden() override { return hidden; }
    std::string ProgramFolder() override { return folder; }
    std::string ProgramFile() override { return folder + "tarnwick.exe"; }
    std::string TempPath() override { return folder; }
    std::string JobName() override { return jobName; }

  private:
    static void Print(const char* kind, const std::string& text) {
        const std::string line = kind + text + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
};

class NoDisc final : public job::DiscWriter {
  public:
    bool Load(bool) override { return false; }
    bool Select(const std::string&, char) override { return false; }
    bool Ready(int) override { return false; }
    int64_t FreeBytes() override { return 0; }
    int64_t CapacityAfterErase() override { return -1; }
    void Release() override {}
};

int Start(Driver& driver, const std::string& name, const std::vector<std::string>& options) {
    StartHost host;
    char drive = 0;
    struct DriveRemoval {
        const char& letter;
        ~DriveRemoval() {
            if (letter) wintest::DefineUnixDrive(letter, "", 0);
        }
    } removal{drive};
    for (size_t i = 0; i < options.size(); ++i) {
        const std::string& option = options[i];
        if (option == "--shown") {
            host.hidden = false;
            continue;
        }
        if (option == "--yes") {
            host.answer = true;
            continue;
        }
        if (i + 1 >= options.size()) throw UsageError(option + " needs a value");
        const std::string& value = options[++i];
        if (option == "--drive" && value.size() > 2 && value[1] == ':') {
            if (!wintest::DefineUnixDrive(value[0], value.substr(2), DRIVE_REMOVABLE))
                throw std::runtime_error("the drive could not be defined: " + value);
            drive = value[0];
        } else {
            throw UsageError("unknown option " + option);
        }
    }
    job::JobSession session;
    if (!driver.store.Load(name, session.Job, driver.jobName)) {
        std::printf("missing: %s\n", name.c_str());
        return 1;
    }
    session.LoadedJobName = driver.jobName;
    host.jobName = driver.jobName;
    // The job's logs and work files beside the job.
    const size_t slash = driver.jobName.find_last_of('\\');
    host.folder = slash == std::string::npos ? ProgramFolder() : driver.jobName.substr(0, slash + 1);
    NoDisc disc;
    job::JobStarter start(session, host, disc);
    start.StartBackupJob();
    std::printf("size %s %lld\n", session.Job.ZipSizeText.c_str(), static_cast<long long>(start.MaxZipSize));
    return 0;
}

struct Verb {
    const char* name;
    int (*run)(Driver&, const std::string& job, const std::vector<std::string>& options);
};
constexpr Verb verbs[] = {
    {"show", Show},
    {"resave", Resave},
    {"select", Select},
    {"start", Start},
};

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "jobdrv: %s\nusage: jobdrv show JOB\n"
                 "       jobdrv resave JOB [--dest TEXT] [--maxzip TEXT] [--after now|DAYNUMBER]\n",
                 problem);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    if (argc < 3) return Usage("a verb and a job file are needed");
    const Verb* verb = nullptr;
    for (const Verb& candidate : verbs)
        if (std::strcmp(candidate.name, argv[1]) == 0) verb = &candidate;
    if (!verb) return Usage("unknown verb");
    const std::string name = argv[2];
    const std::vector<std::string> options(argv + 3, argv + argc);
    int status = 2;
    try {
        Driver driver;
        status = verb->run(driver, name, options);
    } catch (const UsageError& error) {
        std::fflush(stdout);
        return Usage(error.what());
    } catch (const job::EJobFileError& error) {
        std::printf("error: %s\n", error.what());
    } catch (const std::exception& error) {
        std::printf("error: Job file %s: %s\n", name.c_str(), error.what());
    }
    std::fflush(stdout);
    return status;
}
