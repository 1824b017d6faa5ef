// A console driver of the unzip component for peer tests run under Wine:
//   zipdrv list A
//   zipdrv test A [-p PW]
//   zipdrv extract A DEST [-p PW] [-o always|never|newer|older] [-d] [-r ROOTDIR] [-m MASK]...
// Common: --answer ok|cancel (what every prompt is answered; cancel by default).
// Exit 0 when all went well, 1 after a skipped or failed entry or a failed test, 2 on an
// exception ("error: CLASS: TEXT").

#include "gui/Prompter.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLibWin.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class TDriverPrompter : public gui::TPrompter {
  public:
    bool answerOk = false;
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        std::printf("prompt: %s\n", request.Text.c_str());
        std::fflush(stdout);
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
#undef TW_CLASS
    return "Exception";
}

int Usage() {
    std::fprintf(stderr, "usage: zipdrv list|test|extract ARCHIVE [DEST] [options]\n");
    return 2;
}

int Run(int argc, char** argv, TDriverPrompter& prompter) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    zip::TWinExtractFileSystem files;
    zip::TUnZipper z(files);
    z.SetZipName(argv[2]);
    int next = 3;
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
        } else if (option == "--answer" && hasValue) {
            prompter.answerOk = std::strcmp(argv[++i], "ok") == 0;
        } else {
            return Usage();
        }
    }

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
    TDriverPrompter prompter;
    gui::TPrompterScope scope(prompter);
    zip::SetNameConverters(zip::SystemNameConverters());
    try {
        const int code = Run(argc, argv, prompter);
        std::fflush(stdout);
        return code;
    } catch (const std::exception& e) {
        std::printf("error: %s: %s\n", ClassOf(e), e.what());
        std::fflush(stdout);
        return 2;
    }
}
