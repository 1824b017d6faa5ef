#include "job/JobStore.h"

#include "core/ConvertError.h"
#include "core/UserFolders.h"
#include "job/JobStartRules.h"

namespace job {

// Holds the busy flag for one load or save and lets the file settle for a pumped second
// before giving it back, on every way out. A call that went ahead after the bounded wait
// hands the flag back to the outer holder instead of clearing it under it.
class JobStore::Hold {
  public:
    explicit Hold(JobStore& store) : store_(store), previous_(store.busy_) { store_.busy_ = true; }
    ~Hold() {
        try {
            store_.host_.Wait(settleMs);
        } catch (...) {
            // Work run inside the wait reports its own failures; the flag must still go.
        }
        store_.busy_ = previous_;
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

  private:
    JobStore& store_;
    bool previous_;
};

ResolvedJobFile ResolveJobFile(std::string_view name, const std::string& currentJobName,
                               const JobLocation& location, JobFileSystem& files) {
    std::string chosen(name);
    if (chosen.empty() || static_cast<unsigned char>(chosen[0]) < '!')
        chosen = currentJobName.empty() ? "Default.dat" : currentJobName;
    const size_t cut = chosen.find_last_of("\\/:");
    if (cut != std::string::npos) return {chosen, chosen.substr(cut + 1)};

    const std::string folder = core::UserFileFolder(location.perUserDataOn, location.dataDir,
                                                    location.userName, location.programFolder);
    // A folder that cannot be made shows as a failed read or write of the file itself.
    if (folder != location.programFolder) files.ForceDirectories(folder);
    return {folder + chosen, chosen};
}

JobTextContext JobStore::Context() const {
    return JobTextContext{Locale, gui::CurrentClock().Now()};
}

void JobStore::WaitWhileBusy() {
    for (int step = 0; busy_ && step < busyWaitSteps; ++step)
        host_.Wait(busyWaitStepMs);
}

void JobStore::ReadInto(const std::string& path, JobDefinition& job) {
    std::string text, error;
    if (!files_.Read(path, text, error)) throw EJobFileError("Job file " + path + ": " + error);
    job.ReadOnly = files_.IsReadOnly(path);
    job.CompressionMax = CompressionMax;
    try {
        ReadJobText(text, job, Context());
    } catch (const core::EConvertError& conversion) {
        throw EJobFileError("Job file " + path + ": " + conversion.what());
    }
}

bool JobStore::Load(std::string_view name, JobDefinition& job, std::string& jobName) {
    ResetRunPrograms(job);
    WaitWhileBusy();
    Hold hold(*this);
    const ResolvedJobFile resolved = ResolveJobFile(name, jobName, Location, files_);
    jobName = resolved.jobName;
    if (!files_.Exists(resolved.path)) return false;
    ReadInto(resolved.path, job);
    std::string destinations = job.Destination;
    const std::vector<std::string> parsed = ParseDestinations(destinations);
    const int64_t driveSize = parsed.empty() ? 0 : files_.DriveSizeBytes(parsed.front());
    if (driveSize > 0 && driveSize < job.MaxZipSize) job.MaxZipSize = driveSize;
    return true;
}

bool JobStore::WriteWithBackup(const std::string& path, const std::string& text) {
    const std::string backup = path + BackupExtension;
    bool saved = false, keepBackup = false;
    if (!files_.Exists(path)) {
        saved = files_.Write(path, text);
        // No half-written job file where there was none.
        if (!saved) files_.Remove(path);
    } else if (files_.Copy(path, backup)) {
        saved = files_.Write(path, text);
        if (!saved && !files_.Copy(backup, path)) {
            keepBackup = true;
            host_.AddToLog("Job file kept as: " + backup);
        }
    }
    // Without a backup copy the old file was not touched.
    if (!keepBackup) files_.Remove(backup);
    return saved;
}

bool JobStore::Save(std::string_view name, JobDefinition& job, std::string& jobName) {
    WaitWhileBusy();
    Hold hold(*this);
    const ResolvedJobFile resolved = ResolveJobFile(name, jobName, Location, files_);
    const std::string& path = resolved.path;
    if (job.Destination.empty()) job.Destination = "  ";

    bool saved = false;
    if (files_.Exists(path) && files_.IsReadOnly(path)) {
        // A locked job: its stored definition goes back with only the new "After:" date, and
        // the window shows that definition with the volume size that was typed.
        JobDefinition stored = job;
        try {
            ReadInto(path, stored);
            stored.AfterDateText = job.AfterDateText;
            if (files_.SetReadOnly(path, false)) {
                saved = WriteWithBackup(path, WriteJobText(stored, Context()));
                if (!files_.SetReadOnly(path, true)) saved = false;
            }
        } catch (const std::exception& error) {
            host_.AddToLog(error.what());
        }
        if (!files_.IsReadOnly(path)) files_.SetReadOnly(path, true);
        if (saved) {
            stored.ZipSizeText = job.ZipSizeText;
            stored.ReadOnly = true;
            job = std::move(stored);
        }
    } else {
        saved = WriteWithBackup(path, WriteJobText(job, Context()));
        if (saved) job.ReadOnly = false;
    }
    // The job keeps the name of the file that holds it.
    if (saved)
        jobName = resolved.jobName;
    else
        host_.AddToLog("Job file not saved: " + path);
    return saved;
}

} // namespace job
