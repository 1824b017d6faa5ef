// Job files on a file system that fails where a test says: a save never costs the old file,
// a locked job changes only its date, the busy flag never outlives a load or save, and bare
// names land where the location rules put them.

#include "JobTestSupport.h"

#include "job/JobStore.h"

#include <gtest/gtest.h>

using job::JobDefinition;
using job::JobStore;
using jobtest::JobLines;
using jobtest::JoinLines;
using jobtest::MemoryJobFiles;
using jobtest::RecordingHost;

namespace {

const std::string folder = "C:\\Prog\\";
const std::string file = folder + "Job.dat";
const std::string backup = file + ".~ba";

struct Store {
    RecordingHost host;
    MemoryJobFiles files;
    JobStore store{host, files};
    JobDefinition job;
    std::string jobName = "Job.dat";
    Store() { store.Location.programFolder = folder; }
    std::string Written() const { return job::WriteJobText(job, jobtest::Context()); }
};

} // namespace

TEST(JobStore, SaveReplacesTheFileInOneWriteAndLeavesNoBackup) {
    Store s;
    s.files.files[file].contents = "old";
    s.files.files[backup].contents = "stale backup";
    s.job.ZipName = "Zip";
    EXPECT_TRUE(s.store.Save("", s.job, s.jobName));
    EXPECT_EQ(s.files.files[file].contents, s.Written());
    EXPECT_EQ(s.job.Destination, "  ");
    EXPECT_FALSE(s.files.Exists(backup));
    EXPECT_EQ(s.files.calls, (std::vector<std::string>{"copy " + file + " " + backup, "write " + file}));
    EXPECT_TRUE(s.host.log.empty());
    EXPECT_FALSE(s.store.JobFileBusy());
}

TEST(JobStore, FailedSavesLeaveTheOldFileAndSaySo) {
    const std::string notSaved = "Job file not saved: " + file;
    {
        // No backup copy: nothing is written at all, so the job is never doubled or lost.
        Store s;
        s.files.files[file].contents = "old";
        s.files.failingCopyTargets.insert(backup);
        EXPECT_FALSE(s.store.Save("Job.dat", s.job, s.jobName));
        EXPECT_EQ(s.files.files[file].contents, "old");
        EXPECT_EQ(s.files.calls, std::vector<std::string>{"copy " + file + " " + backup});
        EXPECT_EQ(s.host.log, std::vector<std::string>{notSaved});
    }
    {
        // A write that breaks off half way: the backup goes back over the file.
        Store s;
        s.files.files[file].contents = "old";
        s.files.tornWrites = true;
        EXPECT_FALSE(s.store.Save("Job.dat", s.job, s.jobName));
        EXPECT_EQ(s.files.files[file].contents, "old");
        EXPECT_FALSE(s.files.Exists(backup));
        EXPECT_EQ(s.host.log, std::vector<std::string>{notSaved});
    }
    {
        // ... and when even that copy fails, the backup is what is left of the job: kept.
        Store s;
        s.files.files[file].contents = "old";
        s.files.tornWrites = true;
        s.files.failingCopyTargets.insert(file);
        EXPECT_FALSE(s.store.Save("Job.dat", s.job, s.jobName));
        EXPECT_EQ(s.files.files[backup].contents, "old");
        EXPECT_EQ(s.host.log, (std::vector<std::string>{"Job file kept as: " + backup, notSaved}));
    }
    {
        // A new file that could not be written whole is not left behind.
        Store s;
        s.files.tornWrites = true;
        EXPECT_FALSE(s.store.Save("Job.dat", s.job, s.jobName));
        EXPECT_FALSE(s.files.Exists(file));
        EXPECT_FALSE(s.store.JobFileBusy());
    }
}

TEST(JobStore, LockedJobKeepsAllButItsDateAndStaysLocked) {
    Store s;
    const std::string stored = JoinLines(JobLines());
    s.files.files[file] = {stored, true};
    ASSERT_TRUE(s.store.Load("Job.dat", s.job, s.jobName));
    EXPECT_TRUE(s.job.ReadOnly);

    // The window changed everything; only the date of the finished run may reach the file.
    JobDefinition edited = s.job;
    edited.Destination = "z:";
    edited.ZipSizeText = "100";
    edited.IncludeList = {"c:\\other\\"};
    edited.ZipPassword = "";
    edited.AfterDateText = core::DateToStrFixed(46100.75, core::LocaleFormat{});
    s.job = edited;
    ASSERT_TRUE(s.store.Save("Job.dat", s.job, s.jobName));
    std::vector<std::string> expected = JobLines();
    expected[3] = "46100.7500000000";
    EXPECT_EQ(s.files.files[file].contents, JoinLines(expected));
    EXPECT_TRUE(s.files.files[file].readOnly);
    EXPECT_FALSE(s.files.Exists(backup));
    // The window shows the stored job, with the size that was typed.
    EXPECT_EQ(s.job.Destination, "e:|f:\\backup|");
    EXPECT_EQ(s.job.ZipSizeText, "100");
    EXPECT_EQ(s.job.ZipPassword, "secret");
    EXPECT_TRUE(s.job.ReadOnly);

    // A locked file whose password line is damaged is not touched and stays locked.
    s.files.files[file].contents = "e:\r\n1\r\n1\r\n1\r\n1\r\nz\r\n6\r\n650\r\n0\r\n0\r\n#####x\r\n";
    s.files.calls.clear();
    EXPECT_FALSE(s.store.Save("Job.dat", s.job, s.jobName));
    EXPECT_TRUE(s.files.files[file].readOnly);
    EXPECT_EQ(s.files.calls, std::vector<std::string>{});
    EXPECT_EQ(s.host.log.size(), 2u);
}

