// The extraction run of TUnZipper: choose the entries, then for each one build its output
// name, check the password, apply the overwrite rule, decode through TEntryDecoder and check
// the result.
//
// A file is never decoded over an existing target. The entry goes into a new file beside it
// and replaces the target only when the decoder finished, the CRC matches and the length is
// the recorded one, so a damaged entry or a wrong password leaves an existing file as it was.
// A target that does not exist yet is written in place and dated while still open (one open
// per file instead of three); a failed entry deletes it, as it would delete the temporary.
//
// Testing is the same run with the decoder's testing target: no file, folder, prompt or
// overwrite rule is touched and nothing is allocated per entry.

#include "gui/CompareText.h"
#include "gui/Prompter.h"
#include "zip/Crc32.h"
#include "zip/UnZipper.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>

namespace zip {

class TRunEvents : public TEntryDecodeEvents {
  public:
    explicit TRunEvents(TUnZipper& z) : z_(z) {}
    void ProcessMessages() override { z_.ProcessMessagesHook(); }
    bool TakeCancel() override {
        const bool cancel = z_.cancel_;
        z_.cancel_ = false;
        return cancel;
    }
    gui::TStream* GetNextDisk(int volumeNumber) override {
        z_.GetNextDisk(volumeNumber);
        return z_.stream_;
    }
    void FilePercentDone(int percent) override {
        if (z_.OnFilePercentDone) z_.OnFilePercentDone(z_, percent);
    }
    void TotalPercentDone(int percent) override {
        if (z_.OnTotalPercentDone) z_.OnTotalPercentDone(z_, percent);
    }
    void GetNextBuffer(uint8_t*& buffer, const std::string& name, size_t amountUsed, int bufferNumber,
                       bool& quit) override {
        if (z_.OnGetNextBuffer) z_.OnGetNextBuffer(z_, buffer, name, amountUsed, bufferNumber, quit);
    }

  private:
    TUnZipper& z_;
};

class TExtractRun {
  public:
    // `done` counts the files written (or tested good) as they are, so a run that ends by an
    // exception still reports them.
    TExtractRun(TUnZipper& z, TUnZipper::TRunMode mode, bool testing, int& done)
        : z_(z), mode_(mode), testing_(testing), buffers_(new (std::nothrow) TDecodeBuffers), events_(z),
          decoder_(*buffers_, events_, progress_), done_(done) {
        if (!buffers_) throw EOutOfMemory("Not enough memory to unzip");
    }
    ~TExtractRun() { delete buffers_; }

    void Run(bool useSelected);

  private:
    bool InFileMode() const { return mode_ == TUnZipper::TRunMode::File && !testing_; }
    void UnZipFile(int index, TZipHeaderInfo& entry);
    bool ReadAcross(uint8_t* buffer, size_t count);
    bool PositionAtData(const TZipHeaderInfo& entry);
    bool CheckPassword(int index, TZipHeaderInfo& work, const TZipHeaderInfo& entry, TZipCrypt& crypt);
    bool KeepExisting(int index, const TZipHeaderInfo& work, std::string& fname);
    void Skip(TSkipReason reason, const std::string& name, int index, const TZipHeaderInfo& entry);
    // `passwordMayBeWrong`: the data were decrypted and came out wrong, which a wrong password
    // that passed the header check does; a damaged header is not the password's fault.
    void Failed(int index, TZipHeaderInfo& entry, const TEntryDecodeResult& result, bool passwordMayBeWrong);
    // A test names the entries as stored: no destination, folders kept.
    TOutputNameRule Rule() const {
        return testing_ ? TOutputNameRule{"", z_.rootDir_, true}
                        : TOutputNameRule{z_.destDir_, z_.rootDir_, z_.RecreateDirs};
    }

