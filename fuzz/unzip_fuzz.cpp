// Archives of any bytes through the unzip component over memory: the directory is read (end
// record, central records, or the local-header walk), every entry is tested, the comments are
// read, and every entry is extracted into a stream. Then the bytes, cut in two at a point the
// first byte chooses, are an archive without end record and its directory side file. Nothing
// may crash, hang or read out of bounds; the component's own exceptions are the expected
// answers to bad input.
#include "gui/Prompter.h"
#include "zip/UnZipper.h"

#include <cstddef>
#include <cstdint>

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

// The input cut in two: an archive and its directory side file, found by name.
class TArchiveAndSideFile : public TNoFiles {
  public:
    gui::TMemoryStream archive, side;
    std::unique_ptr<gui::TStream> OpenRead(const std::string& name) override {
        gui::TMemoryStream& source = name.ends_with(".zip") ? archive : side;
        if (!name.ends_with(".zip") && !name.ends_with(".zfc")) return nullptr;
        auto copy = std::make_unique<gui::TMemoryStream>();
        if (source.Size() > 0) copy->WriteBuffer(source.Memory(), static_cast<size_t>(source.Size()));
        copy->SetPosition(0);
        return copy;
    }
};

class TQuietPrompter : public gui::TPrompter {
  public:
    int ShowMessageBox(const gui::TMessageBoxRequest&) override { return gui::mrCancel; }
    gui::TFileDialogAnswer FileDialog(const gui::TFileDialogRequest&) override { return {}; }
    gui::TFolderAnswer BrowseForFolder(const gui::TFolderRequest&) override { return {}; }
    int ShowModal(const gui::TModalRequest&) override { return gui::mrCancel; }
    int TrackPopup(const gui::TPopupRequest&) override { return 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietPrompter prompter;
    gui::TPrompterScope scope(prompter);
    TNoFiles files;
    gui::TMemoryStream archive;
    if (size) archive.WriteBuffer(data, size);
    zip::TUnZipper z(files);
    z.SetArchiveStream(&archive);
    z.IncompleteZipMode = zip::izAssumeBad;
    z.Password = "pw";
    try {
        z.TestArchive();
        for (int i = 0; i < z.Count(); ++i)
            z.FileComment(i);
        z.ZipComment();
        gui::TMemoryStream out;
        z.UnZipToStream(&out, "*");
        if (static_cast<uint64_t>(out.Size()) > static_cast<uint64_t>(z.Count()) * 0xFFFFFFFFull)
            __builtin_trap();
    } catch (const zip::EZipError&) {
    }

    // The same bytes as an archive without end record and a side file beside it.
    if (size < 2) return 0;
    TArchiveAndSideFile split;
    const size_t cut = 1 + (size - 1) * data[0] / 256;
    split.archive.WriteBuffer(data + 1, cut - 1);
    split.side.WriteBuffer(data + cut, size - cut);
    zip::TUnZipper named(split);
    named.SetZipName("A:\\set.zip");
    try {
        named.TestArchive();
        for (int i = 0; i < named.Count(); ++i)
            named.FileComment(i);
        named.ZipComment();
    } catch (const zip::EZipError&) {
    }
    return 0;
}
