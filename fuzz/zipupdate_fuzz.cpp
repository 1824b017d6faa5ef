// Archives of any bytes updated in memory: one entry is zipped from a stream into the archive
// (its old entries copied, an entry of the same name replaced), then the first entry is
// deleted. Hostile offsets and sizes of the old entries must end in the component's own
// exceptions, never in a crash or a read out of bounds; and whenever an update succeeds, the
// archive it wrote must have a directory that reads back.
#include "gui/Prompter.h"
#include "zip/ZipCodecErrors.h"
#include "zip/Zipper.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

class TNoFiles : public zip::TExtractFileSystem {
  public:
    std::unique_ptr<gui::TStream> OpenRead(const std::string&) override { return nullptr; }
    std::optional<gui::DateTime> FileDate(const std::string&) override { return std::nullopt; }
    bool DirectoryExists(const std::string&) override { return false; }
    bool ForceDirectories(const std::string&) override { return false; }
    std::unique_ptr<gui::TStream> CreateTemp(const std::string&, std::string&) override { return nullptr; }
    bool Replace(const std::string&, const std::string&, bool) override { return false; }
    void Delete(const std::string&) override {}
    void SetDate(const std::string&, uint32_t) override {}
    void SetAttributes(const std::string&, uint32_t) override {}
    std::string SystemTempPath() override { return {}; }
};

class TNoOutputFiles : public zip::TZipperFileSystem {
  public:
    std::optional<zip::TSourceInfo> Info(const std::string&) override { return std::nullopt; }
    std::unique_ptr<gui::TStream> OpenSource(const std::string&) override { return nullptr; }
    void Search(const std::string&, bool, const std::string&,
                const std::function<bool(const std::string&, int64_t)>&) override {}
    std::unique_ptr<zip::TSinkFile> OpenOutput(const std::string& name, bool, const std::string&) override {
        throw gui::Exception("No output file here: " + name);
    }
    std::unique_ptr<gui::TStream> CreateWorkFile(const std::string&) override { return nullptr; }
    std::unique_ptr<gui::TStream> OpenReadWrite(const std::string&) override { return nullptr; }
    bool DeleteFile(const std::string&) override { return false; }
    bool RenameFile(const std::string&, const std::string&) override { return false; }
    bool CopyFile(const std::string&, const std::string&) override { return false; }
    bool SetAttributes(const std::string&, uint32_t) override { return false; }
    std::string ShortName(const std::string& path) override { return path; }
    int64_t DiskFree(const std::string&) override { return 0; }
    bool SetVolumeLabel(const std::string&, const std::string&) override { return false; }
    uint32_t VolumeSerial(const std::string&) override { return 0; }
};

class TQuietPrompter : public gui::TPrompter {
  public:
    int ShowMessageBox(const gui::TMessageBoxRequest&) override { return gui::mrCancel; }
    gui::TFileDialogAnswer FileDialog(const gui::TFileDialogRequest&) override { return {}; }
    gui::TFolderAnswer BrowseForFolder(const gui::TFolderRequest&) override { return {}; }
    int ShowModal(const gui::TModalRequest&) override { return gui::mrCancel; }
    int TrackPopup(const gui::TPopupRequest&) override { return 0; }
};

// The directory of what an update wrote must read back, unless an end signature lies in
// more than one place (an archive comment kept from the input may hold one, and the reader
// takes the last).
void ExpectReadable(TNoFiles& files, gui::TMemoryStream& archive) {
    const std::string_view bytes(reinterpret_cast<const char*>(archive.Memory()), size_t(archive.Size()));
    const std::string_view signature("PK\x05\x06", 4);
    if (bytes.find(signature) != bytes.rfind(signature)) return;
    zip::TUnZipper reader(files);
    reader.SetArchiveStream(&archive);
    try {
        reader.Count();
    } catch (const zip::EZipError&) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietPrompter prompter;
    gui::TPrompterScope scope(prompter);
    TNoFiles files;
    TNoOutputFiles output;
    gui::TMemoryStream archive;
    if (size) archive.WriteBuffer(data, size);
    zip::TZipper z(files, output);
    z.SetArchiveStream(&archive);
    z.IncompleteZipMode = zip::izAssumeBad;
    gui::TMemoryStream source;
    source.WriteBuffer("updated text", 12);
    try {
        if (z.ZipToStream(&source, "a.txt") == 1) ExpectReadable(files, archive);
    } catch (const gui::Exception&) {
    }
    try {
        if (z.Count() > 0) {
            z.SetSelected(0, true);
            if (z.DeleteSelected() == 1) ExpectReadable(files, archive);
        }
    } catch (const gui::Exception&) {
    }
    return 0;
}
