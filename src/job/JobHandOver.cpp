// The last stage of the job start: a resumed run's lists and counters, the zip components set
// up for the job, where volumes are built, the first volume's name and reserve, then the
// runner's first step.
#include "core/PathText.h"
#include "gui/CompareText.h"
#include "gui/DriveType.h"
#include "gui/FileAttributes.h"
#include "job/DriveSpace.h"
#include "job/JobDisc.h"
#include "job/JobRunner.h"
#include "job/JobStartRules.h"
#include "job/RunStateWin.h"
#include "job/VolumePrepRules.h"
#include "zip/UnZipperWin.h"
#include "zip/Zipper.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace job {

namespace {

int64_t SizeOfFile(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string WithoutExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of("\\:");
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? name
                                                                                   : name.substr(0, dot);
}

// name.z01 ... name.z999, the parts a split volume leaves beside it.
std::string SpanPartName(const std::string& volume, int n) {
    char extension[16];
    std::snprintf(extension, sizeof extension, ".z%02d", n);
    return WithoutExtension(volume) + extension;
}

} // namespace

// The writer of a disc job, selected once more for its volumes: the letter's drive when it is
// a writer, else the job's writer choice.
bool JobRunner::WriterSelected() {
    const DiscDrives drives = host_.Drives();
    const std::string& path = run_.DestPath;
    if (!drives.TransportLoaded || path.size() < 2 || path[1] != ':') return true;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    if (drives.WriterLetters.find(letter) == std::string::npos && session_.Job.WriterIndex <= 0) return true;
    return SelectBurnerDevice(host_, run_.WriterChoice, letter);
}

void JobRunner::LoadResumedRun() {
    host_.SetJobProgress(0);
    RunStateLists lists;
    RunStateValues values;
    values.JobName = host_.JobName();
    values.ZipDate = run_.ZipDate;
    values.JobLogName = session_.JobLogName;
    values.CatalogName = starter_.CsvFileName;
    values.CatName = starter_.CatalogNames;
    values.EditCatNameText = session_.Job.CatalogNames;
    LoadRunState(ResumeStateBase(host_), lists, values);
    run_.ZipDate = starter_.ZipDate = values.ZipDate;
    session_.JobLogName = values.JobLogName;
    if (!values.JobLogName.empty()) host_.BeginJobLog(values.JobLogName);
    run_.CatalogName = starter_.CsvFileName = values.CatalogName;
    run_.CatName = starter_.CatalogNames = values.CatName;
    run_.EditCatNameText = session_.Job.CatalogNames = values.EditCatNameText;
    run_.FileCount = values.FileCount;
    run_.FilesCopyed = values.FilesCopyed;
    run_.ZipNameNr = values.ZipNameNr;
    run_.FilesToBak = values.FilesToBak;
    run_.DirToBak = values.DirToBak;
    run_.FilestoZipListNr = values.FilestoZipListNr;
    run_.iZip = values.iZip;
    run_.Only83 = values.Only83;
    run_.DoIncludeReg = values.DoIncludeReg;
    run_.DoIncludeSysState = values.DoIncludeSysState;
    run_.DoCatalog = values.DoCatalog;
    run_.CatSaved = values.CatSaved;
    // The volume it was building: volume preparation deletes what the killed run left of it.
    run_.VolumePath = values.VolumePath;
    run_.JobZipNames.clear();
    host_.SetJobProgress(values.ProgressBar1);

    // The list files hold no sizes: they are read again.
    const int total = static_cast<int>(lists.Ftz.size() + lists.Tfl.size());
    run_.FilestoZipList.clear();
    run_.ZipVolumeList.clear();
    int done = 0;
    for (const std::string& line : lists.Ftz) {
        host_.ResetWatchdog();
        if (!host_.Hidden()) host_.SetStatusText("Reading file informations: " + line);
        run_.FilestoZipList.push_back({line, SizeOfFile(line)});
        host_.SetPassProgress(++done, total);
        if (done % 100 == 0) host_.Pump();
    }
    for (const std::string& line : lists.Tfl) {
        run_.ZipVolumeList.push_back({line, SizeOfFile(line)});
        host_.SetPassProgress(++done, total);
        if (done % 100 == 0) host_.Pump();
    }
    // The saved place is kept: the run goes on at the volume it was building.
    if (run_.FilestoZipListNr < 0 || run_.FilestoZipListNr > static_cast<int>(run_.FilestoZipList.size()))
        run_.FilestoZipListNr = 0;
    run_.BflList = lists.Bfl;
    run_.CflList = lists.Cfl;
    run_.VflList = lists.Vfl;
    run_.FflList = lists.Ffl;
    run_.DflList = lists.Dfl;
}

