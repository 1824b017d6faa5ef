#include "job/VolumePrep.h"
#include "core/PathText.h"

#include "core/DateText.h"
#include "core/WinFolders.h"
#include "gui/CompareText.h"
#include "gui/DriveType.h"
#include "gui/FileStream.h"
#include "job/DriveSpace.h"
#include "job/FCopy2.h"
#include "job/HiddenWait.h"
#include "job/JobDisc.h"
#include "job/JobPump.h"
#include "job/JobStart.h"
#include "job/RunStateWin.h"
#include "job/VolumePrepRules.h"
#include "zip/ZipLib.h"
#include "zip/ZipObj.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>

namespace job {

namespace {

using core::FileExists;

constexpr int afterPromptMs = 15'000;
constexpr int walkReadyMs = 15'000;
constexpr int beforeCopyMs = 10'000;
constexpr int afterFailedCopyMs = 1'000;
// A deleted file may linger a while on a slow medium before it is gone.
constexpr int afterDeleteMs = 6'000;
constexpr int deletePumps = 2001;
// The zip component names the parts of a split volume .z01 to .z999.
constexpr int largestPartNumber = 999;

const char archiveBitQuestion[] = "Reset the archive bit to the state before the backup";
const char notEnoughSpace[] = "Not enough free disk space for the next files in ";

bool DeleteIfThere(const std::string& path) {
    if (!FileExists(path)) return false;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != 0;
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':';
}

char UpperLetter(const std::string& path) {
    return path.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

std::string DriveTypeOf(const std::string& path) {
    return HasLetter(path) ? gui::DriveTypeText(path.substr(0, 2) + "\\") : std::string();
}

std::string Formatted(std::string pattern, const std::string& first, const std::string& second = {}) {
    size_t at = pattern.find("%s");
    if (at != std::string::npos) {
        pattern.replace(at, 2, first);
        at = pattern.find("%s", at + first.size());
        if (at != std::string::npos) pattern.replace(at, 2, second);
    }
    return pattern;
}

// The files of a volume as the zip component leaves them: its split parts (.z01 on, while
// they follow each other), then the volume itself.
std::vector<std::string> SplitSetOf(const std::string& volume) {
    std::vector<std::string> files;
    for (int part = 1; part <= largestPartNumber && FileExists(SplitPartName(volume, part)); ++part)
        files.push_back(SplitPartName(volume, part));
    files.push_back(volume);
    return files;
}

std::string ExtensionOf(const std::string& path) {
    const size_t dot = path.find_last_of(".\\/:");
    return dot != std::string::npos && path[dot] == '.' ? path.substr(dot) : std::string();
}

// The serial of the medium holding the folder; 0 when it cannot be read.
uint32_t MediumSerial(const std::string& folder) {
    char root[MAX_PATH];
    DWORD serial = 0;
    if (!GetVolumePathNameA(folder.c_str(), root, MAX_PATH)) return 0;
    if (!GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) return 0;
    return serial;
}

// More room than this on the same medium is taken as room made by the user.
constexpr int64_t roomChangeBytes = 1 << 20;

// Size and entry count of an existing zip, from its end record.
bool ZipFacts(const std::string& path, int64_t& bytes, int& entries) {
    try {
        gui::TFileStream stream(path, gui::fmOpenRead | gui::fmShareDenyNone);
        zip::TEndCentral end;
        if (!end.FindEndCentral(stream)) return false;
        bytes = stream.Size();
        entries = end.TotalEntries;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

VolumePrep::VolumePrep(JobSession& session, JobHost& host, DiscWriter* writer)
    : session_(session), run_(session.Run), host_(host), writer_(writer), roomWait_(host) {}

bool VolumePrep::JobGoesOn() {
    return !host_.Cancelled() && session_.State == JobState::Running;
}

bool VolumePrep::WriterChosen() const {
    return !run_.WriterChoice.empty();
}

bool VolumePrep::WriterLetter(const std::string& path) {
    const char letter = UpperLetter(path);
    return HasLetter(path) && host_.Drives().WriterLetters.find(letter) != std::string::npos;
}

bool VolumePrep::DiscHoldsJobFile() {
    if (!writer_) return false;
    for (size_t i = 0; i < run_.FflList.size(); ++i) {
        double date = 0;
        try {
            if (i < run_.DflList.size()) date = core::StrToFloatAnySep(run_.DflList[i], '.');
        } catch (const std::exception&) {
        }
        if (!writer_->FileNeedsBurning(run_.DestPath, run_.FflList[i], date)) return true;
    }
    return false;
}

bool VolumePrep::SelectWriter(char letter) {
    // A writer that cannot be selected is one that is not ready; the job goes on without it.
    try {
        return writer_->Select(run_.WriterChoice, letter);
    } catch (const std::exception& error) {
        host_.AddToLog(std::string("The disc writer could not be selected: ") + error.what());
    } catch (...) {
        host_.AddToLog("The disc writer could not be selected");
    }
    return false;
}

SpaceFigures VolumePrep::Figures() const {
    SpaceFigures figures;
    figures.MaxZipSize = run_.MaxZipSize;
    figures.SpaceReserve = run_.SpaceReserve;
    figures.TempSpaceMargin = run_.TempSpaceMargin;
    figures.TotalMB = run_.TotalMB;
    return figures;
}

void VolumePrep::CancelJob() {
    host_.SetCancelled(true);
}

void VolumePrep::AskArchiveBits(bool hidden) {
    if (!host_.Cancelled() || hidden || !run_.Options.ClearArchiveBit) return;
    if (!host_.AskYesNo(archiveBitQuestion, gui::TMsgIcon::Stop)) run_.KeepArchiveBitsCleared = true;
}

void VolumePrep::GetDestFreeSpace(bool forWrite) {
    DestinationState state;
    state.DestPath = run_.DestPath;
    state.DiscWriterMode = run_.DiscWriterMode;
    state.EraseFirst = run_.EraseFirst;
    const bool plainDrive = CheckDestination(state, false, host_.Hidden(), {});
    run_.DestDrive = state.DestDrive;
    run_.DestFreeSpace = state.DestFreeSpace;
    run_.DiscWriterMode = state.DiscWriterMode;
    run_.EraseFirst = state.EraseFirst;

    const DiscDrives drives = host_.Drives();
    if (plainDrive && !WriterChosen()) {
        run_.DiscWriterMode = false;
    } else if (drives.TransportLoaded && writer_) {
        if (!WriterLetter(run_.DestPath) && !WriterChosen()) {
            run_.DiscWriterMode = false;
            run_.EraseFirst = false;
        } else {
            run_.DiscWriterMode = true;
            if (forWrite) run_.EraseFirst = session_.Job.EraseCD || session_.Job.FullEraseCD;
            writer_->Load(drives.PreferInternal);
        }
    } else {
        run_.DiscWriterMode = false;
        run_.EraseFirst = false;
    }

    if (!run_.DiscWriterMode) {
        run_.DestFreeSpace = DriveFreeBytes(run_.DestDrive);
        return;
    }
    if (run_.EraseFirst) {
        run_.DestFreeSpace = std::max<int64_t>(writer_->RoomAfterErase(), 0);
        run_.SpaceReserve = DiscSpaceReserve(run_.MaxZipSize, run_.DestFreeSpace, run_.SpaceReserve);
        return;
    }
    // A disc that also takes plain file writes is used as a drive unless a writer was chosen.
    if (plainDrive && !WriterChosen()) {
        run_.DestFreeSpace = 0;
        return;
    }
    // A disc this job already wrote counts with its room after an erase, or with its free
    // room when that still takes a whole volume.
    if (forWrite && DiscHoldsJobFile()) {
        run_.DestFreeSpace = std::max<int64_t>(writer_->RoomAfterErase(), 0);
        run_.SpaceReserve = DiscSpaceReserve(run_.MaxZipSize, run_.DestFreeSpace, run_.SpaceReserve);
        const int64_t free = writer_->FreeBytes();
        if (free > run_.MaxZipSize) run_.DestFreeSpace = free;
        return;
    }
    run_.DestFreeSpace = std::max<int64_t>(writer_->FreeBytes(), 0);
    run_.SpaceReserve = DiscSpaceReserve(run_.MaxZipSize, run_.DestFreeSpace, run_.SpaceReserve);
}

void VolumePrep::ChooseDestination(bool discOnly) {
    run_.PreviousDestPath = run_.DestPath;
    const bool eraseBoxes = session_.Job.EraseCD || session_.Job.FullEraseCD;
    run_.EraseFirst = eraseBoxes;
    GetDestFreeSpace(true);
    if (!run_.EraseFirst && run_.DestFreeSpace > run_.MaxZipSize) return;
    // The disc this job wrote may still take the volume without an erase.
    if (run_.DiscWriterMode && DiscHoldsJobFile()) {
        const bool erase = run_.EraseFirst;
        run_.EraseFirst = false;
        try {
            GetDestFreeSpace(false);
        } catch (...) {
            run_.EraseFirst = erase;
            throw;
        }
        run_.EraseFirst = erase;
        if (run_.DestFreeSpace > run_.MaxZipSize) return;
    }

    const DiscDrives drives = host_.Drives();
    // A chosen writer is the destination itself: the alternatives are not taken.
    std::vector<std::string> alternatives =
        WriterChosen() ? std::vector<std::string>{run_.DestPath} : run_.DestList;
    for (const std::string& alternative : alternatives) {
        if (discOnly && !WriterLetter(alternative)) continue;
        run_.DestPath = alternative;
        run_.DestDrive = DriveOfPath(alternative);
        run_.EraseFirst = eraseBoxes;
        if (drives.TransportLoaded && writer_ && WriterLetter(alternative) &&
            DriveFreeBytes(run_.DestDrive) <= 0) {
            if (!SelectWriter(UpperLetter(alternative)) || !writer_->Ready(walkReadyMs)) continue;
            // A disc this job wrote is not taken again; any other disc is the next one.
            if (DiscHoldsJobFile()) continue;
            run_.DiscWriterMode = true;
            GetDestFreeSpace(true);
            return;
        } else if (!WriterChosen()) {
            run_.EraseFirst = false;
            run_.DiscWriterMode = false;
        }
        GetDestFreeSpace(true);
        if (run_.DestFreeSpace > run_.MaxZipSize) return;
    }
}

bool VolumePrep::CheckTempDrive() {
    const std::string temp = run_.TempPath;
    const int64_t free = HasLetter(temp) ? DriveFreeBytes(DriveOfPath(temp)) : 0;
    return TempDriveShort(run_.UseTempFileNow, temp, free, Figures());
}

void VolumePrep::HandleSpaceShortage() {
    const bool hidden = host_.Hidden();
    const std::string target = WriterChosen() ? run_.WriterChoice : run_.DestPath;
    GetDestFreeSpace(true);

    // The temporary drive: files are to be removed there; nothing else makes room.
    while (run_.UseTempFileNow && HasLetter(run_.TempPath) && !host_.Cancelled() && CheckTempDrive()) {
        const std::string text = Formatted("Not enough free temp disk space in: %s", run_.TempPath);
        host_.AddToLog(text);
        if (hidden || !host_.AskOkCancel(
                          text + ". Remove files until there is enough free space. Cancel will skip rest of "
                                 "files and abort the job!",
                          gui::TMsgIcon::Stop))
            CancelJob();
        AskArchiveBits(hidden);
    }

    bool shownForPrompt = false;
    // A volume that failed twice for want of room the room test did not see is short as well,
    // until the user answered (or, hidden, the wait is over).
    bool failedTwice = repeatedRoomFailure_;
    repeatedRoomFailure_ = false;
    const auto destinationShort = [&] {
        return failedTwice || DestinationShort(run_.DestFreeSpace, Figures());
    };
    if (!host_.Cancelled() && destinationShort()) {
        // A hidden job stays out of sight: its prompt is a mail.
        if (!hidden) shownForPrompt = host_.ShowWindowForPrompt();
        ChooseDestination(false);
        bool mailed = failedTwice && shortageMailed_;
        while (!host_.Cancelled() && destinationShort()) {
            ChooseDestination(false);
            run_.KeepArchiveBitsCleared = false;
            // A writer that already took files of this job asks for its next disc itself.
            if ((WriterChosen() || WriterLetter(run_.DestPath)) && !run_.FflList.empty()) break;
            if (!destinationShort()) break;
            if (!hidden) {
                host_.CloseStatusBox();
                shownForPrompt = host_.ShowWindowForPrompt() || shownForPrompt;
                if (!host_.AskOkCancel(
                        std::string(notEnoughSpace) + "\r" + target +
                            "\rinsert a new media, disk or remove files until there is enough free "
                            "space. \rCancel will skip rest of files and abort the job!",
                        gui::TMsgIcon::Stop))
                    CancelJob();
                AskArchiveBits(hidden);
            } else if (host_.MailConfigured()) {
                if (!mailed) {
                    host_.AddToLog(std::string(notEnoughSpace) + " " + target);
                    host_.SendJobMail(
                        {notEnoughSpace, target,
                         "insert a new media, disk or remove files until there is enough free space. "},
                        "Problem " + host_.JobName(), session_.JobLogName);
                    mailed = true;
                    shortageMailed_ = shortageMailed_ || failedTwice;
                    roomWait_.Start();
                }
                roomWait_.Retry();
            } else {
                host_.AddToLog(std::string(notEnoughSpace) + " " + target);
                host_.AddToLog("Not enough free disk space");
                CancelJob();
            }
            failedTwice = false;
            if (host_.Cancelled()) break;
            host_.Wait(afterPromptMs);
            if (host_.Cancelled()) break;
            if (writer_ && (WriterChosen() || WriterLetter(run_.DestPath))) {
                SelectWriter(UpperLetter(run_.DestPath));
            }
            GetDestFreeSpace(true);
            ChooseDestination(false);
            if (run_.DiscWriterMode) run_.UseTempFileNow = true;
        }
    }

    if (shownForPrompt) host_.MinimizeAfterPrompt();
    GetDestFreeSpace(true);
}

void VolumePrep::MediumReserve() {
    run_.SpaceReserve = MediumSpaceReserve(run_.MaxZipSize, run_.DestFreeSpace,
                                           DriveFreeBytes(run_.DestDrive), DriveTypeOf(run_.DestPath),
                                           HasLetter(run_.DestPath), run_.UseTempFileNow, run_.SpaceReserve);
}

void VolumePrep::DeleteVolumeAndParts(const std::string& volumePath) {
    if (volumePath.empty()) return;
    const auto remove = [this](const std::string& path) {
        if (DeleteIfThere(path)) host_.AddToLog("File deleted: " + path);
    };
    // Built in the temporary folder: a copy the run was making may be on the destination. Only
    // a file that holds the start of this volume is that copy; the medium in the drive may be
    // another, with a file of the same name that is no work of this run.
    if (!run_.TempPath.empty() && gui::CompareTextI(core::FolderOf(volumePath), run_.TempPath) == 0 &&
        !run_.DestPath.empty())
        for (const std::string& file : SplitSetOf(volumePath)) {
            const std::string copy = run_.DestPath + "\\" + FileNameOf(file);
            if (FileExists(copy) && HoldsStartOf(copy, file)) remove(copy);
        }
    remove(volumePath);
    for (int part = 1; part <= largestPartNumber; ++part)
        remove(SplitPartName(volumePath, part));
    for (const std::string& work : VolumeWorkFiles(run_.TempPath, FileNameOf(volumePath)))
        DeleteIfThere(work);
}

void VolumePrep::KeepVolumeStart(int zipNameNr) {
    VolumeRollback& start = run_.Rollback;
    start.Saved = true;
    start.ZipNameNr = zipNameNr;
    start.FilestoZipListNr = run_.FilestoZipListNr;
    start.iZip = run_.iZip;
    start.ZipVolumeList = run_.ZipVolumeList;
    start.FileCount = run_.FileCount;
    start.FilesCopyed = run_.FilesCopyed;
    start.BytesToBak = run_.BytesToBak;
    start.EarlierVolumeBytes = run_.EarlierVolumeBytes;
    start.CatSaved = run_.CatSaved;
    start.EndLinesWritten = run_.EndLinesWritten;
    start.FilesSkipped = run_.FilesSkipped;
}

bool VolumePrep::RollBackVolume(const std::string& fileBeingAdded) {
    VolumeRollback& start = run_.Rollback;
    if (!start.Saved) return false;
    start.Saved = false;
    const std::string failedVolume = run_.VolumePath;
    // The failed volume is this run's own: it goes, and its name is made again.
    DeleteVolumeAndParts(run_.VolumePath);
    NoteRoomFailure(failedVolume, fileBeingAdded);
    run_.VolumePath.clear();
    if (!run_.JobZipNames.empty()) run_.JobZipNames.pop_back();
    run_.ZipNameNr = start.ZipNameNr;
    run_.FilestoZipListNr = start.FilestoZipListNr;
    run_.iZip = start.iZip;
    run_.ZipVolumeList = start.ZipVolumeList;
    run_.FileCount = start.FileCount;
    run_.FilesCopyed = start.FilesCopyed;
    run_.BytesToBak = start.BytesToBak;
    run_.EarlierVolumeBytes = start.EarlierVolumeBytes;
    run_.CatSaved = start.CatSaved;
    run_.EndLinesWritten = start.EndLinesWritten;
    run_.FilesSkipped = start.FilesSkipped;
    run_.CurrentZipBytes = 0;
    run_.ZipEntryCount = 0;
    run_.EntryLimitReached = false;
    return true;
}

// The room test cannot see every shortage (a full network share reads as nearly endless, split
// parts outgrow the medium, a last file carries the volume past 4 GiB, a first entry is bigger
// than an empty medium): the volume would be made again and again. A second failure of the
// same volume on the same medium without more room is taken as a shortage.
void VolumePrep::NoteRoomFailure(const std::string& volumePath, const std::string& fileBeingAdded) {
    RoomFailure failure;
    failure.ZipNameNr = run_.Rollback.ZipNameNr;
    failure.FilestoZipListNr = run_.Rollback.FilestoZipListNr;
    failure.iZip = run_.Rollback.iZip;
    failure.Folder = core::FolderOf(volumePath);
    failure.Serial = MediumSerial(failure.Folder);
    failure.Free =
        HasLetter(failure.Folder) ? DriveFreeBytes(DriveOfPath(failure.Folder)) : DriveFreeBytes(-1);
    const RoomFailure& last = lastRoomFailure_;
    const bool sameVolume = last.ZipNameNr == failure.ZipNameNr &&
                            last.FilestoZipListNr == failure.FilestoZipListNr && last.iZip == failure.iZip;
    if (!sameVolume) shortageMailed_ = false;
    repeatedRoomFailure_ = sameVolume && gui::CompareTextI(last.Folder, failure.Folder) == 0 &&
                           last.Serial == failure.Serial && failure.Free <= last.Free + roomChangeBytes;
    lastRoomFailure_ = failure;
    if (repeatedRoomFailure_)
        host_.AddToLog("Not enough room for: " + volumePath +
                       " again, with the same medium and no more room" +
                       (fileBeingAdded.empty() ? std::string() : ", while adding: " + fileBeingAdded));
}

bool VolumePrep::SaveJobRunState() {
    return SaveJobRunState(run_.VolumePath, run_.ZipNameNr);
}

bool VolumePrep::SaveJobRunState(const std::string& volumePath, int zipNameNr) {
    const std::string base = ResumeStateBase(host_);
    if (base.empty()) return false;
    RunStateValues values;
    values.JobName = host_.JobName();
    values.ZipDate = run_.ZipDate;
    values.JobLogName = session_.JobLogName;
    values.CatalogName = run_.CatalogName;
    values.CatName = run_.CatName;
    values.EditCatNameText = run_.EditCatNameText;
    values.FileCount = run_.FileCount;
    values.FilesCopyed = run_.FilesCopyed;
    values.ZipNameNr = zipNameNr;
    values.FilesToBak = run_.FilesToBak;
    values.DirToBak = run_.DirToBak;
    values.FilestoZipListNr = run_.FilestoZipListNr;
    values.iZip = run_.iZip;
    values.Only83 = run_.Only83;
    values.DoIncludeReg = run_.DoIncludeReg;
    values.DoIncludeSysState = run_.DoIncludeSysState;
    values.DoCatalog = run_.DoCatalog;
    values.CatSaved = run_.CatSaved;
    values.VolumePath = volumePath;
    values.AfterDateTextBeforeStart = run_.AfterDateTextBeforeStart;
    RunStateLists lists;
    lists.Ftz.reserve(run_.FilestoZipList.size());
    for (const FileListEntry& entry : run_.FilestoZipList)
        lists.Ftz.push_back(entry.Path);
    for (const DeferredFile& deferred : run_.ZipVolumeList)
        lists.Tfl.push_back(deferred.Path);
    lists.Bfl = run_.BflList;
    lists.Cfl = run_.CflList;
    lists.Vfl = run_.VflList;
    lists.Ffl = run_.FflList;
    lists.Dfl = run_.DflList;
    const bool saved = SaveRunState(base, lists, values);
    if (!saved)
        host_.AddToLog(
            FileExists(base + ".run")
                ? "The resume state could not be saved, and the older one could not be deleted: " + base +
                      ".run"
                : "The resume state could not be saved, the job cannot be resumed: " + base + ".run");
    return saved;
}

ZipNameOptions VolumePrep::NameOptions() const {
    ZipNameOptions names;
    names.ZipName = run_.ZipName;
    names.ZipDate = run_.ZipDate;
    names.ChangedOnly = run_.Options.ChangedOnly;
    names.ClearArchiveBit = run_.Options.ClearArchiveBit;
    names.OverwriteExistingZipFile1 = run_.OverwriteExistingZipFile1;
    return names;
}

VolumeNameProbe VolumePrep::DestinationNames(const std::vector<std::string>& onDisc) {
    VolumeNameProbe probe;
    const std::string folder = run_.DestPath + "\\";
    probe.Exists = [folder, onDisc](const std::string& file) {
        return FileExists(folder + file) ||
               std::any_of(onDisc.begin(), onDisc.end(),
                           [&](const std::string& held) { return gui::CompareTextI(held, file) == 0; });
    };
    probe.InCatalog = [this](const std::string& file) {
        return std::any_of(run_.CatZipList.begin(), run_.CatZipList.end(),
                           [&](const std::string& held) { return gui::CompareTextI(held, file) == 0; });
    };
    if (!run_.DiscWriterMode && run_.OverwriteExistingZipFile1)
        probe.Delete = [this, folder](const std::string& file) {
            const std::string path = folder + file;
            DeleteIfThere(path);
            PumpRounds(host_, deletePumps);
            host_.Wait(afterDeleteMs);
            if (FileExists(path)) return false;
            host_.AddToLog("File deleted: " + path);
            return true;
        };
    return probe;
}

std::string VolumePrep::PrepareVolume(bool nameOnly) {
    nothingFitsSeen_ = false;
    run_.CurrentZipBytes = 0;
    run_.SpaceReserve = 0;
    // What a killed run left of its volume; its name and its place are taken again.
    if (!run_.VolumePath.empty() && run_.JobZipNames.empty()) DeleteVolumeAndParts(run_.VolumePath);
    run_.VolumePath.clear();
    if (!run_.ZipFileName.empty())
        for (const std::string& work : VolumeWorkFiles(run_.TempPath, run_.ZipFileName))
            DeleteIfThere(work);
    const int zipNameNrAtStart = run_.ZipNameNr;
    SaveJobRunState(std::string(), zipNameNrAtStart);

    const ZipNameOptions names = NameOptions();
    std::string name = MakeZipName(names, run_.ZipNameNr, false);
    GetDestFreeSpace(true);

    // No name of an older volume, split part or catalogued zip is taken again. A disc that is
    // erased first holds nothing to clash with.
    if (!(run_.DiscWriterMode && run_.EraseFirst)) {
        // A disc's names are those of its last session, which the next session continues.
        std::vector<std::string> onDisc;
        if (run_.DiscWriterMode) onDisc = DiscFolderNames(host_, run_.DestPath);
        name = FreeVolumeName(name, names, run_.ZipNameNr, DestinationNames(onDisc));
    }
    run_.ZipFileName = name;

    MediumReserve();
    if (CloseArchive) CloseArchive();
    HandleSpaceShortage();
    if (!JobGoesOn()) return {};

    run_.JobZipNames.push_back(name);
    if (nameOnly) return name;

    if (CloseArchive) CloseArchive();
    if (BuildInTempFolder(run_.UseTempFileNow, run_.DiscWriterMode, DriveTypeOf(run_.DestPath),
                          HasLetter(run_.DestPath))) {
        DeleteIfThere(run_.TempPath + name);
        run_.VolumePath = run_.TempPath + name;
        HandleSpaceShortage();
        if (!JobGoesOn()) {
            run_.VolumePath.clear();
            return {};
        }
        run_.CopyPending = !run_.DiscWriterMode;
    } else {
        run_.VolumePath = run_.DestPath + "\\" + name;
        run_.CopyPending = false;
    }

    // An existing destination zip of this name is updated: the volume starts at its size.
    int64_t zipBytes = 0;
    int zipEntries = 0;
    const bool updates = !run_.DiscWriterMode && !run_.CopyPending &&
                         ZipFacts(run_.DestPath + "\\" + name, zipBytes, zipEntries);
    const VolumeStart start =
        VolumeStartOf(run_.MaxZipSize, run_.SpaceReserve, updates, zipBytes, zipEntries);
    run_.ZipBudget = start.ZipBudget;
    run_.ZipEntryCount = start.ZipEntryCount;
    run_.CurrentZipBytes = start.StartBytes;

    const std::vector<std::string> work = VolumeWorkFiles(run_.TempPath, name);
    DeleteIfThere(work[0]);
    DeleteIfThere(work[1]);
    KeepVolumeStart(zipNameNrAtStart);
    SaveJobRunState(run_.VolumePath, zipNameNrAtStart);
    return name;
}

void VolumePrep::NextVolume(bool discStepActive) {
    if (discStepActive && run_.DiscWriterMode) return;
    if (host_.Cancelled()) return;
    PrepareVolume(false);
}

bool VolumePrep::CopyZipToDrive() {
    const std::string name = run_.VolumePath.empty() ? run_.ZipFileName : FileNameOf(run_.VolumePath);
    const std::string source = run_.TempPath + name;
    host_.Wait(beforeCopyMs);
    std::string landed;
    bool mailed = false;
    HiddenWait copyWait(host_);
    while (!host_.Cancelled()) {
        landed = CopySet(source);
        if (!landed.empty() || host_.Cancelled()) break;
        const std::string target = run_.DestPath + "\\" + name;
        const std::string text = Formatted(
            "There was a problem copying: %sto: %sif you are copying to a CD-RW the CD probably needs to be "
            "complete reformatted. Try to solve the problem and then press OK to retry, pressing cancel will "
            "cancel the backup job",
            "\r" + source + "\r", run_.DestPath + "\\\r");
        host_.AddToLog("There was a problem copying: " + source + " to: " + target);
        host_.Wait(afterFailedCopyMs);
        if (host_.Hidden()) {
            // No box can be answered: one notice, then a new try now and then.
            if (!host_.MailConfigured()) {
                CancelJob();
                break;
            }
            if (!mailed) {
                host_.SendJobMail({"There was a problem copying: ", source, "to: ", target,
                                   "Try to solve the problem, the copy is tried again every 2 minutes."},
                                  "Problem " + host_.JobName(), session_.JobLogName);
                mailed = true;
            }
            if (!copyWait.Retry()) break;
            continue;
        }
        const bool shown = host_.ShowWindowForPrompt();
        host_.Wait(afterFailedCopyMs);
        const bool retry = host_.AskOkCancel(text, gui::TMsgIcon::Stop);
        if (shown) host_.MinimizeAfterPrompt();
        if (!retry) {
            CancelJob();
            AskArchiveBits(false);
            break;
        }
    }
    if (!landed.empty()) {
        run_.CopyPending = false;
        // Only once every part is on the destination; else the temporary folder fills job
        // after job.
        for (const std::string& file : SplitSetOf(source))
            DeleteIfThere(file);
        if (!host_.Hidden() && !host_.Cancelled())
            host_.ShowStatusBox("File copied to dics, it is now safe to remove the media");
    }
    host_.SetStatusText("");
    return !landed.empty();
}

// One try at the copy of the volume and its split parts. The name is tested on the medium now
// in the drive: one swapped, or another alternative taken, since the volume was named may hold
// it, and nothing there is overwritten. Each file must read back as its source, and the set is
// tested where it landed when volumes are verified; a try that fails takes away what it copied.
// The landed volume's path, or empty.
std::string VolumePrep::CopySet(const std::string& source) {
    const std::vector<std::string> files = SplitSetOf(source);
    const std::string name = FileNameOf(source);
    // The counter moves on only for a copy that is kept.
    int zipNameNr = run_.ZipNameNr;
    const std::string landedName = FreeVolumeName(name, NameOptions(), zipNameNr, DestinationNames({}));
    if (gui::CompareTextI(landedName, name) != 0)
        host_.AddToLog("The destination holds " + run_.DestPath + "\\" + name +
                       ", the volume is copied as: " + landedName);
    std::vector<std::string> made;
    const auto takeBack = [&] {
        for (const std::string& file : made)
            DeleteIfThere(file);
        return std::string();
    };
    for (const std::string& file : files) {
        const std::string target = run_.DestPath + "\\" + zip::ChangeFileExt(landedName, ExtensionOf(file));
        if (!CopyFileThreaded(file, target, true, [this] { return host_.Cancelled(); })) return takeBack();
        made.push_back(target);
        host_.AddToLog("File copied: " + target);
    }
    if (VerifyCopy && !host_.Cancelled() && !VerifyCopy(made.back(), static_cast<int>(made.size())))
        return takeBack();
    run_.ZipNameNr = zipNameNr;
    if (gui::CompareTextI(landedName, name) != 0) {
        auto own = std::find_if(run_.JobZipNames.rbegin(), run_.JobZipNames.rend(),
                                [&](const std::string& held) { return gui::CompareTextI(held, name) == 0; });
        if (own != run_.JobZipNames.rend()) *own = landedName;
        if (VolumeLanded) VolumeLanded(source, made.back());
    }
    return made.back();
}

bool VolumePrep::NothingFits(const std::string& fileName) {
    if (!nothingFitsSeen_ && JobGoesOn()) {
        nothingFitsSeen_ = true;
        // Perhaps only the medium is too full: room is asked for once.
        run_.SpaceReserve = 0;
        if (CloseArchive) CloseArchive();
        HandleSpaceShortage();
        if (!JobGoesOn()) return false;
        MediumReserve();
        run_.ZipBudget = run_.MaxZipSize - run_.SpaceReserve;
        return true;
    }
    host_.ShowStatusAndLog("Job cancelled, the file does not fit in a volume: " + fileName);
    CancelJob();
    return false;
}

} // namespace job
