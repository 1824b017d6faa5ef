#include "job/JobRunner.h"

#include "gui/CompareText.h"
#include "gui/DriveType.h"
#include "gui/FileAttributes.h"
#include "job/DriveSpace.h"
#include "job/JobPump.h"
#include "job/RunStateWin.h"
#include "job/VolumePrepRules.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipperWin.h"
#include "zip/WriteSink.h"
#include "zip/ZipCodecErrors.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <windows.h>

#include <algorithm>

namespace job {

namespace {

constexpr int settleMs = 10'000;  // before a volume is prepared
constexpr int endWaitMs = 15'000; // before the end phase takes the stop file away
constexpr int64_t entryLimitSlack = 100'000;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int64_t SizeOfFile(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string DriveTypeOf(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' ? gui::DriveTypeText(path.substr(0, 1) + ":\\") : std::string();
}

// The component clears archive bits through the program's one attributes interface, and
// writes its archives through the runner's output-file seam. Each bit it clears is told.
class AttributeZipperFiles final : public zip::TWinZipperFileSystem {
  public:
    AttributeZipperFiles(gui::FileAttributes& attributes, const JobRunner::OutputFileSeam& outputFile,
                         std::function<void(const std::string&)> cleared)
        : zip::TWinZipperFileSystem(DriveTypeOf), attributes_(attributes), outputFile_(outputFile),
          cleared_(std::move(cleared)) {}
    bool SetAttributes(const std::string& name, uint32_t attributes) override {
        const uint32_t before = attributes_.Get(name);
        if (attributes_.Set(name, attributes) != 0) return false;
        if (before != gui::InvalidFileAttributes && (before & gui::AttributeArchive) &&
            !(attributes & gui::AttributeArchive))
            cleared_(name);
        return true;
    }
    bool ClearArchiveBit(const std::string& name, uint32_t read) override {
        if (attributes_.ClearArchiveBit(name, read)) cleared_(name);
        return true;
    }
    std::unique_ptr<zip::TSinkFile> OpenOutput(const std::string& name, bool keepExisting,
                                               const std::string& stagingName) override {
        std::unique_ptr<zip::TSinkFile> file =
            TWinZipperFileSystem::OpenOutput(name, keepExisting, stagingName);
        return outputFile_ ? outputFile_(std::move(file)) : std::move(file);
    }