void JobRunner::SetUpZippers() {
    const std::string tempPath = host_.TempPath();
    const JobDefinition& job = session_.Job;
    zip::TZipper& z2 = *zipper2_;
    z2.TempPath = tempPath;
    z2.SetRootDir("");
    z2.ClearZip();
    z2.Dispose = false;
    z2.PackLevel = starter_.ZipPackLevel;
    zip::TZipper& z1 = *zipper1_;
    z1.TempPath = tempPath;
    z1.SetRootDir("");
    z1.Dispose = false;
    z1.PackLevel = starter_.ZipPackLevel;
    z1.FilesList.Clear();
    z1.KeepZipOpen = true;
    z1.Password = job.ZipPassword;
    z1.WriteVerify = host_.VerifyWrites();
    z1.SetStoreVolumes(job.Includedriveinfo || job.IncludeFulldriveInfo);
    z1.SetCompVolumes(job.Includedriveinfo);
    z1.SetOEMConvert(job.OEMConvert);
    z1.ResetArchiveBitOnZip = job.ClearArchiveBit;
}

// Volumes for a CD drive used as a plain drive are built in the temporary folder, which must
// have room for one; the user may go on without it.
bool JobRunner::TemporaryFileDecision() {
    const std::string& destPath = run_.DestPath;
    zip::TZipper& z1 = *zipper1_;
    const std::string tempPath = host_.TempPath();
    const int64_t destFree = run_.DestFreeSpace;
    const std::string driveType =
        destPath.size() >= 2 && destPath[1] == ':' ? gui::DriveTypeText(destPath.substr(0, 1) + ":\\") : "";
    if (run_.DiscWriterMode) {
        z1.UseTempFile = false;
        run_.UseTempFileNow = true;
        return true;
    }
    if (driveType != "CDROM") {
        z1.UseTempFile = false;
        run_.UseTempFileNow = false;
        return true;
    }
    z1.UseTempFile = true;
    const auto tempFree = [&] { return DriveFreeBytes(DriveOfPath(tempPath)); };
    if (host_.UseCDR()) {
        const int64_t free = tempFree();
        const bool enough =
            free > destFree + TempFolderSlack ||
            free >= run_.MaxZipSize - run_.SpaceReserve + run_.TempSpaceMargin + TempFolderSlack ||
            free >= run_.TotalMB * 1'000'000 + TempFolderSlack;
        // A hidden job takes the boxes' default, OK, as every hidden question does.
        const bool hidden = host_.Hidden();
        if (!enough) {
            const std::string text = "Not enough free space in: \r" + tempPath +
                                     "\rDelete some files to make some free space and press OK or continue "
                                     "without using temp file, not recomended if you are writing to a CDR";
            if (!hidden && !host_.AskOkCancel(text, gui::TMsgIcon::Warning)) {
                host_.SetCancelled(true);
                return false;
            }
            if (tempFree() < destFree + TempFolderSlack) {
                const std::string without = "Continuing the job without using temp file, this is not "
                                            "recomended if you are writing to a CDR";
                if (hidden) {
                    host_.AddToLog(without);
                } else if (!host_.AskOkCancel(without, gui::TMsgIcon::Warning)) {
                    host_.SetCancelled(true);
                    return false;
                }
                host_.ClearUseCDR();
                z1.UseTempFile = false;
                run_.UseTempFileNow = false;
            }
        }
    } else if (tempFree() < destFree + TempFolderSlack) {
        z1.UseTempFile = false;
        run_.UseTempFileNow = false;
    }
    return true;
}

