#pragma once
// The program hosted in-process for whole-job tests: a temporary program folder, the manual
// clock (its timer ticks inside every wait), a recording shell and a scripted prompter that
// can act when asked or when a program is started, archive bits in memory, and the real zip
// component. Helpers to look at what a job left.
#include "HookedAttributes.h"
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "gui/Clock.h"
#include "gui/FileAttributes.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/JobFile.h"
#include "job/JobRunner.h"
#include "ui/MFo.h"
#include "ui/Program.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/WriteSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>

namespace hostedjob {

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

inline void WriteRandom(const std::string& path, size_t size, std::mt19937& random) {
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    WriteWholeFile(path, bytes);
}

inline std::vector<std::string> ZipsIn(const std::string& folder) {
    std::vector<std::string> zips;
    if (!std::filesystem::exists(folder)) return zips;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) zips.push_back(entry.path().filename().string());
    std::sort(zips.begin(), zips.end());
    return zips;
}

inline std::vector<std::string> EntriesOf(const std::string& zipFile) {
    zip::TWinExtractFileSystem files;
    zip::TUnZipper reader(files);
    reader.SetZipName(zipFile);
    std::vector<std::string> names;
    for (int i = 0; i < reader.Count(); ++i)
        names.push_back(reader.FullName(i));
    return names;
}

inline bool ZipIsSound(const std::string& zipFile) {
    zip::TWinExtractFileSystem files;
    zip::TUnZipper reader(files);
    reader.SetZipName(zipFile);
    return reader.Count() > 0 && reader.TestArchive();
}

inline size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

using testsupport::HookedAttributes;

// The work files of zip runs under the folder, and split parts (".z01" on) without the
// ".zip" that closes their set.
inline std::vector<std::string> WorkFilesUnder(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string extension = entry.path().extension().string();
        const bool part = extension.size() >= 4 && extension[1] == 'z' &&
                          extension.find_first_not_of("0123456789", 2) == std::string::npos;
        std::filesystem::path set = entry.path();
        if ((part && !std::filesystem::exists(set.replace_extension(".zip"))) || extension == ".zfi" ||
            extension == ".tmp" || extension == ".~tm" || extension == ".~mz")
            found.push_back(entry.path().string());
    }
    return found;
}

// An archive file of the runner's output-file seam that passes everything on; a test's medium
// overrides what it plays.
class ForwardingFile : public zip::TSinkFile {
  public:
    explicit ForwardingFile(std::unique_ptr<zip::TSinkFile> file) : file_(std::move(file)) {}
    const std::string& Name() const override { return file_->Name(); }
    int64_t Position() override { return file_->Position(); }
    void Seek(int64_t position) override { file_->Seek(position); }
    size_t Write(const uint8_t* data, size_t count) override { return file_->Write(data, count); }
    int64_t Size() override { return file_->Size(); }
    void Close() override { file_->Close(); }
    void Reopen() override { file_->Reopen(); }
    bool ReadBack(int64_t position, uint8_t* buffer, size_t count) override {
        return file_->ReadBack(position, buffer, count);
    }
    std::string DriveType() override { return file_->DriveType(); }
    std::unique_ptr<gui::TStream> OpenStaging() override { return file_->OpenStaging(); }
    void DeleteStaging() override { file_->DeleteStaging(); }

  private:
    std::unique_ptr<zip::TSinkFile> file_;
};

// The recording shell, and a hook when a program is started (before it is recorded).
class HookedShell final : public gui::TRecordingShell {
  public:
    std::function<void(const std::string& program)> onStart;
    bool Open(const std::string& target, const std::string& parameters, const std::string& folder) override {
        if (onStart) onStart(target);
        return TRecordingShell::Open(target, parameters, folder);
    }
    bool StartHidden(const std::string& program, const std::string& parameters,
                     const std::string& folder) override {
        if (onStart) onStart(program);
        return TRecordingShell::StartHidden(program, parameters, folder);
    }
    bool Started(const std::string& program) const {
        for (const gui::TShellCall& call : Calls())
            if (call.Target == program) return true;
        return false;
    }
};

// The scripted prompter, and a hook that sees each box before its answer is taken.
class HookedPrompter final : public gui::TScriptedPrompter {
  public:
    std::function<void(const std::string& text)> onMessage;
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        if (onMessage) onMessage(request.Text);
        return TScriptedPrompter::ShowMessageBox(request);
    }
};