TEST(JobStore, BusyFlagIsClearedOnEveryWayOutAndNestedWorkNeverHangs) {
    Store s;
    s.files.files[file].contents = "e:\r\n1\r\n1\r\n1\r\n1\r\nz\r\n6\r\n650\r\n0\r\n0\r\n#####12a45\r\n";
    try {
        s.store.Load("Job.dat", s.job, s.jobName);
        ADD_FAILURE() << "a damaged password line loads";
    } catch (const job::EJobFileError& error) {
        EXPECT_NE(std::string(error.what()).find(file), std::string::npos) << error.what();
    }
    EXPECT_FALSE(s.store.JobFileBusy());
    // The next load does not wait for a flag that nobody holds.
    s.files.files[file].contents = JoinLines(JobLines());
    s.host.waits.clear();
    EXPECT_TRUE(s.store.Load("Job.dat", s.job, s.jobName));
    EXPECT_EQ(s.host.waits, std::vector<int>{JobStore::settleMs});

    // A load that a timer tick starts inside a save's settling wait cannot wait for the save
    // (it is the save's own caller that waits): it gives up after the bounded wait, loads,
    // and hands the flag back to the save.
    bool nestedLoaded = false, busyAfterNested = false;
    s.host.waits.clear();
    s.host.duringNextWait = [&] {
        JobDefinition other;
        std::string otherName;
        nestedLoaded = s.store.Load("Job.dat", other, otherName);
        busyAfterNested = s.store.JobFileBusy();
    };
    EXPECT_TRUE(s.store.Save("Job.dat", s.job, s.jobName));
    EXPECT_TRUE(nestedLoaded);
    EXPECT_TRUE(busyAfterNested);
    EXPECT_FALSE(s.store.JobFileBusy());
    EXPECT_EQ(s.host.waits.size(), 1u + JobStore::busyWaitSteps + 1u);
}

TEST(JobStore, NamesResolveByTheLocationRules) {
    MemoryJobFiles files;
    job::JobLocation location{folder, false, "D:\\Data\\", "ann"};
    auto resolve = [&](std::string_view name, const std::string& current = "") {
        const job::ResolvedJobFile resolved = job::ResolveJobFile(name, current, location, files);
        return resolved.path + "|" + resolved.jobName;
    };
    EXPECT_EQ(resolve("Week.dat"), folder + "Week.dat|Week.dat");
    EXPECT_EQ(resolve("E:\\Jobs\\Week.dat"), "E:\\Jobs\\Week.dat|Week.dat");
    EXPECT_EQ(resolve("", "Cur.dat"), folder + "Cur.dat|Cur.dat");
    EXPECT_EQ(resolve(" x", "Cur.dat"), folder + "Cur.dat|Cur.dat");
    EXPECT_EQ(resolve(""), folder + "Default.dat|Default.dat");
    EXPECT_EQ(resolve("", "F:\\Cmd\\Line.dat"), "F:\\Cmd\\Line.dat|Line.dat");
    EXPECT_TRUE(files.folders.empty());
    location.perUserDataOn = true;
    EXPECT_EQ(resolve("Week.dat"), "D:\\Data\\Week.dat|Week.dat");
    location.dataDir.clear();
    EXPECT_EQ(resolve("Week.dat"), folder + "Users\\ann\\Week.dat|Week.dat");
    EXPECT_EQ(files.folders, (std::set<std::string>{"D:\\Data\\", folder + "Users\\ann\\"}));
    location.userName.clear();
    EXPECT_EQ(resolve("Week.dat"), folder + "Week.dat|Week.dat");

    // A missing file is no error: only the programs around the job are reset.
    Store s;
    s.job.ZipName = "kept";
    s.job.PreWait = 30;
    s.job.PostRunFile = "after.exe";
    const JobDefinition before = s.job;
    EXPECT_FALSE(s.store.Load("Missing.dat", s.job, s.jobName));
    EXPECT_EQ(s.job.ZipName, "kept");
    EXPECT_EQ(s.job.PreWait, 10);
    EXPECT_EQ(s.job.PostRunFile, "");
    s.files.failingReads = true;
    s.files.files[file].contents = "x";
    EXPECT_THROW(s.store.Load("Job.dat", s.job, s.jobName), job::EJobFileError);
    EXPECT_FALSE(s.store.JobFileBusy());
}
