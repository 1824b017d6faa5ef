// Archives over several volumes: split part files of a fixed size, or disks of a removable
// drive that the user swaps ("spanned"), and the ".zfc" copy of a set's directory.
//
// Each entry of a volume set is first written whole to a work file (".~mz"), because only
// then is its size known; it is then copied onto the volumes in runs that fill each one to
// its room, with a new volume opened between runs. A local header is never cut: an entry
// whose header would not fit starts on the next volume. The central directory is spread the
// same way but at record boundaries only, and the end record stays whole on the last volume,
// since readers look for complete records on each volume.
//
// Split parts are named name.z01, name.z02, ...; the run leaves ZipName on the last part, as
// the job that asked for the set renames that part to name.zip (a set of one part is renamed
// here, at once). A split written over an existing archive begins with that archive's entries,
// copied onto the parts like new ones, their directory records moved with them; the old file
// goes only when the run succeeds.
//
// A spanned set asks for each disk through the next-disk handler, or the prompter when none
// is set. A disk with the serial number of the one just filled was not changed and is asked
// for again: deleting "its" archive would destroy the volume just written. Disks in drives
// A: and B: are labelled "PKBACK# 001", "PKBACK# 002", ..., which the reader checks.

#include "zip/Zipper.h"

#include "gui/Prompter.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace zip {

