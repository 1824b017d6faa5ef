#include "zip/UnZipper.h"

#include "gui/CompareText.h"
#include "gui/Prompter.h"
#include "zip/BlockReadStream.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipDirectory.h"
#include "zip/ZipLib.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace zip {

namespace {

const char* const kNotAZip = "Not a valid zip file!";
// A self-extracting archive's entries start after its program: the scan skips that much.
constexpr int64_t kSfxStubSize = 14000;

} // namespace

TUnZipper::TUnZipper(TExtractFileSystem& files) : files_(files), master_(std::make_unique<TSortedZip>(1)) {}

TUnZipper::~TUnZipper() {
    ClearZip();
}

void TUnZipper::SetZipName(const std::string& name) {
    if (gui::SameTextI(name, zipName_)) return;
    std::string chosen = name;
    if (!name.empty() && name.back() == '?') {
        gui::TFileDialogRequest request;
        request.Title = "Open a Zip File";
        request.Filter =
            "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*";
        const std::string folder = name.substr(0, name.find_last_of('\\') + 1);
        request.InitialDir = !folder.empty() && files_.DirectoryExists(folder) ? folder : "C:\\";
        const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
        if (!answer.Accepted || answer.Files.empty())
            throw EUserCanceled("User canceled setting zip file name.");
        chosen = answer.Files.front();
    }
    Forget();
    zipName_ = chosen;
    firstName_ = chosen;
}

void TUnZipper::SetDestDir(const std::string& dir) {
    if (dir == "?") {
        gui::TFolderRequest request;
        request.StartFolder = files_.DirectoryExists(destDir_) ? destDir_ : std::string(".");
        const gui::TFolderAnswer answer = gui::Prompter().BrowseForFolder(request);
        if (!answer.Accepted) throw EUserCanceled("User canceled Set Desination Directory");
        destDir_ = answer.Folder;
    } else {
        destDir_ = dir;
    }
    while (!destDir_.empty() && destDir_.back() == '\\')
        destDir_.pop_back();
}

void TUnZipper::SetRootDir(const std::string& dir) {
    rootDir_ = dir;
    if (!rootDir_.empty() && rootDir_.back() != '\\') rootDir_ += '\\';
}

void TUnZipper::Forget() {
    CloseZip(true);
    view_.reset();
    master_ = std::make_unique<TSortedZip>(1);
    end_.Clear();
    directoryRead_ = false;
    stamp_.reset();
    numSelected_ = 0;
    currentVolume_ = 0;
    numVolumes_ = 1;
}

void TUnZipper::ClearZip() {
    Forget();
    SetMultiMode(mmNone);
    if (callerStream_ == nullptr) {
        zipName_.clear();
        firstName_.clear();
    }
}

void TUnZipper::SetArchiveStream(gui::TStream* stream) {
    Forget();
    callerStream_ = stream;
}

TZipHeaderInfo* TUnZipper::Entry(int index) {
    OpenZip();
    CloseZip();
    return EntryInView(index);
}

TZipHeaderInfo* TUnZipper::EntryInView(int index) {
    TSortedZip& view = view_ ? *view_ : *master_;
    if (index < 0 || index >= view.Count())
        throw EListError("Index " + std::to_string(index) + " is out of range");
    return view.Entry(index);
}

int TUnZipper::Count() {
    OpenZip();
    CloseZip();
    return master_->Count();
}

std::string TUnZipper::ConvertName(const std::string& name) const {
    return oem_ ? OemToAnsiName(name) : name;
}

void TUnZipper::ForEachEntry(
    const std::function<void(int index, const std::string& pathname, const std::string& filename,
                             uint32_t dosDateTime)>& visit) {
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        const TZipHeaderInfo* e = EntryInView(i);
        visit(i, ConvertName(e->Directory()), ConvertName(e->Filename()), e->LastModFileDateTime);
    }
}

std::string TUnZipper::Filename(int index) {
    return ConvertName(Entry(index)->Filename());
}
std::string TUnZipper::Pathname(int index) {
    return ConvertName(Entry(index)->Directory());
}
std::string TUnZipper::FullName(int index) {
    const TZipHeaderInfo* e = Entry(index);
    return ConvertName(e->Directory() + e->Filename());
}
gui::DateTime TUnZipper::DateTime(int index) {
    return DosDateTimeToDateTime(Entry(index)->LastModFileDateTime).value_or(gui::CurrentClock().Now());
}
uint32_t TUnZipper::DosDateTime(int index) {
    return Entry(index)->LastModFileDateTime;
}
uint32_t TUnZipper::CompressedSize(int index) {
    return Entry(index)->CompressedSize;
}
uint32_t TUnZipper::UncompressedSize(int index) {
    return Entry(index)->UncompressedSize;
}
uint32_t TUnZipper::Crc32(int index) {
    return Entry(index)->Crc32;
}
bool TUnZipper::IsEncrypted(int index) {
    return Entry(index)->IsEncrypted();
}
bool TUnZipper::Selected(int index) {
    return Entry(index)->Selected != 0;
}
void TUnZipper::SetSelected(int index, bool on) {
    TZipHeaderInfo* e = Entry(index);
    if ((e->Selected != 0) == on) return;
    e->Selected = on ? 1 : 0;
    numSelected_ += on ? 1 : -1;
}

