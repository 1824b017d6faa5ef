// A console driver of the unzip component for peer tests run under Wine:
//   zipdrv list A
//   zipdrv test A [-p PW]
//   zipdrv extract A DEST [-p PW] [-o always|never|newer|older] [-d] [-r ROOTDIR] [-m MASK]...
//   zipdrv zip A [-l N] [-p PW] [-P] [-R ROOTDIR] [-r] [-D] [-a update|replace|freshen] [-k]
//     [-s BYTES] [-S] [-z] [-t TEMPPATH] [-T] [-v] [-x MASK]... [-n MASK]... -- NAME...
//     (-P stored paths, -R relative paths, -r recurse, -D folder entries, -k keep the archive
//     open (append in place), -s split parts of BYTES, -S span disks, -z side file, -T staging
//     file, -v read-back); prints "added N", "zipname P", "volumes N".
// Common: --answer ok|cancel (what every prompt is answered; cancel by default);
//   --disks DIR1,DIR2,... [--first K]: the archive's drive becomes a removable drive holding
//   Unix folder K (default 1); a prompt for disk N puts folder N in the drive. Wine's mount
//   manager redefines the drive, which also makes Wine read the new folder's label.
// Exit 0 when all went well, 1 after a skipped or failed entry or a failed test, 2 on an
// exception ("error: CLASS: TEXT").

#include "WineDriveWinSupport.h"
#include "gui/Prompter.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLibWin.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <windows.h>

#include "gui/DriveType.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A removable drive whose disks are Unix folders; an empty folder removes the letter.
bool DefineUnixDrive(char letter, const std::string& folder) {
    return wintest::DefineUnixDrive(letter, folder, DRIVE_REMOVABLE);
}

class TDriverPrompter : public gui::TPrompter {
  public:
    bool answerOk = false;
    char driveLetter = 0;
    std::vector<std::string> disks;
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        std::printf("prompt: %s\n", request.Text.c_str());
        std::fflush(stdout);
        int disk = 0;
        if (answerOk && !disks.empty() &&
            std::sscanf(request.Text.c_str(), "Please insert disk %d of", &disk) == 1 && disk >= 1 &&
            disk <= static_cast<int>(disks.size()))
            DefineUnixDrive(driveLetter, disks[static_cast<size_t>(disk - 1)]);
        if (request.Buttons == gui::TMsgButtons::YesNo) return answerOk ? gui::mrYes : gui::mrNo;
        return answerOk ? gui::mrOk : gui::mrCancel;
    }
    gui::TFileDialogAnswer FileDialog(const gui::TFileDialogRequest&) override { return {}; }
    gui::TFolderAnswer BrowseForFolder(const gui::TFolderRequest&) override { return {}; }
    int ShowModal(const gui::TModalRequest&) override { return gui::mrCancel; }
    int TrackPopup(const gui::TPopupRequest&) override { return 0; }
};

const char* ClassOf(const std::exception& e) {
#define TW_CLASS(name)                                                                                       \
    if (dynamic_cast<const zip::name*>(&e)) return #name
    TW_CLASS(EUserCanceled);
    TW_CLASS(EFatalUnzipError);
    TW_CLASS(EBiggerThanUncompressed);
    TW_CLASS(ECantWriteUCF);
    TW_CLASS(ENotAZipFile);
    TW_CLASS(EIncompleteZip);
    TW_CLASS(EBadZipFile);
    TW_CLASS(EOutOfMemory);
    TW_CLASS(EListError);
    TW_CLASS(EZipError);
    TW_CLASS(ENotEnoughRoom);
    TW_CLASS(EDiscWriteError);
    TW_CLASS(EWrongFileSize);
#undef TW_CLASS
    return "Exception";
}

int Usage() {
    std::fprintf(stderr, "usage: zipdrv list|test|extract|zip ARCHIVE [DEST] [options]\n");
    return 2;
}

