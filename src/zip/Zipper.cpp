// The zip component's run: one Zip call from the list of names to a finished archive.
//
// A run resolves the list, opens the output (a new archive, the temporary archive of an
// update, or an existing archive appended in place), then adds one entry per name. Each
// entry is a local header with provisional sizes, the data (stored, or deflated by the
// compressor reading straight from the source through ReadInput), and the same header again
// with the final sizes and CRC. The header is patched where it lies: inside the sink's
// megabyte buffer or staging file while it is still there, or in the file itself once it was
// flushed; so sources are read exactly once (twice with a password, whose encryption header
// needs the CRC first) and the archive is never read back.
//
// Entries are limited by the format's 32-bit sizes and offsets and 16-bit counts. Nothing is
// allowed to wrap: a source of 4 GiB or more is skipped like one that cannot be opened, and
// an archive (or an entry of a volume set) that would pass 4 GiB or 65,535 entries ends with
// ENotEnoughRoom before the offending bytes are written. A source is read up to the size it
// had when it was opened, so a file that grows while it is zipped gives a consistent entry of
// its first bytes; a file that shrinks gives an entry of what could be read; an encrypted
// entry whose source changed between the CRC pass and the data pass fails the run (its header
// already carries the CRC).
//
// Whatever happens, the run ends the same way: work buffers freed, the output closed and, on
// failure, deleted (an update keeps the old archive; an append puts the old one back), work
// files removed, OnZipComplete raised, and the exception passed on.

#include "zip/Zipper.h"

#include "gui/Clock.h"
#include "gui/CompareText.h"
#include "zip/Crc32.h"
#include "zip/WriteBehindStream.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace zip {

