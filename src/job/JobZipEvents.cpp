// The job's handlers on its zip components: where system-state and registry copies are
// stored, the end of a volume's zip run, the cancel of a running run, and the verification of
// a finished volume.
#include "gui/CompareText.h"
#include "job/JobArchiveTest.h"
#include "job/JobPump.h"
#include "job/JobRunner.h"
#include "job/VolumePrepRules.h"
#include "zip/ZipObj.h"
#include "zip/Zipper.h"

#include <windows.h>

#include <string>

namespace job {

namespace {

constexpr int reopenWaitMs = 20'000;
constexpr int retryWaitMs = 5'000;

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ChangeExtension(const std::string& name, const std::string& extension) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of("\\:");
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? name.substr(0, dot) : name) + extension;
}

} // namespace

void RunnerPlannerFiles::TruncateCsv(int64_t size) {
    CatalogueComplete();
    const std::string& name = Options().CsvFileName;
    HANDLE file =
        CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER at;
    at.QuadPart = size;
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) SetEndOfFile(file);
    CloseHandle(file);
}

void JobRunner::VolumeLanded(const std::string& builtZip, const std::string& landedZip) {
    const auto nameOf = [](const std::string& path) { return path.substr(path.find_last_of('\\') + 1); };
    if (plannerFiles_) plannerFiles_->RenameCsvVolume(nameOf(builtZip), nameOf(landedZip));
}

void JobRunner::ConnectEvents() {
    zipper1_->OnStartZip = [this](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo& header,
                                  bool&) {
        std::string folder = header.Directory();
        const std::string before = folder;
        Zipper1StartZip(name, folder);
        if (folder != before) header.SetDirectory(folder);
    };
    zipper1_->OnEndZip = [this](zip::TZipper&, const std::string& name, uint32_t uncompressed,
                                uint32_t compressed, uint32_t current) {
        if (planner_) planner_->Zipper1EndZip(name, uncompressed, compressed, current);
    };
    zipper1_->OnZipComplete = [this](zip::TZipper&, int) { Zipper1ZipComplete(); };
    zipper2_->OnStartZip = [this](zip::TZipper&, const std::string&, zip::TZipHeaderInfo&, bool&) {
        HelperZipRunning = true;
    };
    zipper2_->OnZipComplete = [this](zip::TZipper&, int) { HelperZipRunning = false; };
}

// The system state's backup file is stored without a folder; a registry copy other than the
// user's hive is stored where the live hives are, so that a restore puts it back there.
void JobRunner::Zipper1StartZip(const std::string& fileName, std::string& storedFolder) {
    const std::string name = Lower(fileName);
    if (run_.DoIncludeSysState && name == Lower(host_.TempPath() + "syssta.bkf")) storedFolder.clear();
    if (run_.DoIncludeReg && !WindowsFolder.empty()) {
        const std::string windows = Lower(WindowsFolder);
        const std::string regback = windows + "\\repair\\regback\\";
        const std::string repair = windows + "\\repair\\";
        const size_t slash = name.find_last_of('\\');
        const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
        const bool copy = folder.find(regback) != std::string::npos ||
                          (folder.find(repair) != std::string::npos && !Exists(regback));
        if (copy && name.substr(slash + 1) != "ntuser.dat") {
            const bool includeDrive = session_.Job.Includedriveinfo;
            if (storedFolder.find(':') != std::string::npos)
                storedFolder = WindowsFolder + "\\system32\\config\\";
            else if (includeDrive && WindowsFolder.size() >= 2 && WindowsFolder[1] == ':')
                storedFolder = WindowsFolder.substr(0, 1) + WindowsFolder.substr(2) + "\\system32\\config\\";
            else
                storedFolder = (WindowsFolder.size() > 3 ? WindowsFolder.substr(3) : std::string()) +
                               "\\system32\\config\\";
        }
    }
    entryBeingAdded_ = fileName;
    ZipRunning = true;
    host_.SetPassProgress(0, 100);
}

