// Zipping into an archive that already exists, in one of two ways.
//
// Update: a new archive is written beside the old one (the ".~tm" file in the temporary
// folder), entry by entry. Each old entry is either copied as it stands (local header, data
// and data descriptor, byte for byte) or replaced by the file it names, by the update rule:
// zaReplace always replaces, zaUpdate and zaFreshen only when the file is newer at the
// 2-second precision of DOS times. Only when the new archive is complete does it take the
// old one's place, so a run that fails at any point leaves the old archive as it was. If the
// final copy itself fails, the complete new archive stays in the temporary folder and the
// error names it: at no moment is the only good copy deleted. Deleting entries is the same
// walk with the selected entries left out.
//
// Append in place (KeepZipOpen): new entries are written over the old central directory, and
// the new directory holds the old records first. The old data end is found from the
// local headers themselves (their extra fields and data descriptors), not from the central
// records, whose extra fields may be shorter. The old directory and end record are held in
// memory until the run succeeds; a failed run puts them back at the old data end and cuts the
// file there, which leaves it byte for byte as it was. When that fails too, the run's error
// says so and names the archive.
//
// Copied central records are written with the name exactly as it was read: the name
// conversions of writing (drive letters, OEM code page) were applied when the entry was made
// and must not be applied twice.

#include "zip/Zipper.h"

#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <deque>
#include <unordered_map>