// The disk list of --disks: the archive's drive becomes a removable drive holding folder
// `first`; a request for disk N puts folder N in the drive.
bool TakeDisks(const std::string& list, int first, const char* archive, TDriverPrompter& prompter) {
    for (size_t start = 0; start <= list.size();) {
        const size_t comma = std::min(list.find(',', start), list.size());
        prompter.disks.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    if (first < 1 || first > static_cast<int>(prompter.disks.size())) return false;
    prompter.driveLetter = archive[0];
    if (!DefineUnixDrive(prompter.driveLetter, prompter.disks[static_cast<size_t>(first - 1)]))
        throw zip::EZipError("The test drive could not be defined");
    return true;
}

int RunZip(int argc, char** argv, TDriverPrompter& prompter) {
    zip::TWinExtractFileSystem files;
    zip::TWinZipperFileSystem output(gui::DriveTypeText);
    zip::TZipper z(files, output);
    z.SetZipName(argv[2]);
    std::string disks;
    int i = 3;
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "-l" && hasValue) {
            z.PackLevel = std::atoi(argv[++i]);
        } else if (option == "-p" && hasValue) {
            z.Password = argv[++i];
        } else if (option == "-P") {
            z.SetStorePaths(true);
        } else if (option == "-R" && hasValue) {
            z.SetRootDir(argv[++i]);
            z.SetRelativePaths(true);
        } else if (option == "-r") {
            z.Recurse = true;
        } else if (option == "-D") {
            z.AddDirEntriesOnRecurse = true;
        } else if (option == "-a" && hasValue) {
            const std::string action = argv[++i];
            z.ZipAction = action == "replace"   ? zip::zaReplace
                          : action == "freshen" ? zip::zaFreshen
                                                : zip::zaUpdate;
        } else if (option == "-k") {
            z.KeepZipOpen = true;
        } else if (option == "-s" && hasValue) {
            z.MultiZipInfo.MultiMode = zip::mmBlocks;
            z.MultiZipInfo.BlockSize = z.MultiZipInfo.FirstBlockSize =
                static_cast<uint32_t>(std::atol(argv[++i]));
        } else if (option == "-S") {
            z.MultiZipInfo.MultiMode = zip::mmSpan;
        } else if (option == "-z") {
            z.MultiZipInfo.SaveZipInfoOnFirstDisk = true;
        } else if (option == "-t" && hasValue) {
            z.TempPath = argv[++i];
        } else if (option == "-T") {
            z.UseTempFile = true;
        } else if (option == "-v") {
            z.WriteVerify = true;
        } else if (option == "-x" && hasValue) {
            z.ExcludeList.Add(argv[++i]);
        } else if (option == "-n" && hasValue) {
            z.NoCompressList.Add(argv[++i]);
        } else if (option == "--disks" && hasValue) {
            disks = argv[++i];
        } else {
            return Usage();
        }
    }
    for (; i < argc; ++i)
        z.FilesList.Add(argv[i]);
    if (!disks.empty() && !TakeDisks(disks, 1, argv[2], prompter)) return Usage();
    if (!prompter.disks.empty())
        z.OnGetNextDisk = [&prompter](zip::TUnZipper&, int disk, std::string& name) {
            // Disk 0 only says which disk holds an entry.
            if (disk == 0) return;
            std::printf("disk %d\n", disk);
            if (disk > static_cast<int>(prompter.disks.size())) {
                name.clear();
                return;
            }
            DefineUnixDrive(prompter.driveLetter, prompter.disks[static_cast<size_t>(disk - 1)]);
        };
    bool skipped = false;
    z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string& name, int, bool&) {
        std::printf("skip %d %s\n", static_cast<int>(reason), name.c_str());
        skipped = true;
    };
    z.OnNoSuchFile = [&](zip::TZipper&, const std::string& name) {
        std::printf("nosuchfile %s\n", name.c_str());
        skipped = true;
    };
    const int added = z.Zip();
    std::printf("added %d\nzipname %s\nvolumes %d\n", added, z.ZipName().c_str(), z.VolumesWritten());
    return skipped ? 1 : 0;
}

int Run(int argc, char** argv, TDriverPrompter& prompter) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    if (command == "zip") return RunZip(argc, argv, prompter);
    zip::TWinExtractFileSystem files;
    zip::TUnZipper z(files);
    z.SetZipName(argv[2]);
    int next = 3;
    int first = 1;
    std::string disks;
    if (command == "extract") {
        if (argc < 4) return Usage();
        z.SetDestDir(argv[3]);
        next = 4;
    }
    for (int i = next; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "-p" && hasValue) {
            z.Password = argv[++i];
        } else if (option == "-o" && hasValue) {
            const std::string mode = argv[++i];
            z.OverwriteMode = mode == "always"  ? zip::Always
                              : mode == "never" ? zip::Never
                              : mode == "newer" ? zip::ifNewer
                              : mode == "older" ? zip::ifOlder
                                                : zip::Prompt;
        } else if (option == "-d") {
            z.RecreateDirs = true;
        } else if (option == "-r" && hasValue) {
            z.SetRootDir(argv[++i]);
        } else if (option == "-m" && hasValue) {
            z.FilesList.Add(argv[++i]);
        } else if (option == "--disks" && hasValue) {
            disks = argv[++i];
        } else if (option == "--first" && hasValue) {
            first = std::atoi(argv[++i]);
        } else if (option == "--answer" && hasValue) {
            prompter.answerOk = std::strcmp(argv[++i], "ok") == 0;
        } else {
            return Usage();
        }
    }

    if (!disks.empty() && !TakeDisks(disks, first, argv[2], prompter)) return Usage();

    if (command == "list") {
        const int count = z.Count();
        for (int i = 0; i < count; ++i)
            std::printf("%d\t%s\t%u\t%u\t%08x\t%d\n", i, z.FullName(i).c_str(), z.UncompressedSize(i),
                        z.CompressedSize(i), z.Crc32(i), z.IsEncrypted(i) ? 1 : 0);
        std::printf("count %d\n", count);
        return 0;
    }
    if (command == "test") return z.TestArchive() ? 0 : 1;
    if (command != "extract") return Usage();

    bool failed = false;
    z.DoAll = z.FilesList.Count() == 0;
    z.OnEndUnZip = [](zip::TUnZipper&, int index, const std::string& name) {
        std::printf("end %d %s\n", index, name.c_str());
    };
    z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string& name, int, bool&) {
        std::printf("skip %d %s\n", static_cast<int>(reason), name.c_str());
        failed = true;
    };
    z.OnBadCRC = [&](zip::TUnZipper&, uint32_t, uint32_t, int index) {
        std::printf("badcrc %d\n", index);
        failed = true;
    };
    z.OnUnZipComplete = [](zip::TUnZipper&, int count) { std::printf("complete %d\n", count); };
    z.UnZip();
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    // The runtime writes a redirected stdout a byte at a time: a line per entry would cost more
    // than the entry.
    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    TDriverPrompter prompter;
    gui::TPrompterScope scope(prompter);
    zip::SetNameConverters(zip::SystemNameConverters());
    int code = 2;
    try {
        code = Run(argc, argv, prompter);
    } catch (const std::exception& e) {
        std::printf("error: %s: %s\n", ClassOf(e), e.what());
    }
    if (prompter.driveLetter) DefineUnixDrive(prompter.driveLetter, {});
    std::fflush(stdout);
    return code;
}
