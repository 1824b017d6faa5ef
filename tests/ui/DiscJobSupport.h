#pragma once
// A whole job to a disc writer, the program hosted in-process (manual clock, scripted prompter,
// hidden) with the simulated drive library and its simdrive.ini beside the program file.
#include "FakeRegistry.h"
#include "SimDriveWinSupport.h"
#include "WinTestSupport.h"
#include "gui/Clock.h"
#include "gui/IniFile.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/JobFile.h"
#include "ui/MFoDiscs.h"
#include "ui/Program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace discjob {

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

// A manual clock that stands in for the test's own for its lifetime, starting at its time and
// handing the time on when it goes; a test overrides Sleep to decide what a wait does.
class StandInClock : public gui::ManualClock {
  public:
    explicit StandInClock(gui::ManualClock& replaced)
        : ManualClock(replaced.Now() - replaced.MonotonicMs() / 86400000.0), replaced_(replaced) {
        Advance(replaced.MonotonicMs());
        gui::SetClock(this);
    }
    ~StandInClock() override {
        replaced_.Advance(MonotonicMs() - replaced_.MonotonicMs());
        gui::SetClock(&replaced_);
    }
    StandInClock(const StandInClock&) = delete;
    StandInClock& operator=(const StandInClock&) = delete;

  private:
    gui::ManualClock& replaced_;
};

inline size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// The program in a folder of its own with the simulated drive library beside it and the
// simdrive.ini given, started; the ini is the library's while the site lives.
template <class Shell = gui::TRecordingShell, class Prompter = gui::TScriptedPrompter> struct DriveSite {
    disctest::DiscTestScope scope;
    TempFolder folder, windowsFolder, source;
    Prompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    Shell shell;
    testsupport::FakeRegistry registry;
    std::unique_ptr<ui::TProgram> program;

    // files: name and bytes of files beside the drive's ini (a Prefill's images), there before the
    // program's start loads the drive.
    explicit DriveSite(const std::string& ini,
                       const std::vector<std::pair<std::string, std::string>>& files = {}) {
        testsupport::DrainQueue();
        for (const auto& [name, bytes] : files)
            WriteWholeFile(folder / name, bytes);
        gui::SetShell(&shell);
        EXPECT_TRUE(CopyFileA(disctest::WindowsPath(TW_SIMDRIVE_DLL).c_str(),
                              (folder / "WNASPI32.DLL").c_str(), FALSE));
        WriteWholeFile(folder / "simdrive.ini", ini);
        SetEnvironmentVariableA("SIMDRIVE_INI", (folder / "simdrive.ini").c_str());
        core::ProgramEnvironment environment;
        environment.programPath = folder / "tarnwick.exe";
        environment.windowsFolder = windowsFolder.Path().substr(0, windowsFolder.Path().size() - 1);
        environment.systemTempPath = folder.Path();
        environment.registry = &registry;
        program = std::make_unique<ui::TProgram>(environment);
        EXPECT_TRUE(program->Start());
        Form().StartUp();
    }
    ~DriveSite() {
        program.reset();
        testsupport::DrainQueue();
        gui::SetShell(nullptr);
        SetEnvironmentVariableA("SIMDRIVE_INI", nullptr);
    }
    ui::TMF& Form() { return *program->MainForm(); }
    ui::TDiscTab& Tab() { return *Form().DiscTab; }
    std::string DriveLog() { return ReadWholeFile(folder / "sim.log"); }
    std::string ProgramLog() { return ReadWholeFile(Form().ProgramLogPath()); }
    // The commands the drive was sent that start with these bytes of the CDB, in hex.
    size_t Commands(const std::string& cdbStart) { return Count(DriveLog(), " 0:0:0 " + cdbStart); }
};

// The drive site, hidden, with drive F a writer of every kind holding a disc of the media
// given, a source tree of incompressible files and a job "Daily.dat" to F:\Backup in 4 MiB
// volumes.
struct DiscJob : DriveSite<> {
    job::JobDefinition job;

    explicit DiscJob(const std::string& media, const std::string& extra = "", int busyPolls = 0,
                     const std::string& driveKeys = "",
                     const std::vector<std::pair<std::string, std::string>>& files = {})
        : DriveSite("[Bus]\nCompletion=sync\nLog=sim.log\nNotifyMediaChange=1\n[Drive0]\nAddress=0:0:0\n"
                    "Letter=F\nDisc=d0\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\nBusyPolls=" +
                        std::to_string(busyPolls) + "\n" + driveKeys + "[Disc:d0]\nMedia=" + media +
                        "\nImage=d0.img\n" + extra,
                    files) {
        Form().StartUpDone = true;
        program->Flags().Hidden = true;
        job.Destination = "F:\\Backup";
        job.ZipSizeText = "4";
        job.CompressionLevel = 1;
        job.Testarchiveafterbackup1 = true;
        job.IncludeList = {source.Path().substr(0, source.Path().size() - 1)};
    }
    // Files of incompressible bytes, each near a volume's size.
    void Sources(const std::string& prefix, int files, size_t size, unsigned seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < files; ++i) {
            std::string bytes(size, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            WriteWholeFile(source / (prefix + std::to_string(i) + ".bin"), bytes);
        }
    }
    void Run() {
        WriteWholeFile(folder / "Daily.dat", job::WriteJobText(job, {}));
        Form().LoadJob("Daily.dat");
        Form().StartBackupJob();
        for (int round = 0; round < 10'000 && Form().Session.Running(); ++round)
            testsupport::DrainQueue();
    }
    // The start block of the last session of the disc in an image, from the drive's state file.
    uint32_t LastSessionStart(const std::string& image = "d0.img") {
        gui::TIniFile state(folder / (image + ".state"));
        const std::string sessions = state.ReadString("Disc", "Sessions", "");
        const size_t last = sessions.find_last_of('|');
        return static_cast<uint32_t>(std::stoul(sessions.substr(last == std::string::npos ? 0 : last + 1)));
    }
    std::vector<std::string> ZipsInTemp() {
        std::vector<std::string> zips;
        for (const auto& entry : std::filesystem::directory_iterator(Form().Flags().TempPath))
            if (entry.path().extension() == ".zip") zips.push_back(entry.path().string());
        return zips;
    }
};

} // namespace discjob