std::string TUnZipper::ReadText(gui::TStream& stream, int64_t position, size_t length) {
    // The position comes from the archive: one outside it is no comment.
    if (position < 0 || position > stream.Size()) return {};
    std::string text(length, '\0');
    if (stream.Seek(position, gui::TSeekOrigin::soBeginning) != position) return {};
    text.resize(stream.Read(text.data(), length));
    return text;
}

std::string TUnZipper::FileComment(int index) {
    TZipHeaderInfo* e = Entry(index);
    if (!e->FileComment() && e->HasComment()) {
        OpenZip();
        e->SetFileComment(ReadText(*stream_,
                                   int64_t(e->CentralOffset) + CentralHeaderSize + e->FilenameLength +
                                       e->CentralExtraLength,
                                   e->FileCommentLength));
        CloseZip();
    }
    return e->FileComment().value_or(std::string());
}

void TUnZipper::SetFileComment(int index, const std::string& comment) {
    Entry(index)->SetFileComment(comment);
    end_.Modified = 1;
}

void TUnZipper::SetZipComment(const std::string& comment) {
    OpenZip(); // a directory read later would forget the change
    CloseZip();
    end_.SetComment(comment);
    end_.Modified = 1;
}

std::string TUnZipper::ZipComment() {
    OpenZip();
    if (!end_.Comment() && end_.HasComment())
        end_.SetComment(ReadText(*stream_, end_.CommentPosition, end_.CommentLength));
    CloseZip();
    return end_.Comment().value_or(std::string());
}

void TUnZipper::ClearSelected() {
    for (int i = 0; i < master_->Count(); ++i)
        master_->Entry(i)->Selected = 0;
    numSelected_ = 0;
}

void TUnZipper::Sort(TZipSortMode mode) {
    view_.reset();
    sortMode_ = mode;
    if (mode == ByNone) return;
    view_ = std::make_unique<TSortedZip>(1);
    view_->OwnsObjects = false;
    view_->SortMode = mode;
    const int total = master_->Count();
    for (int i = 0; i < total; ++i) {
        view_->Add(master_->Entry(i));
        if (OnEndReadFileInfo) OnEndReadFileInfo(*this, total + i, total);
    }
}

TZipCursor TUnZipper::ShowCursor(TZipCursor cursor) {
    return Cursor ? Cursor(cursor) : TZipCursor::Default;
}

void TUnZipper::ReadZip() {
    cancel_ = false;
    const TZipCursor before = ShowCursor(TZipCursor::HourGlass);
    try {
        OpenZip();
    } catch (...) {
        ShowCursor(before);
        throw;
    }
    CloseZip();
    ShowCursor(before);
}

int64_t TUnZipper::ZipSize() {
    if (stream_ != nullptr) return stream_->Size();
    if (callerStream_ != nullptr) return callerStream_->Size();
    const std::unique_ptr<gui::TStream> archive = files_.OpenRead(zipName_);
    return archive ? archive->Size() : 0;
}

void TUnZipper::Loaded() {
    thisVersion_ = kThisVersion;
}

void TUnZipper::Assign(const TUnZipper& source) {
    if (&source == this) return;
    SetZipName(source.zipName_);
    destDir_ = source.destDir_;
    rootDir_ = source.rootDir_;
    Sort(source.sortMode_);
    RecreateDirs = source.RecreateDirs;
    OverwriteMode = source.OverwriteMode;
    FilesList.Assign(source.FilesList);
    DoAll = source.DoAll;
    IncompleteZipMode = source.IncompleteZipMode;
    KeepZipOpen = source.KeepZipOpen;
    DoProcessMessages = source.DoProcessMessages;
    RetainAttributes = source.RetainAttributes;
    ReplaceReadOnly = source.ReplaceReadOnly;
    FlushFilesOnClose = source.FlushFilesOnClose;
    UseTempFile = source.UseTempFile;
    SetCheckDiskLabels(source.GetCheckDiskLabels());
    TempPath = source.TempPath;
    Password = source.Password;
}