namespace {

const char* const kUserCanceled = "User canceled Zip operation";
constexpr int64_t kMaxVolumeOffset = 0xFFFFFFFFll;
constexpr size_t kVolumeCopyPiece = 16384;
constexpr size_t kSideFilePiece = 1048576;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLittleEndian(uint8_t* p, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void ShowSideFileError(const char* text) {
    gui::TMessageBoxRequest request;
    request.Caption = "Zip Error";
    request.Text = text;
    request.Icon = gui::TMsgIcon::Stop;
    gui::Prompter().MessageBox(request);
}

// Puts a member back when the scope ends, also on an exception.
template <typename T> class TRestore {
  public:
    TRestore(T& slot, T value) : slot_(slot), saved_(std::move(slot)) { slot_ = std::move(value); }
    ~TRestore() { slot_ = std::move(saved_); }
    TRestore(const TRestore&) = delete;
    TRestore& operator=(const TRestore&) = delete;
    T& Saved() { return saved_; }

  private:
    T& slot_;
    T saved_;
};

} // namespace

std::string TZipper::PartName(const std::string& name, int volume) const {
    char ext[16];
    std::snprintf(ext, sizeof ext, ".z%02d", volume + 1);
    const size_t dot = name.find_last_of(".\\/:");
    return (dot != std::string::npos && name[dot] == '.' ? name.substr(0, dot) : name) + ext;
}

std::string TZipper::AskForDisk(int disk, std::string name) {
    if (OnGetNextDisk) {
        OnGetNextDisk(*this, disk, name);
        return name;
    }
    // The reader's prompt for a disk of a spanned set.
    return DefaultNextDiskName(disk);
}

void TZipper::NextVolume() {
    const TMultiMode mode = MultiMode();
    if (mode == mmNone) return;
    if (volume_ == 0) {
        finishedParts_.clear();
        diskSerials_.clear();
        firstDiskDataEnd_ = -1;
    }
    // Volume numbers are 16-bit in the records.
    if (volume_ >= 0xFFFE)
        throw ENotEnoughRoom(std::string(kNoRoom) + ": a set holds at most 65,535 volumes");
    if (sink_) sink_->WriteToSink(0, true);
    if (outFile_) outFile_->Close();
    sink_.reset();
    outFile_.reset();
    const std::string finished = outName_;
    finishedParts_.push_back(finished);

    std::string next = finished;
    if (mode == mmBlocks) {
        ++volume_;
        if (OnGetNextDisk) OnGetNextDisk(*this, volume_ + 1, next);
        if (next.empty()) throw EUserCanceled(kUserCanceled);
        output_.DeleteFile(PartName(next, volume_));
        room_ = MultiZipInfo.BlockSize;
    } else {
        WriteDiskLabel();
        const std::string root = DriveRootOf(finished);
        const bool removable = files_.IsRemovableDrive(finished);
        const uint32_t finishedSerial = output_.VolumeSerial(root);
        diskSerials_.push_back(finishedSerial);
        for (;;) {
            next = AskForDisk(volume_ + 2, ZipName());
            if (next.empty()) throw EUserCanceled(kUserCanceled);
            // The same disk still in the drive: writing on would destroy the volume just made.
            if (removable && finishedSerial != 0 && output_.VolumeSerial(DriveRootOf(next)) == finishedSerial)
                continue;
            output_.DeleteFile(next);
            room_ = Min64(DiskFreeOfArchive(), kMaxVolumeOffset);
            if (room_ > 0) break;
        }
        ++volume_;
    }
    outName_ = next;
    // An archive appended to in place on the first disk is put back on that disk if the run
    // fails (DiscardVolumes); the new volume is a new file.
    if (mode == mmSpan && oldDataEnd_ >= 0) firstDiskDataEnd_ = oldDataEnd_;
    oldDataEnd_ = -1;
    // A new output file; the end record being built stays as it is.
    TEndCentral building;
    building.Assign(newEnd_);
    OpenOutputArchive();
    newEnd_.Assign(building);
    newEnd_.EntriesOnDisk = 0;
}

void TZipper::CopyVolumeEntry() {
    // Only a whole local header starts an entry on a volume.
    if (RoomLeft() <= static_cast<int64_t>(work_.LocalSize())) NextVolume();
    if (RoomLeft() <= static_cast<int64_t>(work_.LocalSize()))
        throw ENotEnoughRoom(std::string(kNoRoom) + ": a volume cannot hold the header of " +
                             work_.Filename());
    work_.DiskNumberStart = static_cast<uint16_t>(volume_);
    work_.RelativeOffset = static_cast<uint32_t>(OutputSize());

    // Output bytes go to the volume, not back into the work file being copied.
    TRestore<std::unique_ptr<gui::TStream>> entry(volumeEntry_, nullptr);
    gui::TStream& from = *entry.Saved();
    int64_t left = from.Size();
    from.SetPosition(0);

    // The file percent goes on from the bytes read; the total counts the copy at its real size.
    const uint64_t uncompressed = work_.UncompressedSize, copied = static_cast<uint64_t>(left);
    fileBytes_ = uncompressed + copied;
    fileDone_ = uncompressed;
    totalBytes_ = totalBytes_ + copied >= uncompressed ? totalBytes_ + copied - uncompressed : 0;
    CopyOntoVolumes(from, left, true);
    // Tells a handler which volume holds the entry; never a question to the user.
    if (OnGetNextDisk) {
        std::string name = outName_;
        OnGetNextDisk(*this, 0, name);
    }
}

void TZipper::CopyOntoVolumes(gui::TStream& from, int64_t count, bool counted) {
    while (count > 0) {
        int64_t run = Min64(count, RoomLeft());
        if (run <= 0) throw ENotEnoughRoom(std::string(kNoRoom) + ": a new volume has no room");
        count -= run;
        while (run > 0) {
            const size_t piece = static_cast<size_t>(Min64(run, static_cast<int64_t>(kVolumeCopyPiece)));
            uint8_t* buffer = sink_->StagingBuffer();
            from.ReadBuffer(buffer, piece);
            EmitBytes(buffer, piece);
            run -= static_cast<int64_t>(piece);
            if (counted) {
                fileDone_ += piece;
                totalDone_ += piece;
                if (OnFilePercentDone)
                    OnFilePercentDone(
                        *this, Percent(static_cast<int64_t>(fileDone_), static_cast<int64_t>(fileBytes_)));
                if (OnTotalPercentDone)
                    OnTotalPercentDone(
                        *this, Percent(static_cast<int64_t>(totalDone_), static_cast<int64_t>(totalBytes_)));
            }
            ThrowIfCanceled();
        }
        if (count > 0 || RoomLeft() <= 0) NextVolume();
    }
}

void TZipper::WriteVolumeDirectory() {
    // Records are taken whole from the buffer; the largest has three 65,535-byte fields.
    constexpr size_t kLargestRecord = CentralHeaderSize + 3 * 65535;
    std::vector<uint8_t> chunk(kLargestRecord + kSinkBufferSize);
    size_t have = 0, at = 0;
    int64_t unread = directory_->Size();
    directory_->SetPosition(0);
    auto ensure = [&](size_t count) {
        if (have - at >= count) return true;
        std::memmove(chunk.data(), chunk.data() + at, have - at);
        have -= at;
        at = 0;
        const size_t want = static_cast<size_t>(Min64(unread, static_cast<int64_t>(chunk.size() - have)));
        directory_->ReadBuffer(chunk.data() + have, want);
        have += want;
        unread -= static_cast<int64_t>(want);
        return have >= count;
    };

    bool started = false;
    int64_t written = 0;
    newEnd_.EntriesOnDisk = 0;
    while (ensure(1)) {
        if (!ensure(CentralHeaderSize))
            throw EZipError("The directory buffer " + directoryName_ + " ends inside a record");
        const uint8_t* record = chunk.data() + at;
        const size_t size = CentralHeaderSize + Get16(record + 28) + Get16(record + 30) + Get16(record + 32);
        if (!ensure(size))
            throw EZipError("The directory buffer " + directoryName_ + " ends inside a record");
        if (RoomLeft() < static_cast<int64_t>(size)) {
            NextVolume();
            if (RoomLeft() < static_cast<int64_t>(size))
                throw ENotEnoughRoom(std::string(kNoRoom) + ": a volume cannot hold a directory record");
        }
        if (!started) {
            started = true;
            newEnd_.StartDisk = static_cast<uint16_t>(volume_);
            newEnd_.CentralOffset = static_cast<uint32_t>(OutputSize());
        }
        EmitBytes(chunk.data() + at, size);
        at += size;
        written += static_cast<int64_t>(size);
        ++newEnd_.EntriesOnDisk;
        ThrowIfCanceled();
    }
    if (!started) {
        newEnd_.StartDisk = static_cast<uint16_t>(volume_);
        newEnd_.CentralOffset = static_cast<uint32_t>(OutputSize());
    }
    newEnd_.CentralSize = static_cast<uint32_t>(written);
}

void TZipper::OpenFirstPartOverArchive() {
    const int64_t dataEnd = oldDataEnd_;
    // The first part is a new file; the old archive is only read, and goes when the run succeeds.
    oldDataEnd_ = -1;
    OpenOutputArchive();
    std::unique_ptr<gui::TStream> old = files_.OpenRead(ZipName());
    if (!old) throw EZipError("Cannot open " + ZipName());

    // The entries' offsets in the order they lie; each entry runs to the next, the last to the
    // data end. Bytes before the first (a self-extractor's program) stay in front of it.
    std::vector<int64_t> starts;
    for (int i = 0; i < master_->Count(); ++i)
        starts.push_back(Min64(master_->Entry(i)->RelativeOffset, dataEnd));
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    old->SetPosition(0);
    CopyOntoVolumes(*old, starts.empty() ? dataEnd : starts.front(), false);
    std::map<uint32_t, std::pair<uint16_t, uint32_t>> moved; // old offset: new volume and offset
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t start = starts[i];
        const int64_t end = i + 1 < starts.size() ? starts[i + 1] : dataEnd;
        uint8_t local[LocalHeaderSize];
        old->SetPosition(start);
        if (end - start < int64_t(LocalHeaderSize) || old->Read(local, sizeof local) != sizeof local ||
            std::memcmp(local, "PK\x03\x04", 4) != 0)
            throw EBadZipFile("Not a valid zip file! No local header at " + std::to_string(start) + " of " +
                              ZipName());
        // A local header is never cut by the end of a part.
        const int64_t headerSize = int64_t(LocalHeaderSize) + Get16(local + 26) + Get16(local + 28);
        if (RoomLeft() <= headerSize) NextVolume();
        moved[uint32_t(start)] = {static_cast<uint16_t>(volume_), static_cast<uint32_t>(OutputSize())};
        old->SetPosition(start);
        CopyOntoVolumes(*old, end - start, false);
    }

