#pragma once
// Job files on disk: where a job name points, loading, and saving through a backup copy
// "<file>.~ba" so that a failed write never costs the job.
//
// A save writes the whole text with one open and one write. The old file is copied to the
// backup first; when that copy fails the file is left as it is and nothing is written, and
// when the write fails the backup goes back over the file. Either way the log says "Job file
// not saved: <file>". A read-only file is a locked job: saving it rewrites only the "After:"
// date, from the stored definition, and the file stays read-only.
//
// The busy flag keeps nested work (timer ticks and posted messages run inside the pumped
// waits) from reading or writing a job file while another load or save holds it. It is
// cleared on every way out, exceptions included. Every wait for it is bounded: on the one GUI
// thread the holder is an outer call that cannot go on until the nested one returns.

#include "job/JobDefinition.h"
#include "job/JobFile.h"
#include "job/JobHost.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace job {

// A load that could not read the file or found a damaged password line; the text names the file.
class EJobFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The file operations a job file needs; the product uses the system's, tests a double that
// can fail any step.
class JobFileSystem {
  public:
    virtual ~JobFileSystem() = default;
    virtual bool Exists(const std::string& path) = 0;
    virtual bool IsReadOnly(const std::string& path) = 0;
    virtual bool SetReadOnly(const std::string& path, bool readOnly) = 0;
    // The whole file; false with a reason when it cannot be read.
    virtual bool Read(const std::string& path, std::string& contents, std::string& error) = 0;
    // Creates or truncates the file and writes contents with one open and one write.
    virtual bool Write(const std::string& path, const std::string& contents) = 0;
    // Overwrites the target.
    virtual bool Copy(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // The folder and any missing parents.
    virtual bool ForceDirectories(const std::string& folder) = 0;
    // Total bytes of the drive that holds path; 0 when unknown (no medium, no drive).
    virtual int64_t DriveSizeBytes(const std::string& path) = 0;
};

// Where bare job names live.
struct JobLocation {
    std::string programFolder; // ends with "\"
    bool perUserDataOn = false;
    std::string dataDir;  // per-user data folder, ends with "\"; empty when unknown
    std::string userName; // empty when unknown
};

struct ResolvedJobFile {
    std::string path;    // the file to read or write
    std::string jobName; // its file-name part: the job's name from now on
};

// A name with a folder is used as given. A bare name lies in the program folder while
// per-user data is off, else in the data folder (made when missing), else in
// "<program folder>Users\<user name>\" (made when missing), else in the program folder. An
// empty name, or one starting below "!", means the current job, and without one "Default.dat".
ResolvedJobFile ResolveJobFile(std::string_view name, const std::string& currentJobName,
                               const JobLocation& location, JobFileSystem& files);

constexpr char BackupExtension[] = ".~ba";

class JobStore {
  public:
    JobStore(JobHost& host, JobFileSystem& files) : host_(host), files_(files) {}

    JobLocation Location;
    core::LocaleFormat Locale;
    // The highest compression level a load keeps (the track bar's maximum).
    int CompressionMax = 7;

    // Reads the named file over job and sets jobName. A volume cannot be larger than the
    // drive of the first destination: MaxZipSize is capped at its total size when that is
    // known. False when the file does not exist:
    // the job stays as it was except for the programs around it, which are reset. Throws
    // EJobFileError naming the file when it cannot be read or its password line is damaged;
    // what was read before stays in job.
    bool Load(std::string_view name, JobDefinition& job, std::string& jobName);

    // Writes job to the named file and sets jobName. False, with the log line, when the file
    // could not be written; the old file and jobName are then unchanged. An empty destination
    // becomes two blanks in job as in the file.
    bool Save(std::string_view name, JobDefinition& job, std::string& jobName);

    bool JobFileBusy() const { return busy_; }

    // The pumped waits: up to 120 steps of 1 s for the busy flag, then 1 s after each load
    // and save so that work queued meanwhile sees the file settled.
    static constexpr int busyWaitStepMs = 1000;
    static constexpr int busyWaitSteps = 120;
    static constexpr int settleMs = 1000;

  private:
    class Hold;
    void WaitWhileBusy();
    JobTextContext Context() const;
    void ReadInto(const std::string& path, JobDefinition& job);
    bool WriteWithBackup(const std::string& path, const std::string& text);

    JobHost& host_;
    JobFileSystem& files_;
    bool busy_ = false;
};

} // namespace job