void TUnZipper::OpenZip() {
    // A spanned set's name shows whichever disk is in the drive: its date says nothing.
    const bool reread = !directoryRead_ || (callerStream_ == nullptr && numVolumes_ == 1 &&
                                            files_.FileDate(firstName_) != stamp_);
    if (reread && callerStream_ == nullptr && zipName_ != firstName_) {
        // The directory lives on the last volume, which carries the archive's own name.
        CloseZip(true);
        zipName_ = firstName_;
    }
    if (stream_ == nullptr) {
        if (callerStream_ != nullptr) {
            stream_ = callerStream_;
        } else {
            ownedStream_ = files_.OpenRead(zipName_);
            if (!ownedStream_) throw ENotAZipFile("Cannot open " + zipName_);
            stream_ = ownedStream_.get();
        }
    }
    if (reread) ReadDirectory();
}

void TUnZipper::CloseZip(bool force) {
    if (KeepZipOpen && !force && callerStream_ == nullptr) return;
    stream_ = nullptr;
    ownedStream_.reset();
}

void TUnZipper::ReadDirectory() {
    stamp_ = callerStream_ ? std::nullopt : files_.FileDate(firstName_);
    view_.reset();
    master_ = std::make_unique<TSortedZip>(1);
    numSelected_ = 0;
    end_.Clear();
    directoryRead_ = false;

    std::unique_ptr<gui::TStream> side;
    gui::TStream* dir = stream_;
    bool fromSide = false;
    // The records of a side file and of a set whose volumes change under us take their
    // comments with them: later, the archive in hand cannot give them.
    auto take = [this](TZipHeaderInfo& entry, gui::TStream& from, bool fetchComment) {
        oem_ = entry.VersionNeeded == 10;
        if (fetchComment && entry.HasComment()) {
            const int64_t after = from.Position();
            entry.SetFileComment(ReadText(from, after - entry.FileCommentLength, entry.FileCommentLength));
            from.SetPosition(after);
        }
    };
    if (!end_.FindEndCentral(*stream_)) {
        if (callerStream_ == nullptr) side = files_.OpenRead(ChangeFileExt(zipName_, ".zfc"));
        if (side) {
            fromSide = true;
            end_.Clear();
            if (!end_.FindEndCentral(*side)) {
                side->SetPosition(0);
                gui::TStream& records = *side;
                auto each = [this, &take, &records](TZipHeaderInfo& entry, int i) {
                    take(entry, records, true);
                    if (OnEndReadFileInfo) OnEndReadFileInfo(*this, i, i + 1); // the total is unknown
                };
                if (!ReadCentralToEnd(records, *master_, each)) {
                    Forget();
                    throw EBadZipFile(kNotAZip);
                }
                end_.TotalEntries = static_cast<uint16_t>(master_->Count());
                // No end record tells the number of volumes: the records do, and the disk in
                // hand is the first (it holds the side file).
                int lastDisk = 0;
                for (int i = 0; i < master_->Count(); ++i)
                    lastDisk = std::max<int>(lastDisk, master_->Entry(i)->DiskNumberStart);
                SetVolumes(lastDisk + 1, 0);
                directoryRead_ = true;
                Sort(sortMode_);
                return;
            }
            dir = side.get();
        } else {
            if (OnInCompleteZip) OnInCompleteZip(*this, IncompleteZipMode);
            if (IncompleteZipMode == izAssumeNotAZip) throw ENotAZipFile(kNotAZip);
            if (IncompleteZipMode == izAssumeMulti) throw EIncompleteZip("Incomplete Zip File");
            const bool exe = gui::UpperCaseI(zipName_).ends_with(".EXE");
            auto tick = [this] {
                ProcessMessagesHook();
                if (cancel_) {
                    cancel_ = false;
                    throw EUserCanceled("User Aborted Operation");
                }
            };
            if (WalkLocalHeaders(*stream_, exe ? kSfxStubSize : 0, *master_, end_, tick) == 0) {
                Forget();
                throw EBadZipFile(kNotAZip);
            }
            directoryRead_ = true;
            Sort(sortMode_);
            return;
        }
    }

    SetVolumes(end_.ThisDisk + 1, fromSide ? 0 : end_.ThisDisk);
    if (end_.TotalEntries > 0) {
        if (!fromSide && numVolumes_ > 1 && end_.StartDisk != currentVolume_) {
            GetNextDisk(end_.StartDisk + 1);
            dir = stream_;
        }
        // A single archive's records are read through blocks; volumes change streams midway.
        std::optional<TBlockReadStream> blocks;
        if (!fromSide && numVolumes_ == 1) dir = &blocks.emplace(*stream_);
        dir->SetPosition(fromSide ? 0 : end_.CentralOffset);
        TNextVolumeFunc next;
        if (numVolumes_ > 1 && !fromSide)
            next = [this]() -> gui::TStream* {
                GetNextDisk(currentVolume_ + 2);
                return stream_;
            };
        const int total = end_.TotalEntries;
        const bool fetchComments = numVolumes_ > 1 || fromSide;
        auto each = [this, total, &take, &dir, fetchComments](TZipHeaderInfo& entry, int i) {
            take(entry, *dir, fetchComments);
            if (OnEndReadFileInfo) OnEndReadFileInfo(*this, i, total);
        };
        const bool read = ReadCentralRecords(dir, total, *master_, next, each);
        if (blocks) {
            stream_->SetPosition(blocks->Position());
            dir = stream_;
        }
        if (!read) {
            master_ = std::make_unique<TSortedZip>(1);
            const bool walked =
                numVolumes_ == 1 && !fromSide && WalkLocalHeaders(*stream_, 0, *master_, end_, {}) > 0;
            if (!walked) {
                Forget();
                throw EBadZipFile(kNotAZip);
            }
        }
    }
    if (end_.HasComment() && fromSide) {
        end_.SetComment(ReadText(*side, end_.CommentPosition, end_.CommentLength));
    } else if (numVolumes_ > 1 && end_.HasComment()) {
        if (currentVolume_ != numVolumes_ - 1) GetNextDisk(numVolumes_);
        end_.SetComment(ReadText(*stream_, end_.CommentPosition, end_.CommentLength));
    }
    end_.Modified = 0;
    directoryRead_ = true;
    Sort(sortMode_);
}