    TUnZipper& z_;
    TUnZipper::TRunMode mode_;
    bool testing_;
    TDecodeBuffers* buffers_;
    TRunEvents events_;
    TRunProgress progress_;
    TEntryDecoder decoder_;
    // The folder the last file went to: entries of one folder come together, and asking for
    // it again per file is a system call each under Wine.
    std::string lastFolder_;
    int filesToDo_ = 0;
    int& done_;
    bool retry_ = false;
};

namespace {

bool MatchesList(const gui::TStringList& list, const std::string& name) {
    const std::string upper = gui::UpperCaseI(name);
    for (int i = 0; i < list.Count(); ++i)
        if (IsMatch(gui::UpperCaseI(list[i]), upper)) return true;
    return false;
}

std::string FolderOf(const std::string& name) {
    const size_t slash = name.find_last_of('\\');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

// File attributes a Windows file system keeps: read-only, hidden, system, archive.
constexpr uint32_t kRestoredAttributes = 0x27;
constexpr uint32_t kArchiveAttribute = 0x20;

} // namespace

void TExtractRun::Run(bool useSelected) {
    TSortedZip& view = z_.view_ ? *z_.view_ : *z_.master_;
    filesToDo_ = 0;
    for (int i = 0; i < view.Count(); ++i) {
        TZipHeaderInfo& entry = *view.Entry(i);
        const bool isFolder = entry.Filename().empty();
        entry.ExtractMark = z_.DoAll ? 1 : 0;
        if (isFolder && !z_.RecreateDirs && !testing_) {
            entry.ExtractMark = 0;
            continue;
        }
        if (!z_.DoAll) {
            if (useSelected) {
                entry.ExtractMark = entry.Selected;
                if (entry.Selected) --z_.numSelected_;
                entry.Selected = 0;
            } else {
                entry.ExtractMark = MatchesList(z_.FilesList, entry.Directory() + entry.Filename()) ? 1 : 0;
            }
        }
        if (!entry.ExtractMark) continue;
        if (isFolder) {
            if (testing_) {
                // A folder holds no data to check: it is good as it stands.
                entry.TestState = 1;
                ++done_;
            } else if (mode_ == TUnZipper::TRunMode::File) {
                const std::string folder = OutputFolder(Rule(), z_.ConvertName(entry.Directory()));
                if (!folder.empty() &&
                    (z_.files_.DirectoryExists(folder) || z_.files_.ForceDirectories(folder))) {
                    if (z_.RetainAttributes)
                        z_.files_.SetAttributes(folder,
                                                0x10 | (entry.ExternalAttributes & kRestoredAttributes));
                    ++done_;
                }
            }
            entry.ExtractMark = 0;
            continue;
        }
        ++filesToDo_;
        progress_.totalBytes += entry.UncompressedSize;
    }
    bool stop = false;
    if (z_.OnStartUnZipInfo) z_.OnStartUnZipInfo(z_, filesToDo_, progress_.totalBytes, stop);
    if (filesToDo_ > 0 && !stop)
        for (int i = 0; i < view.Count(); ++i) {
            if (!view.Entry(i)->ExtractMark) continue;
            do
                UnZipFile(i, *view.Entry(i));
            while (retry_);
        }
}

bool TExtractRun::ReadAcross(uint8_t* buffer, size_t count) {
    size_t got = z_.stream_->Read(buffer, count);
    while (got < count) {
        if (z_.numVolumes_ <= 1) return false;
        z_.GetNextDisk(z_.currentVolume_ + 2);
        const size_t more = z_.stream_->Read(buffer + got, count - got);
        if (more == 0) return false;
        got += more;
    }
    return true;
}

// Reads the local header and steps over its name and extra field, volume by volume.
bool TExtractRun::PositionAtData(const TZipHeaderInfo& entry) {
    if (z_.numVolumes_ > 1 && entry.DiskNumberStart != z_.currentVolume_)
        z_.GetNextDisk(entry.DiskNumberStart + 1);
    if (z_.stream_->Seek(entry.RelativeOffset, gui::TSeekOrigin::soBeginning) != entry.RelativeOffset)
        return false;
    uint8_t header[LocalHeaderSize];
    if (!ReadAcross(header, sizeof header)) return false;
    uint32_t signature;
    std::memcpy(&signature, header, 4);
    if (signature != Signatures().local) return false;
    size_t skip = size_t(header[26] | header[27] << 8) + size_t(header[28] | header[29] << 8);
    while (skip > 0) {
        const size_t n = skip < kInputBufferSize ? skip : kInputBufferSize;
        if (!ReadAcross(buffers_->input, n)) return false;
        skip -= n;
    }
    return true;
}

void TExtractRun::Skip(TSkipReason reason, const std::string& name, int index, const TZipHeaderInfo& entry) {
    bool ignoredRetry = false;
    if (z_.OnSkippingFile) z_.OnSkippingFile(z_, reason, name, index, ignoredRetry);
    progress_.totalBytes -=
        entry.UncompressedSize < progress_.totalBytes ? entry.UncompressedSize : progress_.totalBytes;
    --filesToDo_;
}

bool TExtractRun::CheckPassword(int index, TZipHeaderInfo& work, const TZipHeaderInfo& entry,
                                TZipCrypt& crypt) {
    const int volume = z_.currentVolume_;
    const int64_t at = z_.stream_->Position();
    for (;;) {
        TDecodeSource source{&work, z_.stream_, z_.currentVolume_, z_.numVolumes_ > 1, nullptr, false};
        const uint8_t check = decoder_.ReadEncryptionHeader(source, crypt, z_.Password);
        if (check == EncryptionCheckByte(entry.Crc32, entry.LastModFileDateTime, entry.HasDataDescriptor()))
            return true;
        std::string newPassword = z_.Password;
        if (z_.OnBadPassword) z_.OnBadPassword(z_, index, newPassword);
        if (newPassword.empty() || newPassword == z_.Password) {
            Skip(srBadPassword, entry.Directory() + entry.Filename(), index, entry);
            return false;
        }
        z_.Password = newPassword;
        work.CompressedSize = entry.CompressedSize;
        if (z_.currentVolume_ != volume) z_.GetNextDisk(volume + 1);
        z_.stream_->SetPosition(at);
    }
}

bool TExtractRun::KeepExisting(int index, const TZipHeaderInfo& work, std::string& fname) {
    if (!InFileMode() || z_.OverwriteMode == Always) return false;
    const std::optional<gui::DateTime> existing = z_.files_.FileDate(fname);
    if (!existing) return false;
    // At DOS precision: a file that went through a zip and back differs by up to a second.
    const int existingVsEntry = CompareDosTime(*existing, work.LastModFileDateTime);
    bool overwrite = false;
    switch (z_.OverwriteMode) {
    case Prompt:
        if (z_.OnPromptForOverwrite) {
            z_.OnPromptForOverwrite(z_, overwrite, index, fname);
        } else {
            gui::TMessageBoxRequest request;
            request.Caption = "File Exists Alert";
            request.Text = "Replace existing file " + z_.ConvertName(work.Filename()) + "?";
            request.Buttons = gui::TMsgButtons::YesNo;
            overwrite = gui::Prompter().MessageBox(request) == gui::mrYes;
        }
        break;
    case ifNewer:
        overwrite = existingVsEntry < 0;
        break;
    case ifOlder:
        overwrite = existingVsEntry > 0;
        break;
    default:
        break;
    }
    if (overwrite) return false;
    Skip(srKeepExisting, fname, index, work);
    return true;
}

void TExtractRun::Failed(int index, TZipHeaderInfo& entry, const TEntryDecodeResult& result,
                         bool passwordMayBeWrong) {
    entry.TestState = 2;
    if (entry.IsEncrypted() && passwordMayBeWrong) {
        std::string newPassword = z_.Password;
        if (z_.OnBadPassword) z_.OnBadPassword(z_, index, newPassword);
        if (!newPassword.empty() && newPassword != z_.Password) {
            z_.Password = newPassword;
            retry_ = true;
            return;
        }
        bool ignoredRetry = false;
        if (z_.OnSkippingFile)
            z_.OnSkippingFile(z_, srBadPassword, entry.Directory() + entry.Filename(), index, ignoredRetry);
    } else if (z_.OnBadCRC) {
        z_.OnBadCRC(z_, result.crc32, entry.Crc32, index);
    }
    --filesToDo_;
}

void TExtractRun::UnZipFile(int index, TZipHeaderInfo& entry) {
    retry_ = false;
    TZipHeaderInfo work;
    work.Assign(entry);
    std::string fname = OutputName(Rule(), z_.ConvertName(work.Directory()), z_.ConvertName(work.Filename()));
    if (z_.OnStartUnZip) {
        bool skip = false;
        z_.OnStartUnZip(z_, index, fname, skip);
        if (skip) return;
    }
    if (InFileMode()) {
        const std::string folder = FolderOf(fname);
        if (!folder.empty() && folder != lastFolder_) {
            if (z_.files_.DirectoryExists(folder) || z_.files_.ForceDirectories(folder)) lastFolder_ = folder;
        }
    }
    // A damaged local header, or an encrypted entry too short for its encryption header.
    if (!PositionAtData(work) || (work.IsEncrypted() && work.CompressedSize < kEncryptionHeaderSize)) {
        Failed(index, entry, TEntryDecodeResult{true, TDecodeStatus::BadData, 0, 0}, false);
        return;
    }
    TZipCrypt crypt;
    if (work.IsEncrypted() && !CheckPassword(index, work, entry, crypt)) return;
    if (KeepExisting(index, work, fname)) return;

    TDecodeTarget target;
    target.name = work.Directory() + work.Filename();
    // The file written for the entry: the target itself when it is new, else a temporary.
    std::unique_ptr<gui::TStream> out;
    std::string outName;
    bool inPlace = false;
    std::unique_ptr<uint8_t[]> taken;
    switch (testing_ ? TUnZipper::TRunMode::Memory : mode_) {
    case TUnZipper::TRunMode::File:
        out = z_.files_.CreateTarget(fname);
        if (out) {
            inPlace = true;
            outName = fname;
        } else {
            out = z_.files_.CreateTemp(fname, outName);
        }
        if (!out) {
            Skip(srCantCreateOutput, fname, index, work);
            return;
        }
        target.kind = TOutputKind::Stream;
        target.stream = out.get();
        break;
    case TUnZipper::TRunMode::Stream:
        target.kind = TOutputKind::Stream;
        target.stream = z_.outStream_;
        break;
    case TUnZipper::TRunMode::Memory:
        if (testing_) break;
        target.kind = TOutputKind::Memory;
        if (z_.callerBuffer_ == nullptr) {
            taken.reset(new (std::nothrow) uint8_t[work.UncompressedSize ? work.UncompressedSize : 1]);
            if (!taken) throw EOutOfMemory("Not enough memory for " + target.name);
        }
        target.buffer = z_.callerBuffer_ ? z_.callerBuffer_ : taken.get();
        target.bytesFree = target.pieceSize = work.UncompressedSize;
        break;
    }

    TDecodeSource source{&work,
                         z_.stream_,
                         z_.currentVolume_,
                         z_.numVolumes_ > 1,
                         work.IsEncrypted() ? &crypt : nullptr,
                         z_.DoProcessMessages};
    TEntryDecodeResult result;
    std::exception_ptr failure;
    try {
        if (IsKnownMethod(work.CompressionMethod)) {
            result = decoder_.Decode(source, target);
        } else {
            result.methodKnown = false;
            gui::TMessageBoxRequest request;
            request.Caption = "Zip Error";
            request.Text = "Unknown Compression Method";
            gui::Prompter().MessageBox(request);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure || !result.Good(entry)) {
        // Nothing that existed before is lost: a temporary, or a target that was not there.
        if (out) {
            out.reset();
            z_.files_.Delete(outName);
        }
        if (failure) std::rethrow_exception(failure);
        Failed(index, entry, result, true);
        return;
    }
    if (out) {
        const uint32_t date = FixDosDateTime(work.LastModFileDateTime);
        const bool dated = z_.files_.SetOpenFileDate(*out, date);
        out.reset();
        if (!dated) z_.files_.SetDate(outName, date);
        if (!inPlace && !z_.files_.Replace(outName, fname, z_.ReplaceReadOnly)) {
            z_.files_.Delete(outName);
            Skip(srCantCreateOutput, fname, index, work);
            return;
        }
        // A new file has the archive bit and nothing else already.
        const uint32_t attributes = entry.ExternalAttributes & kRestoredAttributes;
        if (z_.RetainAttributes && !(inPlace && attributes == kArchiveAttribute))
            z_.files_.SetAttributes(fname, attributes);
    }
    if (taken) z_.takenBuffer_ = std::move(taken);
    entry.TestState = 1;
    if (z_.OnEndUnZip) z_.OnEndUnZip(z_, index, fname);
    ++done_;
}

int TUnZipper::Extract(TRunMode mode, bool testing, bool useSelected) {
    busy_ = true;
    cancel_ = false;
    const bool keepOpen = KeepZipOpen;
    KeepZipOpen = true;
    const TZipSortMode oldSort = sortMode_;
    int done = 0;
    try {
        OpenZip();
        if (mode == TRunMode::File && !testing && !destDir_.empty() && !files_.DirectoryExists(destDir_))
            files_.ForceDirectories(destDir_);
        // Spanned volumes are visited in archive order.
        if (numVolumes_ > 1 && oldSort != ByNone) Sort(ByNone);
        TExtractRun run(*this, mode, testing, done);
        run.Run(useSelected);
    } catch (...) {
        FilesList.Clear();
        if (sortMode_ != oldSort) Sort(oldSort);
        if (OnUnZipComplete) OnUnZipComplete(*this, done);
        KeepZipOpen = keepOpen;
        CloseZip();
        busy_ = cancel_ = false;
        throw;
    }
    FilesList.Clear();
    if (sortMode_ != oldSort) Sort(oldSort);
    if (OnUnZipComplete) OnUnZipComplete(*this, done);
    KeepZipOpen = keepOpen;
    CloseZip();
    busy_ = cancel_ = false;
    return done;
}

int TUnZipper::UnZip() {
    if (destDir_ == "?") return 0;
    return Extract(TRunMode::File, false, false);
}

int TUnZipper::UnZipSelected() {
    if (destDir_ == "?") return 0;
    return Extract(TRunMode::File, false, true);
}

int TUnZipper::UnZipToStream(gui::TStream* stream, const std::string& name) {
    std::string trimmed = name;
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back())))
        trimmed.pop_back();
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front())))
        trimmed.erase(trimmed.begin());
    if (stream == nullptr || trimmed.empty()) return 0;
    FilesList.Clear();
    FilesList.Add(trimmed);
    outStream_ = stream;
    const int done = Extract(TRunMode::Stream, false, false);
    outStream_ = nullptr;
    return done;
}

