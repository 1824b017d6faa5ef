#pragma once
// A portable file system for the zip (create) component's tests: real files through
// std::filesystem, plus the faults a test needs to play: a disk that fills up after so many
// output bytes, sources that cannot be opened for a while, attributes that keep a cleared
// archive bit (the native file systems have none), and per-"drive" free space, serial
// numbers and labels.

#include "UnZipperSupport.h"
#include "gui/ScriptedPrompter.h"
#include "zip/ZipperFiles.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ziptest {

// A read/write file stream over stdio with 64-bit positions and truncation.
std::unique_ptr<gui::TStream> OpenFileStream(const std::string& name, const char* mode);

class TStdZipperFiles : public zip::TZipperFileSystem {
  public:
    std::optional<zip::TSourceInfo> Info(const std::string& name) override;
    std::unique_ptr<gui::TStream> OpenSource(const std::string& name) override;
    bool OpensFromAnyThread() const override { return concurrentOpens; }
    void Search(const std::string& startPath, bool recurse, const std::string& mask,
                const std::function<bool(const std::string& name, int64_t size)>& found) override;
    std::unique_ptr<zip::TSinkFile> OpenOutput(const std::string& name, bool keepExisting,
                                               const std::string& stagingName) override;
    std::unique_ptr<gui::TStream> CreateWorkFile(const std::string& name) override;
    std::unique_ptr<gui::TStream> OpenReadWrite(const std::string& name) override;
    bool DeleteFile(const std::string& name) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    bool CopyFile(const std::string& from, const std::string& to) override;
    bool SetAttributes(const std::string& name, uint32_t attributes) override;
    std::string ShortName(const std::string& path) override;
    int64_t DiskFree(const std::string& root) override;
    bool SetVolumeLabel(const std::string& root, const std::string& label) override;
    uint32_t VolumeSerial(const std::string& root) override;

    // --- Faults and drives a test sets up ---
    // Lets the component read sources ahead on its own thread; only for tests that change
    // nothing of the file system while zipping (no hooks, no archive bits cleared).
    bool concurrentOpens = false;
    // Bytes the archive outputs (and their staging files) may still take; writes past it
    // come up short as on a full disk. Negative: no limit.
    int64_t outputRoom = -1;
    // A write past that room fails as Win32 fails it (ERROR_DISK_FULL), not short.
    bool fullDiskFails = false;
    // Opening these sources fails this many more times (-1: always).
    std::map<std::string, int> lockedSources;
    // Runs before every source is opened (a test can delete or grow the file here).
    std::function<void(const std::string& name)> beforeOpenSource;
    // Attributes set through SetAttributes, by native path; a file without an entry has the
    // archive bit set.
    std::map<std::string, uint32_t> attributes;
    std::map<std::string, int64_t> diskFree; // by root ("A:\"); others: a large number
    std::map<std::string, uint32_t> serials;
    std::map<std::string, std::string> labels;
    // Every output and work file opened, in order (native paths).
    std::vector<std::string> opened;
    std::vector<std::string> deleted;
};

// A removable drive A: whose disks are folders of 1440k, each with its own serial number and
// label; a prompt answered OK puts in the next disk of the script.
struct TFloppyDrive {
    std::vector<std::string> disks, labels;
    std::vector<uint32_t> serials;
    size_t inserted = 0;
    int64_t capacity = 1474560;
    std::vector<size_t> nextDisks;

    static bool OnDrive(const std::string& name) { return name.rfind("A:\\", 0) == 0; }
    std::string Map(const std::string& name) const {
        return OnDrive(name) ? disks[inserted] + "/" + name.substr(3) : name;
    }
    int64_t Free() const {
        int64_t used = 0;
        for (const auto& item : std::filesystem::directory_iterator(disks[inserted]))
            used += static_cast<int64_t>(item.file_size());
        return capacity - used;
    }
};

class TFloppyReader : public unziptest::TStdFileSystem {
  public:
    explicit TFloppyReader(TFloppyDrive& drive) : drive_(drive) {}
    std::unique_ptr<gui::TStream> OpenRead(const std::string& name) override {
        return TStdFileSystem::OpenRead(drive_.Map(name));
    }
    std::optional<gui::DateTime> FileDate(const std::string& name) override {
        return TStdFileSystem::FileDate(drive_.Map(name));
    }
    bool IsRemovableDrive(const std::string& name) override { return TFloppyDrive::OnDrive(name); }
    std::string VolumeLabel(const std::string&) override { return drive_.labels[drive_.inserted]; }

  private:
    TFloppyDrive& drive_;
};

class TFloppyWriter : public TStdZipperFiles {
  public:
    explicit TFloppyWriter(TFloppyDrive& drive) : drive_(drive) {}
    std::optional<zip::TSourceInfo> Info(const std::string& name) override {
        return TStdZipperFiles::Info(drive_.Map(name));
    }
    std::unique_ptr<gui::TStream> OpenReadWrite(const std::string& name) override {
        return TStdZipperFiles::OpenReadWrite(drive_.Map(name));
    }
    std::unique_ptr<zip::TSinkFile> OpenOutput(const std::string& name, bool keepExisting,
                                               const std::string& staging) override {
        if (TFloppyDrive::OnDrive(name)) {
            std::error_code error;
            if (!keepExisting) std::filesystem::remove(drive_.Map(name), error);
            outputRoom = drive_.Free();
        }
        return TStdZipperFiles::OpenOutput(drive_.Map(name), keepExisting, staging);
    }
    std::unique_ptr<gui::TStream> CreateWorkFile(const std::string& name) override {
        return TStdZipperFiles::CreateWorkFile(drive_.Map(name));
    }
    bool DeleteFile(const std::string& name) override {
        return TStdZipperFiles::DeleteFile(drive_.Map(name));
    }
    int64_t DiskFree(const std::string& root) override {
        return root == "A:\\" ? drive_.Free() : TStdZipperFiles::DiskFree(root);
    }
    bool SetVolumeLabel(const std::string& root, const std::string& label) override {
        if (root != "A:\\") return false;
        drive_.labels[drive_.inserted] = label;
        return true;
    }
    uint32_t VolumeSerial(const std::string& root) override {
        return root == "A:\\" ? drive_.serials[drive_.inserted] : 0;
    }

  private:
    TFloppyDrive& drive_;
};

class TDiskChanger : public gui::TScriptedPrompter {
  public:
    explicit TDiskChanger(TFloppyDrive& drive) : drive_(drive) {}
    std::function<void()> onPrompt; // sees the state of things while the user is asked
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        if (onPrompt) onPrompt();
        const int answer = gui::TScriptedPrompter::ShowMessageBox(request);
        if (answer == gui::mrOk && !drive_.nextDisks.empty()) {
            drive_.inserted = drive_.nextDisks.front();
            drive_.nextDisks.erase(drive_.nextDisks.begin());
        }
        return answer;
    }

  private:
    TFloppyDrive& drive_;
};

// Files left in a folder whose names end in one of the work-file extensions.
std::vector<std::string> WorkFilesIn(const std::string& folder);

} // namespace ziptest