namespace zip {

namespace {

constexpr uint32_t kDataDescriptorSig = 0x08074b50;
constexpr int kMaxEntries = 0xFFFF;

std::string TempArchiveName(const std::string& folder, const std::string& archive) {
    std::string name = archive.substr(archive.find_last_of("\\/:") + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return folder + name + ".~tm";
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

void TZipper::RefuseMultiVolumeArchive() {
    if (numVolumes_ > 1)
        throw EZipError("The archive " + ZipName() + " spans several volumes; it cannot be updated in place");
}

gui::TStream& TZipper::OldArchive() {
    // A caller's stream is let go after every read of a comment; it is there again at once.
    if (stream_ == nullptr) OpenZip();
    return *stream_;
}

void TZipper::FetchFileComment(TZipHeaderInfo& entry) {
    if (entry.FileComment() || !entry.HasComment()) return;
    entry.SetFileComment(ReadText(OldArchive(),
                                  int64_t(entry.CentralOffset) + CentralHeaderSize + entry.FilenameLength +
                                      entry.CentralExtraLength,
                                  entry.FileCommentLength));
}

void TZipper::WriteCopiedCentral(const TZipHeaderInfo& entry) {
    if (newEnd_.TotalEntries >= kMaxEntries)
        throw ENotEnoughRoom("Not enough room to write archive: a zip archive holds at most 65,535 entries");
    ScopedNameFlags asRead(false, false);
    entry.WriteCentral(*directory_);
    ++newEnd_.EntriesOnDisk;
    ++newEnd_.TotalEntries;
}

int64_t TZipper::OldEntryEnd(const TZipHeaderInfo& entry) {
    gui::TStream& archive = OldArchive();
    const int64_t size = archive.Size();
    archive.SetPosition(entry.RelativeOffset);
    TZipHeaderInfo local;
    if (int64_t(entry.RelativeOffset) >= size || !local.ReadLocal(archive))
        throw EBadZipFile("Not a valid zip file! No local header for " + entry.Directory() +
                          entry.Filename());
    // The local extra field need not be as long as the central one.
    int64_t end = int64_t(entry.RelativeOffset) + local.LocalSize() + entry.CompressedSize;
    if (entry.HasDataDescriptor()) {
        uint8_t sig[4] = {};
        archive.SetPosition(end);
        end += archive.Read(sig, sizeof sig) == sizeof sig && Get32(sig) == kDataDescriptorSig ? 16 : 12;
    }
    if (end > size)
        throw EBadZipFile("Not a valid zip file! " + entry.Directory() + entry.Filename() +
                          " runs past the end of the archive");
    return end;
}

void TZipper::OpenForUpdate() {
    // Set first: a failure from here on deletes the output, which must never be the archive.
    tempArchiveName_ = TempArchiveName(GetTempZipPath(), ZipName());
    outName_ = callerStream_ != nullptr ? std::string() : tempArchiveName_;
    updating_ = true;
    OpenZip();
    RefuseMultiVolumeArchive();
    OpenOutputArchive();
    UpdateExistingEntries();
}

void TZipper::OpenForAppend() {
    outName_.clear();
    OpenZip();
    RefuseMultiVolumeArchive();
    int64_t dataEnd = end_.TotalEntries == 0 ? Min64(end_.CentralOffset, OldArchive().Size()) : 0;
    for (int i = master_->Count() - 1; i >= 0; --i) {
        TZipHeaderInfo& entry = *master_->Entry(i);
        FetchFileComment(entry);
        WriteCopiedCentral(entry);
        dataEnd = Max64(dataEnd, OldEntryEnd(entry));
    }
    const int oldCount = newEnd_.TotalEntries;
    if (!end_.Comment() && end_.HasComment())
        end_.SetComment(ReadText(OldArchive(), end_.CommentPosition, end_.CommentLength));
    // Kept until the run succeeds: a failed append writes them back.
    gui::TStream& archive = OldArchive();
    oldTail_.resize(size_t(archive.Size() - dataEnd));
    archive.SetPosition(dataEnd);
    archive.ReadBuffer(oldTail_.data(), oldTail_.size());
    CloseZip(true);

    oldDataEnd_ = dataEnd;
    outName_ = ZipName();
    OpenOutputArchive();
    newEnd_.Assign(end_);
    newEnd_.EntriesOnDisk = newEnd_.TotalEntries = uint16_t(oldCount);
    newEnd_.Modified = 0;
}

void TZipper::RestoreAppendedArchive() {
    if (oldDataEnd_ < 0 || callerStream_ != nullptr) return;
    std::string why;
    try {
        std::unique_ptr<gui::TStream> file = output_.OpenReadWrite(ZipName());
        if (!file) {
            why = "it cannot be opened";
        } else {
            // The tail goes back before the cut, so the file never needs room it did not have.
            file->SetPosition(oldDataEnd_);
            file->WriteBuffer(oldTail_.data(), oldTail_.size());
            file->SetSize(oldDataEnd_ + int64_t(oldTail_.size()));
        }
    } catch (const std::exception& error) {
        why = error.what();
    }
    // The run's cleanup goes on; the caller hears of the damage with the run's own error.
    if (!why.empty())
        restoreFailure_ = "the archive " + ZipName() + " could not be put back as it was: " + why;
}

void TZipper::UpdateExistingEntries() {
    // The lines naming each stored name, first line first, and the lines that are still masks.
    std::unordered_map<std::string, std::deque<int>> linesOf;
    std::vector<int> maskLines;
    for (int i = 0; i < FilesList.Count(); ++i) {
        const std::string& line = FilesList[i];
        if (HasWildcards(line))
            maskLines.push_back(i);
        else
            linesOf[StoredNameOf(line)].push_back(i);
    }
    std::vector<bool> used(size_t(FilesList.Count()), false);
    // The first line not yet used that names the entry; a used line is gone from the list.
    auto takeLine = [&](const std::string& stored) {
        const auto found = linesOf.find(stored);
        int line = found == linesOf.end() || found->second.empty() ? -1 : found->second.front();
        for (int mask : maskLines)
            if ((mask < line || line < 0) && IsMatch(StoredNameOf(FilesList[mask]), stored)) return mask;
        if (line >= 0) {
            found->second.pop_front();
            used[size_t(line)] = true;
        }
        return line;
    };

    for (int i = master_->Count() - 1; i >= 0; --i) {
        TZipHeaderInfo& entry = *master_->Entry(i);
        if (entry.TestState == 2) continue;
        FetchFileComment(entry);
        bool matched = false;
        if (deleting_) {
            if (entry.Selected) {
                entry.Selected = 0;
                --numSelected_;
                bool keep = false;
                if (OnDeleteEntry)
                    OnDeleteEntry(*this, ConvertName(entry.Directory() + entry.Filename()), keep);
                if (!keep) {
                    ++count_;
                    continue;
                }
            }
        } else if (const int line = takeLine(StoredNameOf(entry)); line >= 0) {
            matched = true;
            const std::string name = FilesList[line];
            const bool wildcard = HasWildcards(name);
            const std::optional<TSourceInfo> info = wildcard ? std::nullopt : output_.Info(name);
            // Data handed over in a stream is dated now: it always replaces.
            const bool replace = (zipToStream_ != nullptr && !wildcard) ||
                                 (info && (ZipAction == zaReplace ||
                                           CompareDosTime(info->dosDateTime, entry.LastModFileDateTime) > 0));
            if (replace) {
                if (OnUpdate) OnUpdate(*this, uaReplacing, i);
                if (AddEntry(name)) continue;
                // The file could not be zipped after all: the old entry stays.
            } else if (info) {
                // Not zipped again: its bytes no longer count towards the total.
                totalBytes_ -= Min64(int64_t(totalBytes_), info->size);
            }
        }
        if (matched && OnUpdate) OnUpdate(*this, uaKeeping, i);
        // The old record keeps its place: a failed run must leave the directory as read.
        TZipHeaderInfo copy;
        copy.Assign(entry);
        CopyExistingEntry(copy);
        WriteCopiedCentral(copy);
    }
    for (int line = int(used.size()) - 1; line >= 0; --line)
        if (used[size_t(line)]) FilesList.Delete(line);
}

void TZipper::CopyExistingEntry(TZipHeaderInfo& entry) {
    const int64_t from = entry.RelativeOffset;
    const int64_t length = OldEntryEnd(entry) - from;
    entry.RelativeOffset = uint32_t(OutputSize());
    entry.DiskNumberStart = uint16_t(volume_);
    std::unique_ptr<uint8_t[]> streamPiece;
    uint8_t* piece = sink_ ? sink_->StagingBuffer() : nullptr;
    if (piece == nullptr) {
        streamPiece.reset(new uint8_t[kSinkBufferSize]);
        piece = streamPiece.get();
    }
    gui::TStream& archive = OldArchive();
    archive.SetPosition(from);
    for (int64_t done = 0; done < length;) {
        const size_t want = size_t(Min64(length - done, int64_t(kSinkBufferSize)));
        archive.ReadBuffer(piece, want);
        EmitBytes(piece, want);
        done += int64_t(want);
        ThrowIfCanceled();
    }
}

void TZipper::FinishUpdate() {
    if (callerStream_ != nullptr) {
        callerStream_->SetSize(0);
        callerStream_->SetPosition(0);
        if (newArchiveStream_ && newArchiveStream_->Size() > 0)
            callerStream_->CopyFrom(*newArchiveStream_, 0);
        newArchiveStream_.reset();
        return;
    }
    output_.DeleteFile(ZipName());
    if (!output_.CopyFile(tempArchiveName_, ZipName())) {
        output_.DeleteFile(ZipName());
        throw EZipError("The updated archive could not be copied to " + ZipName() + "; it is kept as " +
                        tempArchiveName_);
    }
    output_.DeleteFile(tempArchiveName_);
}

int TZipper::DeleteSelected() {
    if (NumSelected() == 0) return 0;
    // Deleting rewrites the archive through the temporary one, whatever the settings.
    const bool keepOpen = KeepZipOpen;
    const TMultiMode mode = MultiZipInfo.MultiMode;
    KeepZipOpen = false;
    MultiZipInfo.MultiMode = mmNone;
    deleting_ = true;
    FilesList.Clear();
    struct Restore {
        TZipper& z;
        bool keepOpen;
        TMultiMode mode;
        ~Restore() {
            z.deleting_ = false;
            z.KeepZipOpen = keepOpen;
            z.MultiZipInfo.MultiMode = mode;
        }
    } restore{*this, keepOpen, mode};
    return Zip();
}

} // namespace zip
