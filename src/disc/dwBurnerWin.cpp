// Read-back services of the disc-writer component over the SCSI device. The parsing and the
// comparison are the portable walkers of IsoImport; this file only finds the session's track,
// reads blocks with READ(10) and keeps the window alive while a long comparison runs.

#include "disc/dwBurner.h"

#include "disc/IsoRecords.h"
#include "disc/dwASPI.h"
#include "gui/Wait.h"

namespace disc {

namespace {

// One READ(10) moves at most this many blocks here (the verify chunk).
constexpr uint32_t kMaxBlocksPerRead = kVerifyChunk / kBlockSize;
// Track numbers are 16-bit; the track mode's bit 2 marks data.
constexpr uint32_t kMaxTrackNumber = 0xFFFF;
constexpr uint8_t kDataTrackMode = 0x04;

} // namespace

bool DeviceBlockReader::ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) {
    while (count > 0) {
        uint32_t blocks = count < kMaxBlocksPerRead ? count : kMaxBlocksPerRead;
        if (!device_.Read10(lba, static_cast<uint16_t>(blocks), blocks * kBlockSize, out)) {
            failed_ = true;
            firstFailed_ = firstFailed_ || !readBefore_;
            readBefore_ = true;
            return false;
        }
        readBefore_ = true;
        lba += blocks;
        count -= blocks;
        out += static_cast<size_t>(blocks) * kBlockSize;
    }
    return true;
}

TDiscBurner::TDiscBurner() {
    Image.OnDebugMessage = [this](const std::string& text, int type) {
        DoDebugMessage(text, static_cast<uint8_t>(type));
    };
}

bool TDiscBurner::ASPIInitialized() const {
    return Transport().Loaded;
}

void TDiscBurner::Prepare(bool SkipSessionImport, bool LookUpStart) {
    // The queries below would flood the log; the switch comes back however this ends.
    struct DebugOff {
        DebugSwitch& flag;
        const bool was;
        explicit DebugOff(DebugSwitch& f) : flag(f), was(f) { flag = false; }
        ~DebugOff() { flag = was; }
    } quiet(DoDebug);
    uint32_t start = 0;
    startUnknown_ = false;
    if (!SkipSessionImport) {
        const int type = GetMediaType();
        Image.DvdMedia = !IsCDMedia(type);
        if (LookUpStart && !TestWrite && IsSequentialMedia(type)) CloseUnfinishedSession(type);
        if (LookUpStart && GetLastSession() > 0) {
            WaitReady(10000, 500);
            SetWriteParameters(TestWrite, UnderrunProtection, type);
            WaitReady(10000, 500);
            start = GetNextWritableAddress();
            // Overwritable media have no next writable address of their own: never start
            // inside the volume that is already there, nor anywhere when it cannot be read.
            bool unreadable = false;
            if (type == mtDVDPLUSRW || type == mtDVDRAM || type == mtDVDRWRestricted) {
                uint32_t volumeEnd = 0;
                unreadable = !ReadISOVolumeSize(volumeEnd);
                if (start < volumeEnd) start = volumeEnd;
            }
            if (start > 0xFF000000u) start = 0;
            // Block 0 of a sequential disc holding sessions is never writable: such a start is
            // a failed query, and the write must not go ahead on it.
            startUnknown_ = unreadable || (start == 0 && IsSequentialMedia(type));
            if (start == 0 || unreadable) DoDebugMessage("ERROR GETTING NEXT WRITABLE ADDRESS", kMsgInfo);
        }
    }
    Image.PrepareImage(start);
}

bool TDiscBurner::ImportSession(int8_t Session, TDEntry* Folder) {
    ImportReadFailed = false;
    if (Session == 0) return false;
    const int last = GetLastSession();
    if (last <= 0) return false;
    const bool latest = Session < 0 || Session > last;
    int session = latest ? last : Session;
    DeviceBlockReader reader(*this);
    for (;;) {
        if (!FindSessionTrack(static_cast<uint32_t>(session))) {
            DoDebugMessage(">>> IMPORTING SESSION # " + std::to_string(session), kMsgProgress);
            DoDebugMessage("ERROR IMPORTING SESSION # " + std::to_string(session), kMsgError);
            ImportReadFailed = true;
            return false;
        }
        // A write that failed part-way leaves a session whose volume reaches past what was
        // recorded: its tree names blocks that hold nothing. The latest whole session is the
        // one to continue from.
        if (!latest || session == 1 || SessionIsWhole(reader)) break;
        DoDebugMessage("SESSION # " + std::to_string(session) + " IS INCOMPLETE", kMsgInfo);
        --session;
    }
    const bool imported =
        ImportIsoSession(reader, TrackInfo.TrackStart, session, Image, Folder, &ImportedCount);
    // A session whose start reads but holds no volume descriptor has no file system; one whose
    // start, or whose tree below a descriptor, could not be read may hold anything.
    ImportReadFailed = !imported && reader.Failed() &&
                       (reader.FirstFailed() || IsoSessionVolumeEnd(reader, TrackInfo.TrackStart) > 0);
    return imported;
}