    // The directory records copied from the old archive follow their entries.
    uint8_t record[CentralHeaderSize];
    for (int64_t at = 0, size = directory_->Size(); at < size;) {
        directory_->SetPosition(at);
        directory_->ReadBuffer(record, sizeof record);
        const uint32_t offset = Get32(record + 42);
        const auto found = moved.find(offset);
        if (found != moved.end()) {
            PutLittleEndian(record + 34, found->second.first, 2);
            PutLittleEndian(record + 42, found->second.second, 4);
            directory_->SetPosition(at);
            directory_->WriteBuffer(record, sizeof record);
        }
        at += int64_t(CentralHeaderSize) + Get16(record + 28) + Get16(record + 30) + Get16(record + 32);
    }
    directory_->Seek(0, gui::TSeekOrigin::soEnd);
    overOldArchive_ = true;
}

void TZipper::FinishVolumes() {
    const bool overOldArchive = overOldArchive_;
    overOldArchive_ = false;
    firstDiskDataEnd_ = -1;
    if (MultiMode() != mmBlocks) return;
    if (volume_ == 0) {
        if (!output_.RenameFile(outName_, ZipName()))
            throw EZipError("The archive was written to " + outName_ + " but cannot be renamed to " +
                            ZipName());
        return;
    }
    if (overOldArchive) output_.DeleteFile(ZipName());
    zipName_ = outName_;
    firstName_ = outName_;
}