// One search for the stem's ".z*" names rather than a question per possible part: the
// names found are deleted when they are exactly one of the part names.
void JobRunner::DeleteStaleSpanParts() {
    const std::string base = host_.TempPath() + run_.ZipFileName;
    const std::string stem = WithoutExtension(base);
    const std::string folder = core::FolderOf(stem);
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((stem + ".z*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> parts;
    do {
        const std::string name = found.cFileName;
        const size_t dot = name.find_last_of('.');
        const std::string digits =
            dot == std::string::npos || dot + 2 > name.size() ? std::string() : name.substr(dot + 2);
        if (digits.empty() || digits.size() > 3 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int n = std::atoi(digits.c_str());
        if (n >= 1 && n <= 999 && gui::CompareTextI(folder + name, SpanPartName(base, n)) == 0)
            parts.push_back(folder + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    for (size_t i = 0; i < parts.size(); ++i) {
        DeleteFileA(parts[i].c_str());
        if (i % 50 == 49) host_.PumpIfDue();
    }
}

bool JobRunner::HandOver() {
    const JobDefinition& job = session_.Job;
    const bool resumed = starter_.Resumed;
    run_.JobName = host_.JobName();
    run_.CsvFileName = starter_.CsvFileName;
    run_.RunLogName = host_.ProgramFolder() + JobBaseName(run_.JobName) + ".log";
    run_.TempPath = host_.TempPath();
    run_.ZipPackLevel = starter_.ZipPackLevel;
    run_.Hidden = host_.Hidden();
    run_.Splitlargefiles = job.Splitlargefiles;
    run_.Optimizeusedspace = job.Optimizeusedspace;
    run_.Allfilenames1 = job.Allfilenames1;
    run_.IncludeDateTime1 = job.IncludeDateTime1;
    run_.MaxZipSize = starter_.MaxZipSize;
    run_.EarlierVolumeBytes = 0;
    run_.EntryLimitReached = false;
    run_.EndLinesWritten = false;
    run_.CurrentZipBytes = 0;
    volumeOpen_ = false;
    DiscStepPending = false;
    JobReachedEnd = false;
    JobHadProblem = false;
    clearedBits_.clear();
    catalogued_.clear();
    bitsKeptForResume_.clear();
    volumeKey_.clear();
    volumeUnsound_ = false;
    run_.KeepArchiveBitsCleared = false;
    run_.JobZipNames.clear();
    tailDone_ = false;
    endLogged_ = false;
    if (!resumed) {
        run_.BflList.clear();
        run_.CflList.clear();
        run_.VflList.clear();
        run_.FflList.clear();
        run_.DflList.clear();
        run_.CatalogName = starter_.CsvFileName;
        run_.CatName = starter_.CatalogNames;
        run_.EditCatNameText = session_.Job.CatalogNames;
        if (const std::string base = ResumeStateBase(host_); !base.empty())
            DeleteFileA((base + RunStateBitsExtension).c_str());
    } else {
        TakeBackKeptBits();
    }
    BflIndex = -1;

    PlannerFileOptions options;
    options.ZipPackLevel = starter_.ZipPackLevel;
    options.DoIncludeReg = run_.DoIncludeReg;
    // The live hives, locked while Windows runs, are taken as their saved copies.
    options.WindowsFolder = host_.WindowsFolder();
    options.ApplicationDataPath = run_.UserFolders;
    options.CsvFileName = run_.CsvFileName;
    options.DestPath = run_.DestPath;
    options.Locale = host_.Locale();
    plannerFiles_ = std::make_unique<RunnerPlannerFiles>(std::move(options), host_, *zipper1_);
    planner_ = std::make_unique<VolumePlanner>(run_, *plannerFiles_, host_);

    // A cancel asked for here (a space question) ends the run as one in the runner does.
    const auto cancelledHere = [this] {
        if (host_.Cancelled() && session_.State == JobState::Running) CancelTail();
        return false;
    };
    run_.UseTempFileNow = run_.DiscWriterMode || host_.UseTempFile();
    SetUpZippers();
    if (!TemporaryFileDecision()) return cancelledHere();
    // The start takes a destination it could not select a writer for as a disc job all the
    // same; no volume is made for a writer that is not there.
    if (run_.DiscWriterMode && !WriterSelected()) {
        const std::string text =
            run_.DestPath.substr(0, 2) + " is not a valid CD or DVD device, job cancelled";
        host_.AddToLog(text);
        if (!run_.Hidden) host_.ShowMessage(text, gui::TMsgIcon::Stop);
        host_.SetStatusText("Job cancelled by user");
        return false;
    }
    if (Prep) Prep->NextVolume();
    DeleteStaleSpanParts();
    FirstVolume = true;
    host_.Pump();
    if (run_.DiscWriterMode) {
        zipper1_->UseTempFile = false;
    } else {
        const int64_t free = DriveFreeBytes(DriveOfPath(run_.DestPath));
        if (free < run_.MaxZipSize - run_.SpaceReserve && free > MinimumDestFreeSpace)
            run_.SpaceReserve = run_.MaxZipSize - free;
    }
    if (host_.Cancelled() || session_.State != JobState::Running) return cancelledHere();
    if (run_.FilestoZipList.empty() && run_.ZipVolumeList.empty()) {
        if (!run_.Hidden) host_.SetStatusText("No files selected for backup");
        host_.AddToLog("Backup end: " + run_.JobName + " nothing to do.");
        host_.AddToLog("");
        host_.DiscardResumeState();
        host_.SetJobProgress(0);
        return false;
    }
    RunBackupJob();
    return true;
}

} // namespace job