namespace {

const char* const kUserCanceled = "User canceled Zip operation";
const char* const kUserAborted = "User Aborted Operation";

constexpr int64_t kMaxZipOffset = 0xFFFFFFFFll;
constexpr uint64_t kMaxEntrySize = 0xFFFFFFFFull;
constexpr int kMaxEntries = 0xFFFF;
constexpr uint32_t kStoreChunk = 32768;
constexpr uint32_t kReadChunk = 65535;
constexpr size_t kDirectoryChunk = kSinkBufferSize;
// Room kept on the first disk for the side file of a spanned set: a central record per name
// (with a stored path, or the bare name), the end record with its comment, and slack.
constexpr uint32_t kSideRecordWithPath = 83;
constexpr uint32_t kSideRecordBare = 58;
constexpr uint32_t kSideFileSlack = 2070;
// Pumping costs about 44 us under Wine even with nothing waiting; a byte loop pumps on time.
constexpr int64_t kPumpEveryMs = 20;

std::string WithoutFolder(const std::string& name) {
    const size_t cut = name.find_last_of("\\/:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

} // namespace

// --- Volume settings ---------------------------------------------------------------------

TMultiZipInfo::TMultiZipInfo() {
    zip::SetCompVolumes(false);
}

void TMultiZipInfo::Assign(const gui::TPersistent& source) {
    const auto* other = dynamic_cast<const TMultiZipInfo*>(&source);
    if (!other) {
        gui::TPersistent::Assign(source);
        return;
    }
    BlockSize = other->BlockSize;
    FirstBlockSize = other->FirstBlockSize;
    SaveOnFirstDisk = other->SaveOnFirstDisk;
    SaveZipInfoOnFirstDisk = other->SaveZipInfoOnFirstDisk;
    MultiMode = other->MultiMode;
    CheckDiskLabels = other->CheckDiskLabels;
    WriteDiskLabels = other->WriteDiskLabels;
}

// --- Properties --------------------------------------------------------------------------

TZipper::TZipper(TExtractFileSystem& files, TZipperFileSystem& output) : TUnZipper(files), output_(output) {}

TZipper::~TZipper() = default;

void TZipper::SetStorePaths(bool on) {
    storePaths_ = on;
    if (!on) {
        storeVolumes_ = false;
        relativePaths_ = false;
    }
}

void TZipper::SetRelativePaths(bool on) {
    relativePaths_ = on;
    if (on) {
        storePaths_ = true;
        Recurse = true;
    }
}

void TZipper::SetStoreVolumes(bool on) {
    storeVolumes_ = on;
    if (on) storePaths_ = true;
}

void TZipper::SetCompVolumes(bool on) {
    zip::SetCompVolumes(on);
    if (on) storePaths_ = true;
}

// --- Operations --------------------------------------------------------------------------

int TZipper::Zip() {
    cancel_ = false;
    return ZipFiles();
}

int64_t TZipper::ZipToStream(gui::TStream* stream, const std::string& fname) {
    if (stream == nullptr || fname.empty() || fname.back() == '\\') return 0;
    stream->SetPosition(0);
    FilesList.Clear();
    FilesList.Add(fname);
    zipToStream_ = stream;
    struct Reset {
        gui::TStream*& source;
        ~Reset() { source = nullptr; }
    } reset{zipToStream_};
    return Zip();
}

void TZipper::SetZipName(const std::string& name) {
    if (gui::SameTextI(name, ZipName())) return;
    if (end_.Modified) {
        // A comment changed in memory is written before the name moves on.
        FilesList.Clear();
        ZipFiles();
    }
    // Forgetting the old archive resets the reader's volume mode; the volume settings the
    // host chose for the next run stay.
    const TMultiMode mode = MultiZipInfo.MultiMode;
    TUnZipper::SetZipName(name);
    MultiZipInfo.MultiMode = mode;
}

void TZipper::YieldProcess() {
    if (OnProcessMessages) OnProcessMessages();
}

void TZipper::WaitSeconds(int n) {
    gui::Clock& clock = gui::CurrentClock();
    // n x 0.0000116 day, as the wait has always been measured.
    const int64_t until = clock.MonotonicMs() + static_cast<int64_t>(n) * 1002;
    while (clock.MonotonicMs() < until) {
        YieldProcess();
        clock.Sleep(1, false);
    }
}

int64_t TZipper::DiskFreeOfArchive() {
    return output_.DiskFree(DriveRootOf(ZipName()));
}

int64_t TZipper::RoomLeft() {
    return room_ - OutputSize();
}

// --- The run -----------------------------------------------------------------------------

int TZipper::ZipFiles() {
    if (ZipName().empty() && callerStream_ == nullptr) return 0;
    // Volumes are files of their own; a caller's stream cannot be spread over them. Refused
    // before the run starts, so the caller's stream stays as it is.
    if (callerStream_ != nullptr && MultiZipInfo.MultiMode != mmNone)
        throw EZipError("An archive in a stream cannot be written in volumes");
    busy_ = true;
    count_ = 0;
    volume_ = 0;
    volumesWritten_ = 0;
    totalBytes_ = totalDone_ = 0;
    sortBefore_ = SortMode();
    keepZipOpenBefore_ = KeepZipOpen;
    KeepZipOpen = true;
    Sort(ByNone);
    work_.Clear();
    header_.Clear();
    newEnd_.Clear();
    disposeList_.clear();
    updating_ = false;
    oldDataEnd_ = -1;
    restoreFailure_.clear();
    outName_.clear();
    lastPumpMs_ = INT64_MIN / 2;

    std::exception_ptr failure;
    try {
        TMultiZipInfo& multi = MultiZipInfo;
        const bool multiVolume = multi.MultiMode != mmNone;
        if (multiVolume && multi.SaveZipInfoOnFirstDisk)
            multi.SaveOnFirstDisk = static_cast<uint32_t>(FilesList.Count()) *
                                        (StorePaths() ? kSideRecordWithPath : kSideRecordBare) +
                                    multi.SaveOnFirstDisk + end_.CommentLength + kSideFileSlack;
        if (multi.MultiMode == mmSpan)
            room_ = DiskFreeOfArchive() - multi.SaveOnFirstDisk;
        else if (multi.MultiMode == mmBlocks)
            room_ = multi.FirstBlockSize;
        else
            room_ = INT64_MAX;

        if (zipToStream_ != nullptr)
            totalBytes_ = static_cast<uint64_t>(zipToStream_->Size());
        else if (FilesList.Count() > 0)
            BuildZipFileList();

        // Kept from run to run: a size estimate zips many small pieces, one run each.
        if (!deflate_) deflate_ = std::make_unique<DeflateBuffers>();
        OpenDirectoryBuffer();
        const bool exists = ArchiveExists();
        if (exists && (callerStream_ != nullptr || (!keepZipOpenBefore_ && !multiVolume))) {
            OpenForUpdate();
        } else if (exists) {
            OpenForAppend();
        } else {
            outName_ = ZipName();
            OpenOutputArchive();
        }

        if (FilesList.Count() > 0 && OnStartZipInfo) {
            bool stopNow = false;
            OnStartZipInfo(*this, FilesList.Count(), totalBytes_, newEnd_, stopNow);
            if (stopNow) throw EUserCanceled(kUserCanceled);
        }
        // Every byte of a volume set is read once and copied once.
        if (multiVolume) totalBytes_ *= 2;

        for (int i = 0; i < FilesList.Count();) {
            listAt_ = i;
            AddEntry(FilesList[i]);
            ++i;
            // The handler may plan more files; they join this archive.
            if (i == FilesList.Count() && OnEndZip) OnEndZip(*this, FilesList[i - 1] + "-:-", 0, 0, 0);
        }

        listAt_ = -1;
        WriteDirectory();
        if (multiVolume && RoomLeft() < static_cast<int64_t>(newEnd_.RecordSize())) NextVolume();
        WriteEndRecord();
        if (multi.MultiMode == mmSpan) WriteDiskLabel();
    } catch (...) {
        failure = std::current_exception();
    }

    try {
        RunFinished(failure != nullptr);
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    // An old archive left damaged is told with the error that ended the run.
    if (failure && !restoreFailure_.empty()) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            failure = std::make_exception_ptr(EZipError(std::string(error.what()) + "; " + restoreFailure_));
        } catch (...) {
        }
    }
    FreeRunState();
    Sort(sortBefore_);
    KeepZipOpen = keepZipOpenBefore_;
    busy_ = false;
    FilesList.Clear();
    if (OnZipComplete) OnZipComplete(*this, count_);
    if (failure) std::rethrow_exception(failure);
    return count_;
}

void TZipper::RunFinished(bool failed) {
    listAt_ = -1;
    queuedUpTo_ = 0;
    prefetch_.reset();
    handedOverName_.clear();
    handedOver_.reset();
    source_.reset();
    dataSource_ = nullptr;
    sink_.reset();
    if (outFile_) {
        outFile_->Close();
        // A run that failed inside an entry leaves it in the staging file.
        if (UseTempFile) outFile_->DeleteStaging();
    }
    outFile_.reset();
    outStream_ = nullptr;
    if (volumeEntry_) {
        volumeEntry_.reset();
        output_.DeleteFile(volumeEntryName_);
    }
    if (failed) {
        if (callerStream_ != nullptr && !updating_) {
            callerStream_->SetSize(0);
        } else if (callerStream_ == nullptr) {
            if (oldDataEnd_ >= 0)
                RestoreAppendedArchive();
            else if (!outName_.empty())
                output_.DeleteFile(outName_);
        }
        DiscardVolumes();
        newArchiveStream_.reset();
        CloseZip(true);
        return;
    }
    if (updating_) CloseZip(true);
    const TEndCentral written = newEnd_;
    volumesWritten_ = volume_ + 1;
    FinishVolumes();
    if (updating_) FinishUpdate();
    for (const std::string& name : disposeList_) {
        bool skip = false;
        if (OnDisposeFile) OnDisposeFile(*this, name, skip);
        if (!skip) output_.DeleteFile(name);
    }
    // The archive is read afresh when next asked: its directory is the one just written.
    Forget();
    end_.Assign(written);
    if (MultiMode() != mmNone) {
        if (OnTotalPercentDone) OnTotalPercentDone(*this, 100);
        if (MultiZipInfo.SaveZipInfoOnFirstDisk && written.ThisDisk > 0) {
            if (MultiMode() == mmSpan && !AskForFirstDisk()) return;
            SaveZipConfigurationFile(ChangeFileExt(ZipName(), ".zfc"));
        }
    }
}

void TZipper::FreeRunState() {
    directory_.reset();
    if (!directoryName_.empty()) {
        output_.DeleteFile(directoryName_);
        directoryName_.clear();
    }
    work_.Clear();
    newEnd_.Clear();
    header_.Clear();
    disposeList_.clear();
    updating_ = false;
    oldDataEnd_ = -1;
    oldTail_.clear();
}

void TZipper::OpenDirectoryBuffer() {
    if (callerStream_ != nullptr) {
        directory_ = std::make_unique<gui::TMemoryStream>();
        return;
    }
    directoryName_ = GetTempZipPath() + ChangeFileExt(WithoutFolder(ZipName()), ".zfi");
    std::unique_ptr<gui::TStream> file = output_.CreateWorkFile(directoryName_);
    if (!file) {
        const std::string name = directoryName_;
        directoryName_.clear();
        throw EZipError("Cannot create the work file " + name);
    }
    directory_ = std::make_unique<TWriteBehindStream>(std::move(file));
}

void TZipper::OpenOutputArchive() {
    if (MultiMode() == mmBlocks && oldDataEnd_ >= 0 && callerStream_ == nullptr)
        return OpenFirstPartOverArchive();
    if (MultiMode() == mmBlocks) outName_ = PartName(outName_, volume_);
    if (callerStream_ != nullptr) {
        if (updating_) {
            newArchiveStream_ = std::make_unique<gui::TMemoryStream>();
            outStream_ = newArchiveStream_.get();
        } else {
            outStream_ = callerStream_;
            outStream_->SetPosition(oldDataEnd_ >= 0 ? oldDataEnd_ : 0);
        }
    } else {
        outFile_ =
            output_.OpenOutput(outName_, oldDataEnd_ >= 0, StagingFileName(GetTempZipPath(), outName_));
        if (oldDataEnd_ >= 0) outFile_->Seek(oldDataEnd_);
        sink_ = std::make_unique<TWriteSink>(*outFile_);
        sink_->UseTempFile = UseTempFile;
        sink_->WriteVerify = WriteVerify;
        sink_->OnProcessMessages = [this] { ProcessMessagesHook(); };
        sink_->WaitSeconds = [this](int seconds) { WaitSeconds(seconds); };
        sink_->Reset();
    }
    volumeBytes_ = 0;
    newEnd_.Clear();
    if (updating_ || end_.Modified) {
        if (!end_.Comment() && end_.HasComment()) ZipComment();
        newEnd_.Assign(end_);
        newEnd_.EntriesOnDisk = newEnd_.TotalEntries = 0;
        newEnd_.Modified = 0;
    }
}

int64_t TZipper::OutputSize() {
    if (outStream_ != nullptr && callerStream_ != nullptr) return outStream_->Position();
    if (!outFile_) return 0;
    return outFile_->Position() + static_cast<int64_t>(sink_->Waiting());
}

void TZipper::EmitBytes(const uint8_t* data, size_t count) {
    if (count == 0) return;
    if (MultiMode() != mmNone && volumeEntry_) {
        // The entry's sizes are 32-bit: data past 4 GiB (a file just under it that does not
        // shrink) would wrap them.
        if (volumeEntryBytes_ + static_cast<int64_t>(count) > kMaxZipOffset)
            throw ENotEnoughRoom(std::string(kNoRoom) + ": an entry cannot pass 4 GiB");
        WriteOrNoRoom(*volumeEntry_, data, count);
        volumeEntryBytes_ += static_cast<int64_t>(count);
        return;
    }
    if (OutputSize() + static_cast<int64_t>(count) > kMaxZipOffset)
        throw ENotEnoughRoom(std::string(kNoRoom) + ": a zip archive cannot pass 4 GiB");
    if (callerStream_ != nullptr) {
        WriteOrNoRoom(*outStream_, data, count);
    } else {
        uint8_t* staging = sink_->StagingBuffer();
        if (staging != data) std::memcpy(staging, data, count);
        if (sink_->WriteToSink(count, false) < static_cast<int64_t>(count)) throw ENotEnoughRoom(kNoRoom);
    }
    volumeBytes_ += static_cast<int64_t>(count);
}

void TZipper::EmitHeaderStream() {
    EmitBytes(header_.Memory(), static_cast<size_t>(header_.Size()));
}

void TZipper::ThrowIfCanceled() {
    if (!DoProcessMessages) return;
    const int64_t now = gui::CurrentClock().MonotonicMs();
    if (now - lastPumpMs_ >= kPumpEveryMs || now < lastPumpMs_) {
        lastPumpMs_ = now;
        ProcessMessagesHook();
    }
    if (cancel_) {
        cancel_ = false;
        throw EUserCanceled(kUserAborted);
    }
}

uint32_t TZipper::ReadInput(uint8_t* buffer, uint32_t size) {
    const uint64_t left = fileBytes_ - fileDone_;
    if (left < size) size = static_cast<uint32_t>(left);
    if (size == 0) return 0;
    const uint32_t got = static_cast<uint32_t>(dataSource_->Read(buffer, size));
    crc_ = Crc32Update(crc_, buffer, got);
    fileDone_ += got;
    totalDone_ += got;
    const bool halved = MultiMode() != mmNone;
    if (OnFilePercentDone) {
        const int percent = Percent(static_cast<int64_t>(fileDone_), static_cast<int64_t>(fileBytes_));
        OnFilePercentDone(*this, halved ? percent / 2 : percent);
    }
    if (OnTotalPercentDone)
        OnTotalPercentDone(*this,
                           Percent(static_cast<int64_t>(totalDone_), static_cast<int64_t>(totalBytes_)));
    return got;
}

void TZipper::WriteOutput(const uint8_t* buffer, uint32_t size) {
    if (encrypting_) {
        // The sink's staging buffer (or the window's spare room) takes the cipher text, so the
        // caller's bytes stay as they are and nothing is allocated.
        uint8_t* scratch = callerStream_ == nullptr && !(MultiMode() != mmNone && volumeEntry_)
                               ? sink_->StagingBuffer()
                               : nullptr;
        if (scratch == nullptr) {
            uint8_t piece[1024];
            for (uint32_t done = 0; done < size;) {
                const uint32_t n = size - done < sizeof piece ? size - done : uint32_t(sizeof piece);
                std::memcpy(piece, buffer + done, n);
                crypt_.EncryptBuffer(piece, n);
                EmitBytes(piece, n);
                done += n;
            }
        } else {
            std::memcpy(scratch, buffer, size);
            crypt_.EncryptBuffer(scratch, size);
            EmitBytes(scratch, size);
        }
    } else {
        EmitBytes(buffer, size);
    }
    ThrowIfCanceled();
}

std::unique_ptr<gui::TStream> TZipper::OpenSourceWithRetry(const std::string& name, TSourceInfo& info) {
    // The first try goes by the facts the caller has just read; a retry reads them again,
    // since the file may have changed while the user was asked.
    std::optional<TSourceInfo> now = info;
    for (;;) {
        std::unique_ptr<gui::TStream> source;
        // A zip entry's sizes are 32-bit: a larger file is refused like one that is locked.
        if (now && !now->IsFolder() && static_cast<uint64_t>(now->size) <= kMaxEntrySize) {
            source = output_.OpenSource(name);
            info = *now;
        }
        if (source) return source;
        bool retry = false;
        if (OnSkippingFile) OnSkippingFile(*this, srCantOpenSource, name, -1, retry);
        if (!retry) return nullptr;
        now = output_.Info(name);
    }
}

bool TZipper::AddEntry(const std::string& name) {
    work_.Clear();
    if (!ProcessZipEntry(name)) return false;
    ++count_;
    ++newEnd_.EntriesOnDisk;
    ++newEnd_.TotalEntries;
    work_.WriteCentral(*directory_);
    if (Dispose) disposeList_.push_back(name);
    return true;
}

bool TZipper::ProcessZipEntry(const std::string& name) {
    if (newEnd_.TotalEntries >= kMaxEntries)
        throw ENotEnoughRoom(std::string(kNoRoom) + ": a zip archive holds at most 65,535 entries");
    const bool folder = !name.empty() && name.back() == '\\';
    const bool fromStream = zipToStream_ != nullptr;
    const uint32_t now = DateTimeToDosDateTime(gui::CurrentClock().Now());
    uint64_t size = 0;
    TSourceInfo zipped; // the facts the entry is made from
    if (fromStream) {
        size = static_cast<uint64_t>(zipToStream_->Size());
        if (size > kMaxEntrySize) throw ENotEnoughRoom(std::string(kNoRoom) + ": an entry cannot pass 4 GiB");
        work_.LastModFileDateTime = now;
        dataSource_ = zipToStream_;
    } else if (folder) {
        const std::optional<TSourceInfo> info = output_.Info(name);
        work_.LastModFileDateTime = info ? info->dosDateTime : now;
        work_.ExternalAttributes = info ? info->attributes : kAttrDirectory;
    } else {
        std::optional<TSourceInfo> info;
        std::unique_ptr<gui::TStream> prefetched;
        PrefetchUpcoming();
        if (!handedOverName_.empty() && handedOverName_ == name) {
            info = handedOverInfo_;
            prefetched = std::move(handedOver_);
            handedOverName_.clear();
        } else if (!prefetch_ || !prefetch_->Take(name, info, prefetched)) {
            info = output_.Info(name);
        } else if (prefetched && info && static_cast<uint64_t>(info->size) > kPrefetchBytes) {
            // Only its first bytes were read ahead: a file rewritten since would give an entry
            // of old and new bytes under a good CRC. Such a file is read afresh.
            const std::optional<TSourceInfo> now = output_.Info(name);
            if (!now || now->size != info->size || now->writeTime != info->writeTime) {
                prefetched.reset();
                info = now;
            }
        }
        if (!info || info->IsFolder()) return false;
        if (info->size > 0) {
            source_ = prefetched ? std::move(prefetched) : OpenSourceWithRetry(name, *info);
            if (!source_) return false;
            dataSource_ = source_.get();
        }
        work_.ExternalAttributes = info->attributes;
        work_.LastModFileDateTime = info->dosDateTime;
        size = static_cast<uint64_t>(info->size);
        zipped = *info;
    }
    const bool hasData = size > 0;
    if (!hasData) {
        work_.CompressionMethod = 0;
        work_.InternalAttributes = 0;
        work_.Crc32 = 0;
    } else {
        work_.InternalAttributes = 2;
    }
    work_.UncompressedSize = static_cast<uint32_t>(size);
    work_.CompressedSize = 0;
    work_.RelativeOffset = static_cast<uint32_t>(OutputSize());
    work_.DiskNumberStart = static_cast<uint16_t>(volume_);

    SetEntryName(work_, name);
    if (folder && work_.Filename().empty() && work_.Directory().empty()) {
        // Without stored paths a folder keeps its own name, so the entry is still a folder;
        // the root folder itself under relative paths has no name to store.
        const std::string own = WithoutFolder(name.substr(0, name.size() - 1));
        if (StorePaths() || own.empty()) return false;
        work_.SetDirectory(own);
    }

    bool skip = false;
    if (OnStartZip) OnStartZip(*this, name, work_, skip);
    if (skip) {
        source_.reset();
        dataSource_ = nullptr;
        totalBytes_ -= size <= totalBytes_ ? size : totalBytes_;
        return false;
    }

    const bool multiVolume = MultiMode() != mmNone;
    if (multiVolume && RoomLeft() <= static_cast<int64_t>(LocalHeaderSize + work_.FilenameLength)) {
        NextVolume();
        work_.DiskNumberStart = static_cast<uint16_t>(volume_);
    }
    // After a volume change the entry starts on the new volume.
    const int64_t headerOffset = OutputSize();
    work_.RelativeOffset = static_cast<uint32_t>(headerOffset);
    if (multiVolume) {
        volumeEntryName_ = GetTempZipPath() + ChangeFileExt(WithoutFolder(outName_), ".~mz");
        volumeEntry_ = output_.CreateWorkFile(volumeEntryName_);
        if (!volumeEntry_) throw EZipError("Cannot create the work file " + volumeEntryName_);
        volumeEntryBytes_ = 0;
    }
    header_.Clear();
    work_.WriteLocal(header_, work_.RelativeOffset);
    EmitHeaderStream();

    if (hasData) {
        fileBytes_ = size;
        WriteEntryData(PackLevel <= 0 || IsNoCompress(name));
        PatchLocalHeader(headerOffset);
    } else if (multiVolume) {
        CopyVolumeEntry();
    }
    if (multiVolume) {
        volumeEntry_.reset();
        output_.DeleteFile(volumeEntryName_);
    }

    source_.reset();
    dataSource_ = nullptr;
    if (!fromStream && !folder && ResetArchiveBitOnZip) ClearArchiveBit(name, zipped);

    if (OnEndZip) {
        if (!hasData)
            OnEndZip(*this, name, 0, 0, 0);
        else
            OnEndZip(*this, name, work_.UncompressedSize, work_.CompressedSize,
                     static_cast<uint32_t>(OutputSize() + directory_->Size()));
    }
    return true;
}

// A source written since its facts were read may hold more than its entry: it keeps its bit
// for the next backup. The bit goes with the attributes the file has now, not those read then.
void TZipper::ClearArchiveBit(const std::string& name, const TSourceInfo& zipped) {
    if (!(zipped.attributes & kAttrArchive)) return;
    const std::optional<TSourceInfo> now = output_.Info(name);
    if (now && now->size == zipped.size && now->writeTime == zipped.writeTime)
        output_.ClearArchiveBit(name, now->attributes);
}

void TZipper::HandOver(const std::string& name, const TSourceInfo& info,
                       std::unique_ptr<gui::TStream> source) {
    handedOverName_ = name;
    handedOverInfo_ = info;
    handedOver_ = std::move(source);
}

void TZipper::PrefetchUpcoming() {
    // A password makes the entry read its source twice.
    if (listAt_ < 0 || !Password.empty() || !output_.OpensFromAnyThread()) return;
    if (!prefetch_) prefetch_ = std::make_unique<TSourcePrefetch>(output_, kMaxEntrySize);
    for (int i = std::max(queuedUpTo_, listAt_ + 1); i < FilesList.Count(); queuedUpTo_ = ++i) {
        const std::string& name = FilesList[i];
        // A folder has nothing to read.
        if (!name.empty() && name.back() != '\\' && !prefetch_->Start(name)) return;
    }
}

void TZipper::WriteEntryData(bool store) {
    fileDone_ = 0;
    encrypting_ = false;
    // Not the compressor's window: every entry it deflates must find that as it left it.
    if (!pieces_) pieces_ = std::make_unique<uint8_t[]>(kReadChunk);
    uint8_t* buffer = pieces_.get();
    uint32_t expectedCrc = 0;
    uint64_t expectedBytes = fileBytes_;
    const bool encrypt = !Password.empty();
    if (encrypt) {
        // The encryption header carries the CRC, so the source is read once before its data.
        uint32_t crc = kCrc32Start;
        uint64_t counted = 0;
        while (counted < fileBytes_) {
            const uint64_t want = fileBytes_ - counted < kReadChunk ? fileBytes_ - counted : kReadChunk;
            const size_t got = dataSource_->Read(buffer, static_cast<size_t>(want));
            if (got == 0) break;
            crc = Crc32Update(crc, buffer, got);
            counted += got;
            ThrowIfCanceled();
        }
        expectedCrc = ~crc;
        expectedBytes = counted;
        fileBytes_ = counted;
        dataSource_->SetPosition(0);
        uint8_t header[kEncryptionHeaderSize];
        if (!MakeEncryptionHeader(crypt_, Password, expectedCrc, header))
            throw EZipError("No random bytes for the encryption header of " + work_.Filename());
        EmitBytes(header, sizeof header);
        encrypting_ = true;
    }

    crc_ = kCrc32Start;
    entryDataStart_ = OutputSize();
    uint64_t compressed = 0;
    if (store) {
        work_.CompressionMethod = 0;
        work_.InternalAttributes = 0;
        for (;;) {
            const uint32_t got = ReadInput(buffer, kStoreChunk);
            if (got == 0) break;
            WriteOutput(buffer, got);
            compressed += got;
        }
    } else {
        DeflateEntryInfo info;
        info.generalPurposeFlag = work_.GeneralPurposeFlag;
        compressed = DeflateEntry(*this, *deflate_, PackLevel, info);
        work_.GeneralPurposeFlag = info.generalPurposeFlag;
        work_.InternalAttributes = info.internalAttributes;
        work_.CompressionMethod = info.compressionMethod;
    }
    encrypting_ = false;
    work_.Crc32 = ~crc_;
    work_.UncompressedSize = static_cast<uint32_t>(fileDone_);
    work_.CompressedSize = static_cast<uint32_t>(compressed);
    if (encrypt) {
        if (fileDone_ != expectedBytes || work_.Crc32 != expectedCrc)
            throw EZipError("The file " + work_.Directory() + work_.Filename() +
                            " changed while it was zipped; the archive was not written");
        work_.GeneralPurposeFlag |= 1;
        work_.CompressedSize += kEncryptionHeaderSize;
    }
}

void TZipper::PatchLocalHeader(int64_t headerOffset) {
    header_.Clear();
    work_.WriteLocal(header_, work_.RelativeOffset);
    const size_t length = static_cast<size_t>(header_.Size());
    if (MultiMode() != mmNone && volumeEntry_) {
        volumeEntry_->SetPosition(0);
        NoRoomWhenFull([&] { volumeEntry_->WriteBuffer(header_.Memory(), length); });
        volumeEntry_->Seek(0, gui::TSeekOrigin::soEnd);
        CopyVolumeEntry();
        return;
    }
    if (callerStream_ != nullptr) {
        const int64_t end = outStream_->Position();
        outStream_->SetPosition(headerOffset);
        NoRoomWhenFull([&] { outStream_->WriteBuffer(header_.Memory(), length); });
        outStream_->SetPosition(end);
        return;
    }
    const int64_t flushed = outFile_->Position();
    std::memcpy(sink_->StagingBuffer(), header_.Memory(), length);
    if (headerOffset >= flushed) {
        // Still in the sink: the staging file (0-based) or the megabyte buffer (1-based).
        sink_->WriteAt(static_cast<int64_t>(length), headerOffset - flushed + (UseTempFile ? 0 : 1));
        return;
    }
    // Already in the file: write it there and carry on at the end.
    sink_->FlushWriteBuffer();
    const int64_t end = outFile_->Position();
    outFile_->Seek(headerOffset);
    WriteOrNoRoom(*outFile_, header_.Memory(), length);
    outFile_->Seek(end);
}

void TZipper::WriteDirectory() {
    if (MultiMode() != mmNone) return WriteVolumeDirectory();
    const int64_t offset = OutputSize();
    newEnd_.StartDisk = static_cast<uint16_t>(volume_);
    directory_->SetPosition(0);
    const int64_t total = directory_->Size();
    int64_t done = 0;
    std::unique_ptr<uint8_t[]> streamPiece;
    while (done < total) {
        const size_t want = static_cast<size_t>(Min64(total - done, static_cast<int64_t>(kDirectoryChunk)));
        uint8_t* piece = sink_ ? sink_->StagingBuffer() : nullptr;
        if (piece == nullptr) {
            if (!streamPiece) streamPiece.reset(new uint8_t[kDirectoryChunk]);
            piece = streamPiece.get();
        }
        directory_->ReadBuffer(piece, want);
        EmitBytes(piece, want);
        done += static_cast<int64_t>(want);
        ThrowIfCanceled();
    }
    newEnd_.CentralOffset = static_cast<uint32_t>(offset);
    newEnd_.CentralSize = static_cast<uint32_t>(OutputSize() - offset);
}

void TZipper::WriteEndRecord() {
    newEnd_.ThisDisk = static_cast<uint16_t>(volume_);
    header_.Clear();
    newEnd_.Write(header_);
    const size_t length = static_cast<size_t>(header_.Size());
    if (OutputSize() + static_cast<int64_t>(length) > kMaxZipOffset)
        throw ENotEnoughRoom(std::string(kNoRoom) + ": a zip archive cannot pass 4 GiB");
    if (callerStream_ != nullptr) {
        NoRoomWhenFull([&] {
            outStream_->WriteBuffer(header_.Memory(), length);
            outStream_->SetSize(outStream_->Position());
        });
        return;
    }
    std::memcpy(sink_->StagingBuffer(), header_.Memory(), length);
    if (sink_->WriteToSink(length, true) < static_cast<int64_t>(length)) throw ENotEnoughRoom(kNoRoom);
    volumeBytes_ += static_cast<int64_t>(length);
}

} // namespace zip