  private:
    gui::FileAttributes& attributes_;
    const JobRunner::OutputFileSeam& outputFile_;
    std::function<void(const std::string&)> cleared_;
};

// A volume's name without folder and extension, in lower case: its split parts have it too.
std::string VolumeKey(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool InFolder(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.size() > folder.size() &&
           gui::CompareTextI(path.substr(0, folder.size()), folder) == 0;
}

} // namespace

void RunnerPlannerFiles::AddToZipFiles(const std::string& path) {
    zipper_.FilesList.Add(path);
    zip::TSourceInfo info;
    std::unique_ptr<gui::TStream> source;
    if (TakeTested(path, info, source)) zipper_.HandOver(path, info, std::move(source));
}

JobRunner::JobRunner(JobSession& session, JobHost& host, JobStarter& starter, gui::FileAttributes& attributes)
    : session_(session), run_(session.Run), host_(host), starter_(starter), attributes_(attributes),
      inputFiles_(std::make_unique<zip::TWinExtractFileSystem>(attributes)),
      outputFiles_(std::make_unique<AttributeZipperFiles>(
          attributes, OutputFile, [this](const std::string& path) { BitCleared(path); })),
      zipper1_(std::make_unique<zip::TZipper>(*inputFiles_, *outputFiles_)),
      zipper2_(std::make_unique<zip::TZipper>(*inputFiles_, *outputFiles_)) {
    // Catalogue lines and stored paths need the files' folders in the zips.
    zipper1_->SetStorePaths(true);
    zipper2_->SetStorePaths(true);
    zip::ConnectToProgram(*zipper1_);
    zip::ConnectToProgram(*zipper2_);
    ConnectEvents();
}

JobRunner::~JobRunner() = default;

void JobRunner::PostContinue() {
    continuePosted_ = true;
    host_.PostContinueJob();
}

void JobRunner::RunBackupJob() {
    if (stepActive_) {
        // Delivered by a pumped wait of the running step: no second step now. Once the step is
        // over the next is asked for again, unless the step handed on by itself.
        continueAsked_ = true;
        continuePosted_ = false;
        return;
    }
    if (session_.State != JobState::Running) return;
    continueAsked_ = false;
    continuePosted_ = false;
    endDue_ = false;
    {
        // Whatever leaves the step, the next one may come and the job end may run.
        struct StepMark {
            JobRunner& runner;
            JobStepMark step;
            explicit StepMark(JobRunner& r) : runner(r), step(r.session_.EndGuard) {
                runner.stepActive_ = true;
            }
            ~StepMark() { runner.stepActive_ = false; }
        } mark(*this);
        try {
            Step();
        } catch (const std::exception& error) {
            StepFailed(error.what());
        }
    }
    if (session_.State != JobState::Running && session_.State != JobState::Ending) return;
    if (endDue_ || host_.Cancelled())
        starter_.EndJob();
    else if (continueAsked_ && !continuePosted_)
        PostContinue();
}

void JobRunner::StepFailed(const std::string& what) {
    if (endLogged_) {
        // Every volume is written and the end is logged: the job ends as it stands, with the
        // error in its log, rather than as cancelled with its archive bits set again.
        host_.AddToLog(std::string("Backup error: ") + what);
        JobHadProblem = true;
        if (NothingLeftToResume()) host_.DiscardResumeState();
        WorkOver();
        endDue_ = true;
        return;
    }
    host_.AddToLog("Backup terminated unexpected: " + run_.JobName);
    host_.AddToLog(std::string("Backup error: ") + what);
    JobHadProblem = true;
    host_.SetCancelled(true);
    CancelTail();
}

bool JobRunner::EndEntriesDue() const {
    return !run_.CatSaved || !run_.EndLinesWritten;
}

bool JobRunner::WorkLeft() const {
    return run_.FilestoZipListNr < static_cast<int>(run_.FilestoZipList.size()) ||
           !run_.ZipVolumeList.empty() || EndEntriesDue();
}

bool JobRunner::LastVolumeAtDiscStep() const {
    // In the end phase the entry the step has is still on the list.
    const size_t held = BflIndex >= 0 ? 1 : 0;
    return !WorkLeft() && run_.BflList.size() <= held;
}

void JobRunner::Step() {
    if (!DiscStepPending) {
        host_.SetPassProgress(0, 100);
        if (run_.CopyPending) {
            host_.ShowDestFreeSpace(DriveFreeBytes(DriveOfPath(run_.DestPath)));
            if (!run_.Hidden)
                host_.SetStatusText(
                    DriveTypeOf(run_.DestPath) == "CDROM"
                        ? "WAIT!, copying data to CD-RW. It may take an hour, 4x speed up to 20 min."
                        : "WAIT!, copying data to " + run_.DestPath);
            host_.Pump();
        }
    }
    if (host_.Cancelled()) {
        EndPhase();
        return;
    }
    if (WorkLeft() || volumeOpen_ || DiscStepPending) {
        if (VolumeStep() && host_.Cancelled()) CancelTail();
    } else {
        EndPhase();
    }
    if (!host_.Cancelled()) session_.JobAlive();
}

// False on the early ways out that skip the cancel tail: cancelled before any work, or the
// volume handed to the disc step.
bool JobRunner::VolumeStep() {
    zip::TZipper& z1 = *zipper1_;
    z1.KeepZipOpen = false;
    if (host_.Cancelled()) return false;
    z1.FilesList.Clear();
    // The first volume was prepared by the start, which also removed what a killed run left
    // under the name it resumes with.
    if (!FirstVolume) {
        if ((volumeOpen_ || DiscStepPending) && !FinishVolume()) return false;
        if (host_.Cancelled()) return true;
        if (!WorkLeft()) {
            EndPhase();
            return true;
        }
        if (!DiscStepPending) run_.EntryLimitReached = false;
        host_.Wait(settleMs);
        if (!host_.Cancelled() && Prep) Prep->NextVolume(DiscStepPending);
    }
    ZipVolume();
    return true;
}

// The volume just zipped is logged, verified, and handed to the disc step or copied from the
// temporary folder; one that is not soundly written gives the archive bits it cleared back.
// False when the disc step took it.
bool JobRunner::FinishVolume() {
    zip::TZipper& z1 = *zipper1_;
    volumeOpen_ = false;
    if (DiscStepPending) {
        // Back from the disc step: written, waiting for the end phase, or given up (the disc
        // step said so).
        DiscStepPending = false;
        if (!WaitsForDisc(volumeKey_)) VolumeWritten(volumeKey_);
        return true;
    }
    if (run_.EntryLimitReached) run_.EarlierVolumeBytes += run_.CurrentZipBytes + entryLimitSlack;
    const std::string archive = z1.ZipName();
    if (!archive.empty() && Exists(archive))
        host_.AddToLog("File created: " + archive + " / " + std::to_string(run_.CurrentZipBytes));
    const VolumeTest test = session_.Job.Testarchiveafterbackup1 ? TestZipFile() : VolumeTest::Sound;
    z1.ClearZip();
    if (test == VolumeTest::Unsound || volumeUnsound_) VolumeNotWritten(archive);
    // A cancel in the test or the destination walk ends the job here, through the cancel
    // tail: the volume goes neither to the disc step nor to the copy.
    if (!host_.Cancelled() && Prep) Prep->ChooseDestination(false);
    if (host_.Cancelled()) return true;
    return DeliverVolume(archive);
}

// The destination walk may have moved the job to the other kind of destination: a volume
// built on its destination is there already; one built in the temporary folder for the other
// kind is neither burned nor copied. False when the disc step took the volume.
bool JobRunner::DeliverVolume(const std::string& archive) {
    const bool kindChanged = run_.DiscWriterMode != builtForDisc_;
    if (kindChanged && builtInTemp_) {
        run_.CopyPending = false;
        host_.AddToLog("The volume was made for another kind of destination than " + run_.DestPath +
                       ", it is left in the temporary folder: " + archive);
        VolumeNotWritten(archive);
        return true;
    }
    if (run_.DiscWriterMode && !kindChanged) {
        DiscStepPending = true;
        SpaceFigures figures{run_.MaxZipSize, run_.SpaceReserve, run_.TempSpaceMargin, run_.TotalMB};
        const std::string temp = host_.TempPath();
        host_.PostDiscStep(
            TempDriveShort(run_.UseTempFileNow, temp, DriveFreeBytes(DriveOfPath(temp)), figures));
        continuePosted_ = true; // the disc step answers with the next call
        return false;
    }
    if (run_.CopyPending) {
        zipper1_->ClearZip();
        host_.SetStatusText("");
        // Not copied only when cancelled: the cancel tail follows.
        if (Prep && !Prep->CopyZipToDrive()) return true;
    }
    VolumeWritten(volumeKey_);
    return true;
}

// The volume is soundly written: its files' bits stay cleared and its catalogue lines stand.
void JobRunner::VolumeWritten(const std::string& volumeKey) {
    clearedBits_.erase(volumeKey);
    catalogued_.erase(volumeKey);
}

// A volume not written takes its lines out of the catalogue again: a run that judges changes by
// the catalogue would otherwise pass its files by.
void JobRunner::UncatalogueVolume(const std::string& volumeKey) {
    const auto found = catalogued_.find(volumeKey);
    if (found == catalogued_.end()) return;
    host_.UncatalogueZip(found->second);
    catalogued_.erase(found);
}

void JobRunner::BitCleared(const std::string& path) {
    clearedBits_[volumeKey_].push_back(path);
}

int JobRunner::GiveBitsBack(const std::string& volumeKey) {
    const auto found = clearedBits_.find(volumeKey);
    if (found == clearedBits_.end()) return -1;
    int failed = 0;
    for (const std::string& path : found->second) {
        const uint32_t attributes = attributes_.Get(path);
        if (attributes == gui::InvalidFileAttributes) {
            ++failed;
            continue;
        }
        if (!(attributes & gui::AttributeArchive) &&
            attributes_.Set(path, attributes | gui::AttributeArchive) != 0)
            ++failed;
    }
    clearedBits_.erase(found);
    return failed;
}

void JobRunner::WaitForDisc(const std::string& volume) {
    run_.BflList.push_back(volume);
    const std::string key = VolumeKey(volume);
    const auto found = clearedBits_.find(key);
    const std::string base = ResumeStateBase(host_);
    if (found == clearedBits_.end() || base.empty()) return;
    // A split set's parts wait one by one: each keeps the files cleared since the last one.
    size_t& kept = bitsKeptForResume_[key];
    if (kept >= found->second.size()) return;
    const std::vector<std::string> paths(found->second.begin() + static_cast<ptrdiff_t>(kept),
                                         found->second.end());
    std::string reason;
    if (!AppendVolumeBits(base, volume, paths, reason)) {
        host_.AddToLog("The archive bits of a volume waiting for the disc are not kept for a resume (" +
                       reason + "): " + volume);
        return;
    }
    kept = found->second.size();
}

// The volumes still waiting for the disc get back the records of the archive bits they
// cleared before the run was interrupted.
void JobRunner::TakeBackKeptBits() {
    const std::string base = ResumeStateBase(host_);
    if (base.empty()) return;
    for (auto& [volume, path] : LoadVolumeBits(base)) {
        const std::string key = VolumeKey(volume);
        if (!WaitsForDisc(key)) continue;
        clearedBits_[key].push_back(std::move(path));
        ++bitsKeptForResume_[key];
    }
}

bool JobRunner::WaitsForDisc(const std::string& volumeKey) const {
    return std::any_of(run_.BflList.begin(), run_.BflList.end(),
                       [&](const std::string& waiting) { return VolumeKey(waiting) == volumeKey; });
}

void JobRunner::VolumeGone(const std::string& volume) {
    host_.AddToLog("File not written to disc, it is no longer in the temporary folder: " + volume);
    VolumeNotWritten(volume);
}

void JobRunner::VolumeNotWritten(const std::string& volume) {
    JobHadProblem = true;
    run_.FilesLeftUncopied = true;
    const std::string key = VolumeKey(volume);
    // Bits the volume being built clears after this go back when it is finished.
    if (key == volumeKey_) volumeUnsound_ = true;
    UncatalogueVolume(key);
    const int failed = GiveBitsBack(key);
    if (failed < 0) return;
    host_.AddToLog("Archivebits reset for the files of: " + volume +
                   (failed > 0 ? ", " + std::to_string(failed) + " could not be set" : std::string()));
}

// The planner fills Zipper1's list and the zip run builds the volume.
void JobRunner::ZipVolume() {
    if (host_.Cancelled() || session_.State != JobState::Running) return;
    zip::TZipper& z1 = *zipper1_;
    FirstVolume = false;
    for (;;) {
        z1.KeepZipOpen = true;
        z1.SetZipName(run_.VolumePath);
        volumeKey_ = VolumeKey(run_.VolumePath);
        builtForDisc_ = run_.DiscWriterMode;
        builtInTemp_ = InFolder(run_.VolumePath, run_.TempPath);
        volumeUnsound_ = false;
        z1.FilesList.Clear();
        csvSizeAtVolumeStart_ =
            run_.CsvFileName.empty() || !Exists(run_.CsvFileName) ? -1 : SizeOfFile(run_.CsvFileName);
        planner_->StartVolume();
        // A cancel while the first entry was chosen is no volume to make, nor a file too big.
        if (host_.Cancelled()) {
            plannerFiles_->DropOpened();
            z1.FilesList.Clear();
            return;
        }
        if (z1.FilesList.Count() == 0) {
            plannerFiles_->DropOpened();
            if (NothingPlanned()) continue;
            return;
        }
        ZipRunning = true;
        if (run_.Splitlargefiles) {
            z1.MultiZipInfo.MultiMode = zip::mmBlocks;
            z1.MultiZipInfo.BlockSize = static_cast<uint32_t>(run_.MaxZipSize);
            z1.MultiZipInfo.FirstBlockSize = static_cast<uint32_t>(run_.MaxZipSize);
        } else {
            z1.MultiZipInfo.MultiMode = zip::mmNone;
        }
        volumeOpen_ = true;
        if (!ZipOnce()) return;
    }
}

// The planner added nothing to a fresh volume: no empty zip is made. When entries are still
// to come the first does not fit; volume preparation takes that as a shortage once, then ends
// the job naming it. True when the volume is to be planned again.
bool JobRunner::NothingPlanned() {
    volumeOpen_ = false;
    const bool linesLeft = run_.FilestoZipListNr < static_cast<int>(run_.FilestoZipList.size());
    if (!linesLeft && run_.ZipVolumeList.empty()) {
        // Only end entries were due and none could be added: they are given up, not retried.
        run_.CatSaved = true;
        run_.EndLinesWritten = true;
        PostContinue();
        return false;
    }
    const std::string entry =
        linesLeft ? run_.FilestoZipList[run_.FilestoZipListNr].Path : run_.ZipVolumeList.front().Path;
    if (!Prep) {
        host_.ShowStatusAndLog("Job cancelled, the file does not fit in a volume: " + entry);
        host_.SetCancelled(true);
        return false;
    }
    return Prep->NothingFits(entry) && !host_.Cancelled() && session_.State == JobState::Running;
}

// One zip run of the volume. False when the step ends here (done, cancelled, failed); true
// when the volume was rolled back and is to be built again.
bool JobRunner::ZipOnce() {
    zip::TZipper& z1 = *zipper1_;
    try {
        z1.Zip();
        ZipRunning = false;
        if (AddZipToCatalog) {
            AddZipToCatalog(z1.ZipName());
            catalogued_[volumeKey_] = z1.ZipName();
        }
        PostContinue();
        return false;
    } catch (const zip::EUserCanceled&) {
        ZipRunning = false;
        volumeOpen_ = false;
        host_.SetCancelled(true);
    } catch (const zip::ENotEnoughRoom& error) {
        ZipRunning = false;
        host_.AddToLog("Not enough room for: " + run_.VolumePath +
                       ", the volume is made again: " + error.what());
        return RollBackVolume();
    } catch (const zip::EWrongFileSize&) {
        ZipRunning = false;
        if (host_.AskYesNo(
                "Your disk operating system has reported a wrong file size. If you are using Prassi abCD it "
                "is due "
                "to a bug in this software. You can open the file \"Quillet.ini\" and change the line "
                "\"UseTempFile=0\" to \"UseTempFile=1\", the disadvantage by doing this is that you need "
                "about "
                "600 Mb free disk space for temporary files.\r\n\r\nWould you like Tarnwick to make this "
                "modifications for you?",
                gui::TMsgIcon::Stop)) {
            z1.UseTempFile = true;
            run_.UseTempFileNow = true;
            host_.SetUseTempFile(true);
            host_.ShowMessage("You must format your CD-RW to continue using it", gui::TMsgIcon::Warning);
            return RollBackVolume();
        }
        volumeOpen_ = false;
        host_.SetCancelled(true);
    } catch (const std::exception& error) {
        ZipRunning = false;
        volumeOpen_ = false;
        host_.AddToLog(std::string("Backup error: ") + error.what());
        JobHadProblem = true;
        host_.SetCancelled(true);
    }
    return false;
}

// The volume's zip run failed and the component deleted what it wrote: the files whose
// archive bits it cleared get them back, the catalogue list loses their lines, and volume
// preparation takes the run back to the volume's start and makes the volume again. True when
// it is to be built again.
bool JobRunner::RollBackVolume() {
    volumeOpen_ = false;
    const int failed = GiveBitsBack(volumeKey_);
    if (failed > 0)
        host_.AddToLog("Archivebits could not be set again for " + std::to_string(failed) +
                       " files of: " + run_.VolumePath);
    if (csvSizeAtVolumeStart_ >= 0) plannerFiles_->TruncateCsv(csvSizeAtVolumeStart_);
    if (!Prep || !Prep->RollBackVolume(entryBeingAdded_)) {
        JobHadProblem = true;
        host_.SetCancelled(true);
        return false;
    }
    Prep->PrepareVolume(false);
    return !host_.Cancelled() && session_.State == JobState::Running && !run_.VolumePath.empty();
}

void JobRunner::LogSummary() {
    host_.AddToLog("Files checked: " + std::to_string(run_.FileCount));
    host_.AddToLog("Files backed up: " + std::to_string(run_.FilesCopyed));
    host_.AddToLog("Bytes backed up: " + std::to_string(run_.BytesToBak));
    if (run_.FilesSkipped) host_.AddToLog("Warning some files where skipped see detailed log!");
    if (run_.ItemMissing) host_.AddToLog("Warning missing items see detailed log!");
    host_.AddToLog("Detailed log saved as: " + session_.JobLogName);
}

void JobRunner::DeleteWorkFiles() {
    if (run_.ZipFileName.empty()) return;
    const std::vector<std::string> files = VolumeWorkFiles(host_.TempPath(), run_.ZipFileName);
    DeleteFileA(files[0].c_str());
    DeleteFileA(files[1].c_str());
}

void JobRunner::EndPhase() {
    if (session_.State != JobState::Running && !host_.Cancelled()) return;
    // Volumes the disc step could not write are offered once more.
    while (!run_.BflList.empty() && !host_.Cancelled()) {
        if (BflIndex >= 0 && BflIndex < static_cast<int>(run_.BflList.size())) {
            const std::string key = VolumeKey(run_.BflList[BflIndex]);
            run_.BflList.erase(run_.BflList.begin() + BflIndex);
            BflIndex = -1;
            // Written, or given up (the disc step said so), unless it came back to the list.
            if (!WaitsForDisc(key)) VolumeWritten(key);
            continue;
        }
        const std::string file = run_.BflList.front();
        if (!Exists(file)) {
            run_.BflList.erase(run_.BflList.begin());
            VolumeGone(file);
            continue;
        }
        zipper1_->ClearZip();
        if (Prep) Prep->ChooseDestination(true);
        run_.DiscWriterMode = true;
        BflIndex = 0;
        const size_t slash = file.find_last_of('\\');
        run_.ZipFileName = slash == std::string::npos ? file : file.substr(slash + 1);
        if (slash != std::string::npos) host_.SetTempPath(file.substr(0, slash + 1));
        DiscStepPending = true;
        host_.PostDiscStep(true);
        continuePosted_ = true;
        return;
    }
    // A cancel before the end leaves volumes unwritten or unverified: their archive bits go
    // back as after the cancel tail.
    const bool cancelledBeforeEnd = host_.Cancelled();
    DiscStepPending = false;
    JobReachedEnd = true;
    LogSummary();
    host_.AddToLog("Backup end: " + run_.JobName);
    host_.AddToLog("");
    endLogged_ = !cancelledBeforeEnd;
    host_.Wait(endWaitMs);
    const std::string stopFile = host_.ProgramFolder() + "Stop.req";
    DeleteFileA(stopFile.c_str());
    if (Exists(stopFile)) {
        DeleteFileA(stopFile.c_str());
        host_.CloseMainWindow();
    }
    DeleteWorkFiles();
    const bool cancelled = host_.Cancelled();
    WorkOver();
    host_.ArrangeWindowAfterJob();
    if (!cancelled) host_.SetStatusText("Done");
    host_.SetPassProgress(0, 100);
    DeleteWorkFiles();
    if (cancelled && session_.Job.Uselasttime1) {
        if (PutBackAfterDate(run_, session_.Job)) host_.SaveJob(host_.JobName());
        host_.SetStatusText("Job cancelled by user");
        host_.SetTotalText("");
    }
    if (session_.WasMinimizedAtStart) {
        session_.WasMinimizedAtStart = false;
        host_.MinimizeAfterJob();
        host_.ArrangeWindowAfterJob();
    }
    PumpRounds(host_, 201);
    if (!session_.Job.Testarchiveafterbackup1 && !TestingZip) zipper1_->ClearZip();
    if (cancelled) {
        host_.SetStatusText("Job cancelled");
        host_.SetTotalText("");
        host_.SetJobProgress(0);
        host_.SetPassProgress(0, 100);
        host_.AddToLog("Backup cancelled");
        if (cancelledBeforeEnd) RestoreClearedArchiveBits();
        host_.SetCancelled(false);
    } else {
        host_.BeginReport();
    }
    // With every volume done and written nothing is left to resume, whatever came after: a
    // resume would only make the last volume again.
    if (!cancelled || NothingLeftToResume()) host_.DiscardResumeState();
    host_.ReminderJobEnded(JobReachedEnd && !cancelled, JobHadProblem);
    endDue_ = true;
}

// Before the window may close for a close asked for during the job: the close waits for a job
// at work, and would wait for this one for ever.
void JobRunner::WorkOver() {
    if (session_.State == JobState::Running) session_.State = JobState::Ending;
}

bool JobRunner::NothingLeftToResume() const {
    return !WorkLeft() && !volumeOpen_ && run_.BflList.empty();
}

// A cancelled job sets the archive bits it cleared again, unless the user answered that they
// stay cleared; the list goes either way. The files of volumes not soundly written get theirs
// back whatever the answer and whether or not the list is there (a resumed run has none):
// they are in no copy.
void JobRunner::RestoreClearedArchiveBits() {
    while (!catalogued_.empty())
        UncatalogueVolume(catalogued_.begin()->first);
    size_t givenBack = 0;
    int failed = 0;
    while (!clearedBits_.empty()) {
        givenBack += clearedBits_.begin()->second.size();
        failed += std::max(0, GiveBitsBack(clearedBits_.begin()->first));
    }
    const std::string list = host_.ProgramFolder() + "Att.Lst";
    bool listPlayed = false;
    if (session_.Job.ClearArchiveBit && !run_.KeepArchiveBitsCleared)
        listPlayed = RestoreArchiveBits(list, attributes_, host_) > 0;
    else
        DeleteFileA(list.c_str());
    if (failed > 0)
        host_.AddToLog("Archivebits could not be set again for " + std::to_string(failed) +
                       " files of volumes not written");
    else if (givenBack > 0 && !listPlayed)
        host_.AddToLog("Archivebits reset for the files of volumes not written");
}

void JobRunner::CancelTail() {
    if (tailDone_) return;
    tailDone_ = true;
    if (session_.State == JobState::Running) {
        host_.SetStatusText("Job cancelled");
        host_.SetTotalText("");
        zipper1_->KeepZipOpen = false;
        run_.FilestoZipList.clear();
        run_.FilestoZipListNr = 0;
        host_.SetJobProgress(0);
        host_.SetPassProgress(0, 100);
        const std::string archive = zipper1_->ZipName();
        if (!archive.empty() && Exists(archive))
            host_.AddToLog("File created: " + archive + " / " + std::to_string(run_.CurrentZipBytes));
        LogSummary();
        host_.AddToLog("Backup cancelled");
        host_.AddToLog("");
        host_.SetStatusText("Job cancelled");
        RestoreClearedArchiveBits();
    }
    WorkOver();
    DeleteWorkFiles();
    host_.ArrangeWindowAfterJob();
    endDue_ = true;
}

} // namespace job