void TUnZipper::SetVolumes(int count, int current) {
    numVolumes_ = count;
    currentVolume_ = current;
    if (count <= 1) {
        SetMultiMode(mmNone);
    } else {
        // Split parts beside the archive win over the drive's kind: a USB stick is removable.
        const bool partsBeside = files_.OpenRead(ChangeFileExt(zipName_, ".z01")) != nullptr;
        SetMultiMode(!partsBeside && files_.IsRemovableDrive(zipName_) ? mmSpan : mmBlocks);
    }
}

std::string TUnZipper::DefaultNextDiskName(int n) {
    if (MultiMode() == mmSpan) {
        gui::TMessageBoxRequest request;
        request.Text = "Please insert disk " + std::to_string(n) + " of the multi-disk set.";
        request.Buttons = gui::TMsgButtons::OKCancel;
        // The user has work to do: the normal cursor while asked.
        const TZipCursor before = ShowCursor(TZipCursor::Default);
        const bool inserted = gui::Prompter().MessageBox(request) == gui::mrOk;
        ShowCursor(before);
        return inserted ? firstName_ : std::string();
    }
    // The last part is the archive itself; the others are name.z01, name.z02, ...
    if (n == numVolumes_) return firstName_;
    char ext[16];
    std::snprintf(ext, sizeof ext, ".z%02d", n);
    return ChangeFileExt(firstName_, ext);
}

bool TUnZipper::LabelMatches(int n) {
    if (MultiMode() != mmSpan || !GetCheckDiskLabels()) return true;
    char number[8];
    std::snprintf(number, sizeof number, "%03d", n % 1000);
    return files_.VolumeLabel(zipName_).ends_with(number);
}

void TUnZipper::GetNextDisk(int n) {
    CloseZip(true);
    const char* const kRefused = "User canceled loading new disk.";
    // A handler that keeps naming a missing file would ask forever; a few tries are plenty.
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string fname = zipName_;
        if (OnGetNextDisk)
            OnGetNextDisk(*this, n, fname);
        else
            fname = DefaultNextDiskName(n);
        if (fname.empty()) throw EUserCanceled(kRefused);
        if (!LabelMatches(n)) continue;
        ownedStream_ = files_.OpenRead(fname);
        if (!ownedStream_) {
            // Parts on a fixed disk do not appear by asking again.
            if (MultiMode() != mmSpan && !OnGetNextDisk) break;
            continue;
        }
        stream_ = ownedStream_.get();
        currentVolume_ = n - 1;
        zipName_ = fname;
        return;
    }
    throw EUserCanceled(kRefused);
}

std::string TUnZipper::GetTempZipPath() {
    if (!TempPath.empty() && files_.DirectoryExists(TempPath))
        return TempPath.back() == '\\' ? TempPath : TempPath + '\\';
    return files_.SystemTempPath();
}

void TUnZipper::ProcessMessagesHook() {
    if (DoProcessMessages && OnProcessMessages) OnProcessMessages();
}

} // namespace zip