int TUnZipper::UnZipToBuffer(std::unique_ptr<uint8_t[]>& buffer, int index) {
    FilesList.Clear();
    if (index >= 0) SetSelected(index, true);
    callerBuffer_ = buffer.get();
    takenBuffer_.reset();
    int done = 0;
    try {
        done = Extract(TRunMode::Memory, false, !DoAll);
    } catch (...) {
        callerBuffer_ = nullptr;
        throw;
    }
    callerBuffer_ = nullptr;
    if (takenBuffer_) buffer = std::move(takenBuffer_);
    return done;
}

bool TUnZipper::TestArchive() {
    const bool doAll = DoAll;
    DoAll = true;
    int good = 0;
    try {
        good = Extract(TRunMode::Memory, true, false);
    } catch (...) {
        DoAll = doAll;
        throw;
    }
    DoAll = doAll;
    return good == Count();
}

bool TUnZipper::TestEntry(int index) {
    TZipHeaderInfo* entry = Entry(index);
    if (entry->TestState != 0) return entry->TestState == 1;
    const bool doAll = DoAll;
    DoAll = false;
    SetSelected(index, true);
    try {
        Extract(TRunMode::Memory, true, true);
    } catch (...) {
        DoAll = doAll;
        throw;
    }
    DoAll = doAll;
    return Entry(index)->TestState == 1;
}

} // namespace zip