// The end of a volume's zip run, good or failed. The runner's next step is posted by the
// step itself once the run is over, so a volume built again is not followed by a stray step.
void JobRunner::Zipper1ZipComplete() {
    zip::TZipper& z1 = *zipper1_;
    if (z1.MultiZipInfo.MultiMode == zip::mmBlocks && !run_.VolumePath.empty() &&
        gui::CompareTextI(z1.ZipName(), run_.VolumePath) != 0 && Exists(z1.ZipName())) {
        SpanPartNumber = z1.VolumesWritten();
        if (MoveFileExA(z1.ZipName().c_str(), run_.VolumePath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            z1.SetZipName(run_.VolumePath);
        } else {
            // The set keeps the last part's name: it is catalogued, verified and copied under
            // the name it has, not one that does not exist.
            const DWORD error = GetLastError();
            JobHadProblem = true;
            volumeUnsound_ = true;
            host_.AddToLog("The last part " + z1.ZipName() + " could not be renamed to " + run_.VolumePath +
                           ", error " + std::to_string(error));
            run_.VolumePath = z1.ZipName();
        }
    }
    ZipRunning = false;
    // The file read ahead for this volume, or tested for the next, is closed with the run.
    if (plannerFiles_) plannerFiles_->DropOpened();
}

void JobRunner::CancelRunningJob() {
    host_.SetCancelled(true);
    // Only a mark the zip run looks at between blocks.
    if (ZipRunning) zipper1_->CancelTheOperation();
}

std::string FindSplitPart(const std::string& part, const std::vector<std::string>& destinations) {
    if (Exists(part)) return part;
    const std::string name = part.substr(part.find_last_of("\\/") + 1);
    for (std::string folder : destinations) {
        while (!folder.empty() && folder.back() == '\\')
            folder.pop_back();
        if (Exists(folder + "\\" + name)) return folder + "\\" + name;
    }
    return {};
}

// The first part before the last of a split volume (name.z01, name.z02, ...) that is nowhere;
// empty when every one is somewhere.
std::string JobRunner::MissingPart(const std::string& zipName, int parts) {
    for (int n = 1; n < parts; ++n)
        if (FindSplitPart(SplitPartName(zipName, n), run_.DestList).empty()) return SplitPartName(zipName, n);
    return {};
}

JobRunner::VolumeTest JobRunner::TestZipFile() {
    zip::TZipper& z1 = *zipper1_;
    if (host_.Cancelled()) return VolumeTest::Cancelled;
    if (z1.ZipName().empty()) return VolumeTest::Sound;
    PumpRounds(host_, 1000);
    const std::string zipName = z1.ZipName();
    const int parts = SpanPartNumber > 0 ? SpanPartNumber : 1;
    SpanPartNumber = 0;
    int entries = 0;
    try {
        entries = z1.Count();
    } catch (const std::exception&) {
    }
    z1.ClearZip();
    return VerifyVolume(zipName, parts, entries);
}

bool JobRunner::VerifyLandedVolume(const std::string& zipName, int parts) {
    // A volume that failed its test before the copy fails it again where it lands: it is
    // copied as it is, its files already given their archive bits back.
    if (!session_.Job.Testarchiveafterbackup1 || volumeUnsound_) return true;
    zipper1_->ClearZip();
    return VerifyVolume(zipName, parts, 0) == VolumeTest::Sound;
}

JobRunner::VolumeTest JobRunner::VerifyVolume(const std::string& zipName, int parts, int entries) {
    zip::TZipper& z1 = *zipper1_;
    const std::string shown = parts > 1 ? ChangeExtension(zipName, ".*") : zipName;
    const std::string missing = parts > 1 ? MissingPart(zipName, parts) : std::string();
    if (!missing.empty()) {
        // The set cannot be read whole: no verification, and a problem of the job.
        JobHadProblem = true;
        host_.ShowStatusAndLog("Verify of: " + shown + " skipped, a part is missing: " + missing);
        return VolumeTest::Unsound;
    }
    const int priority = ReadPriority ? ReadPriority() : 0;

    TJobArchiveTest test;
    test.JobCancelled = [this] { return host_.Cancelled(); };
    test.Progress = [this](int percent) { host_.SetJobProgress(percent); };
    test.FileProgress = [this](int percent) { host_.SetPassProgress(percent, 100); };
    test.Status = [this](const std::string& text) {
        if (!run_.Hidden) host_.SetStatusText(text);
    };
    test.Log = [this](const std::string& text) { host_.AddToJobLog(text, true); };
    test.Connect(z1, zipper2_.get());
    TestingZip = true;
    test.Testing = true;
    PumpRounds(host_, entries + 100);
    host_.SetJobProgress(0);
    if (SetPriority) SetPriority(-1);
    struct Restore {
        JobRunner& runner;
        int priority;
        ~Restore() {
            runner.TestingZip = false;
            runner.zipper1_->OnEndReadFileInfo = nullptr;
            runner.zipper1_->OnTotalPercentDone = nullptr;
            runner.zipper1_->OnBadCRC = nullptr;
            runner.zipper1_->OnEndUnZip = nullptr;
            runner.zipper1_->OnFilePercentDone = nullptr;
            runner.zipper2_->OnFilePercentDone = nullptr;
            if (runner.SetPriority) runner.SetPriority(priority);
        }
    } restore{*this, priority};
    bool opened = false;
    for (int attempt = 0; attempt < 2 && !opened; ++attempt) {
        try {
            z1.SetZipName(zipName);
            z1.ReadZip();
            opened = true;
        } catch (const std::exception&) {
            z1.ClearZip();
            if (attempt == 1 || host_.Cancelled()) break;
            if (!run_.Hidden) host_.SetStatusText("Trying to open: " + zipName + " wait!");
            PumpRounds(host_, 1000);
            host_.Wait(reopenWaitMs);
            PumpRounds(host_, 1000);
            host_.Wait(retryWaitMs);
            if (host_.Cancelled()) break;
        }
    }
    if (!opened && host_.Cancelled()) return VolumeTest::Cancelled;
    if (!opened) {
        JobHadProblem = true;
        host_.ShowStatusAndLog("Verify of: " + zipName + " skipped, the file could not be opened");
        return VolumeTest::Unsound;
    }
    bool good = true;
    try {
        if (z1.Count() > 0) {
            z1.SetSortMode(zip::ByNone);
            if (!run_.Hidden) host_.SetStatusText("Verify in progress");
            host_.SetJobProgress(0);
            host_.SetPassProgress(0, 100);
            TestFailed = false;
            test.ReportBadCrc = false;
            if (!z1.TestArchive() && !host_.Cancelled()) {
                // The second pass names each bad entry.
                TestFailed = true;
                test.ReportBadCrc = true;
                good = z1.TestArchive();
            }
        }
    } catch (const std::exception&) {
        good = false;
    }
    // A test the cancel cut short found nothing wrong with the volume: nothing is said of it.
    const bool cancelled = !good && host_.Cancelled();
    if (good) {
        host_.AddToLog("No errors found in: " + shown);
        if (!run_.Hidden) host_.SetStatusText("Verify finished, no errors found in: " + shown);
    } else if (!cancelled) {
        JobHadProblem = true;
        host_.AddToLog("Errors found in: " + shown);
        if (!run_.Hidden) host_.SetStatusText("Verify finished, errors found in: " + shown);
    }
    z1.ClearZip();
    PumpRounds(host_, entries);
    test.Testing = false;
    host_.Pump();
    return cancelled ? VolumeTest::Cancelled : good ? VolumeTest::Sound : VolumeTest::Unsound;
}

} // namespace job