// The program in a temporary folder, hidden (no boxes) unless asked otherwise, with a job
// file Daily.dat. onTick runs at every tick of the program's one-second timer, that is inside
// every wait of a job.
struct HostedProgram : testsupport::ProgramSite<HookedShell> {
    explicit HostedProgram(bool hidden = true) {
        program = std::make_unique<ui::TProgram>(environment);
        program->Start();
        form = program->MainForm();
        form->StartUpDone = true;
        form->JobAttributes = &attributes;
        program->Flags().Hidden = hidden;
        // These tests run jobs to folders and drives: a disc step stand-in hands each volume
        // straight back.
        form->OnDiscStep = [this](bool) { PostMessageA(form->Handle(), ui::WM_CONTINUE_JOB, 0, 0); };
        const std::function<void()> tick = form->OnBurnStatusTick;
        form->OnBurnStatusTick = [this, tick] {
            if (tick) tick();
            if (onTick) onTick();
        };
    }
    ~HostedProgram() { program.reset(); }
    void WriteJob(const job::JobDefinition& job) {
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(job, {}));
        form->LoadJob("Daily.dat");
    }
    // The start, then every step the queue brings, until the job has ended; quitSeen tells
    // whether the program ended itself meanwhile.
    void RunJob() {
        form->StartBackupJob();
        for (int round = 0; round < 10'000 && form->Session.Running(); ++round)
            quitSeen |= testsupport::DrainQueue();
        quitSeen |= testsupport::DrainQueue();
    }
    std::string ProgramLog() { return ReadWholeFile(programFolder / "tarnwick.log"); }
    size_t JobEnds(const std::string& postProgram) const {
        size_t ends = 0;
        for (const gui::TShellCall& call : shell.Calls())
            ends += call.Target == postProgram;
        return ends;
    }

    HookedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    HookedAttributes attributes;
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
    std::function<void()> onTick;
    bool quitSeen = false;
};

// clip0.bin on: `count` files of 900,000 random bytes in the source, each with its archive bit.
inline void WriteClips(HostedProgram& hosted, const TempFolder& source, int count, std::mt19937& random,
                       size_t size = 900'000) {
    for (int i = 0; i < count; ++i)
        WriteRandom(source / ("clip" + std::to_string(i) + ".bin"), size, random);
    hosted.attributes.AddTree(source.Path());
}

// The source's files to the destination in stored 4 MiB volumes (four clips fill one), clearing
// archive bits.
inline job::JobDefinition ClearingJob(const std::string& destination, const TempFolder& source) {
    job::JobDefinition daily;
    daily.Destination = destination;
    daily.ZipSizeText = "4";
    daily.CompressionLevel = 0;
    daily.ClearArchiveBit = true;
    daily.IncludeList = {source.Path() + "*.*"};
    return daily;
}

// A job of one small file to the program folder's "dest", run so that the form has the runner
// whose seams a test sets before its own run; the volume and the file are gone again.
inline void RunForTheRunner(HostedProgram& hosted, const TempFolder& source) {
    WriteWholeFile(source / "first.txt", "the job that makes the runner");
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    hosted.RunJob();
    std::filesystem::remove_all(daily.Destination);
    DeleteFileA((source / "first.txt").c_str());
}

// The runner's first archive file opened goes to a File over it (a medium that misbehaves),
// the others as they are.
template <class File> void FirstFileOn(job::JobRunner& runner) {
    runner.OutputFile =
        [opened = 0](std::unique_ptr<zip::TSinkFile> file) mutable -> std::unique_ptr<zip::TSinkFile> {
        if (++opened > 1) return file;
        return std::make_unique<File>(std::move(file));
    };
}

// The files the volumes (".zip") in the folder hold, by their path on C:, added to `held`;
// every volume is tested.
inline void AddHeld(const std::string& folder, std::map<std::string, int>& held) {
    for (const std::string& zipName : ZipsIn(folder)) {
        if (!zipName.ends_with(".zip")) continue;
        EXPECT_TRUE(ZipIsSound(folder + zipName)) << folder << zipName;
        for (const std::string& name : EntriesOf(folder + zipName))
            ++held["C:\\" + name];
    }
}

// A folder under build/peer-volumes, emptied, where the native peers find what a Wine test
// left for them.
inline std::filesystem::path PeerFolder(const std::string& name) {
    const std::filesystem::path peers =
        std::filesystem::path("Z:" + std::string(TW_SOURCE_DIR)) / "build" / "peer-volumes" / name;
    std::filesystem::remove_all(peers);
    std::filesystem::create_directories(peers);
    return peers;
}

} // namespace hostedjob