bool TDiscBurner::SessionIsWhole(IsoBlockReader& reader) {
    const TrackInformation track = TrackInfo;
    // An open track is recorded up to its next writable address, a closed one to its end.
    const uint64_t recordedEnd = track.NwaValid && track.NextWritableAddress >= track.TrackStart
                                     ? track.NextWritableAddress
                                     : uint64_t(track.TrackStart) + track.TrackSize;
    const uint32_t volumeEnd = IsoSessionVolumeEnd(reader, track.TrackStart);
    return volumeEnd > track.TrackStart && volumeEnd <= recordedEnd;
}

// A write that failed part-way leaves the last session open with its data track unfinished.
// Closing that track and its session puts the next session behind it; writing on into the
// broken track would give readers the failed write's tree at the session's start.
void TDiscBurner::CloseUnfinishedSession(int type) {
    DiscInformation info;
    if (!ReadDiscInformation(DiscInformationBuffer, DiscInformationLength) ||
        !ParseDiscInformation(DiscInformationBuffer, DiscInformationLength, info))
        return;
    if (info.Status != 1 || info.LastSessionState != 1) return;
    DoDebugMessage(">>> CLOSING THE SESSION AN EARLIER WRITE LEFT OPEN", kMsgProgress);
    // Closing must leave the disc open for the new session.
    const bool finalize = FinalizeDisc;
    FinalizeDisc = false;
    SetWriteParameters(false, UnderrunProtection, type);
    FinalizeDisc = finalize;
    if (!CloseTrackSession(false, 1, info.LastTrackOfLastSession) ||
        !CloseTrackSession(false, 2, type == mtDVDPLUSR ? 0xFF : 0))
        DoDebugMessage("ERROR CLOSING THE SESSION AN EARLIER WRITE LEFT OPEN", kMsgError);
    WaitReady(240000, 5000);
}

// Discs from other programs may hold several tracks in a session (audio before the data, or
// more than one data track), so a session's number is not its track's: the tracks are asked
// in turn for their session.
bool TDiscBurner::FindSessionTrack(uint32_t Session) {
    uint32_t track = 1;
    DiscInformation disc;
    if (ReadDiscInformation(DiscInformationBuffer, DiscInformationLength) &&
        ParseDiscInformation(DiscInformationBuffer, DiscInformationLength, disc) && disc.FirstTrack > 0)
        track = disc.FirstTrack;
    bool seen = false, numbered = false, found = false;
    TrackInformation first;
    for (; track <= kMaxTrackNumber && ReadTrackInformation(track); ++track) {
        seen = true;
        numbered = numbered || TrackInfo.SessionNumber != 0;
        if (TrackInfo.SessionNumber < Session) continue;
        if (TrackInfo.SessionNumber > Session) break;
        if (TrackInfo.TrackMode & kDataTrackMode) return true;
        if (!found) first = TrackInfo;
        found = true;
    }
    if (found) {
        TrackInfo = first;
        return true;
    }
    // A drive that numbers no sessions: one track per session is all that can be assumed.
    return seen && !numbered && ReadTrackInformation(Session);
}

bool TDiscBurner::VerifyFile(const TFEntry* Entry, const std::string& SourcePath) {
    for (int i = 0; i < 100; ++i)
        if (gui::ProcessMessages()) break;
    DeviceBlockReader reader(*this);
    return VerifyIsoFile(reader, Entry->FirstBlock, static_cast<uint64_t>(Entry->Size), SourcePath,
                         *Image.Sources, [this](int percent) {
                             Progress = percent;
                             gui::ProcessMessages();
                         });
}

} // namespace disc