void TZipper::DiscardVolumes() {
    overOldArchive_ = false;
    if (MultiMode() == mmSpan && firstDiskDataEnd_ >= 0 && volume_ > 0) {
        // The archive appended to lies on disk 1: with that disk back, it is made whole again.
        oldDataEnd_ = firstDiskDataEnd_;
        firstDiskDataEnd_ = -1;
        if (AskForFirstDisk()) RestoreAppendedArchive();
        oldDataEnd_ = -1;
        return;
    }
    if (MultiMode() != mmBlocks || volume_ == 0) return;
    for (const std::string& part : finishedParts_)
        output_.DeleteFile(part);
}

bool TZipper::AskForFirstDisk() {
    const std::string root = DriveRootOf(ZipName());
    const bool removable = files_.IsRemovableDrive(ZipName());
    const uint32_t first = volume_ > 0 && !diskSerials_.empty() ? diskSerials_.front() : 0;
    for (;;) {
        if (AskForDisk(1, ZipName()).empty()) return false;
        if (!removable || first == 0 || output_.VolumeSerial(root) == first) return true;
    }
}

void TZipper::WriteDiskLabel() {
    if (MultiMode() != mmSpan || !MultiZipInfo.WriteDiskLabels) return;
    const std::string root = DriveRootOf(outName_.empty() ? ZipName() : outName_);
    if (root != "A:\\" && root != "B:\\") return;
    char label[16];
    std::snprintf(label, sizeof label, "PKBACK# %03d", (volume_ + 1) % 1000);
    output_.SetVolumeLabel(root, label);
}

void TZipper::SaveZipConfigurationFile(const std::string& file) {
    std::unique_ptr<gui::TStream> side = output_.CreateWorkFile(file);
    if (!side) {
        ShowSideFileError("Unable to create Zip Configuration File to disk");
        return;
    }
    bool saved = false;
    try {
        // The records as in the set, then the end record that a reader of the side file needs.
        std::vector<uint8_t> piece(static_cast<size_t>(Min64(directory_->Size(), kSideFilePiece)) + 1);
        directory_->SetPosition(0);
        for (int64_t left = directory_->Size(); left > 0;) {
            const size_t n = static_cast<size_t>(Min64(left, static_cast<int64_t>(piece.size())));
            directory_->ReadBuffer(piece.data(), n);
            side->WriteBuffer(piece.data(), n);
            left -= static_cast<int64_t>(n);
        }
        end_.Write(*side);
        saved = true;
    } catch (const gui::Exception&) {
        saved = false;
    }
    side.reset();
    if (!saved) {
        // Half a side file would mislead a reader more than none.
        output_.DeleteFile(file);
        ShowSideFileError("Unable to save Zip Configuration File to disk");
    }
}

} // namespace zip
