// Job files on a file system that fails where a test says: a save never costs the old file,
// a locked job changes only its date, the busy flag never outlives a load or save, and bare
// names land where the location rules put them.

#include "JobTestSupport.h"

#include <gtest/gtest.h>

using job::JobStore;
using jobtest::JobLines;
using jobtest::JoinLines;

namespace {

const std::string file = "C:\\Prog\\Job.dat";
const std::string backup = file + ".~ba";

struct Store {
    jobtest::RecordingHost host;
    jobtest::MemoryJobFiles files;
    JobStore store{host, files};
    job::JobDefinition job;
    std::string jobName = "Job.dat";
    Store(const std::string& old = "old") {
        store.Location.programFolder = "C:\\Prog\\";
        if (!old.empty()) files.files[file] = old;
    }
    bool Save() { return store.Save("", job, jobName); }
};

} // namespace

TEST(JobStore, SavesWriteOnceThroughABackupAndFailuresLeaveTheOldFile) {
    Store good;
    good.files.files[backup] = "stale";
    EXPECT_TRUE(good.Save());
    EXPECT_EQ(good.files.files[file], job::WriteJobText(good.job, jobtest::Context()));
    EXPECT_EQ(good.files.writes, 1);
    EXPECT_FALSE(good.files.Exists(backup));
    EXPECT_TRUE(good.host.log.empty());

    const std::vector<std::string> notSaved{"Job file not saved: " + file};
    Store noBackup; // nothing is written without a copy to fall back on
    noBackup.files.failingCopyTargets = {backup};
    EXPECT_FALSE(noBackup.Save());
    EXPECT_EQ(noBackup.files.writes, 0);
    EXPECT_EQ(noBackup.files.files[file], "old");
    EXPECT_EQ(noBackup.host.log, notSaved);

    Store torn; // a write that breaks off: the backup goes back over the file
    torn.files.tornWrites = true;
    EXPECT_FALSE(torn.Save());
    EXPECT_EQ(torn.files.files[file], "old");
    EXPECT_FALSE(torn.files.Exists(backup));
    EXPECT_EQ(torn.host.log, notSaved);

    Store lost; // ... and when that copy fails too, the backup is all that is left: kept
    lost.files.tornWrites = true;
    lost.files.failingCopyTargets = {file};
    EXPECT_FALSE(lost.Save());
    EXPECT_EQ(lost.files.files[backup], "old");
    EXPECT_EQ(lost.host.log.front(), "Job file kept as: " + backup);

    Store fresh(""); // a new file that could not be written whole is not left behind
    fresh.files.tornWrites = true;
    EXPECT_FALSE(fresh.Save());
    EXPECT_FALSE(fresh.files.Exists(file));
}

TEST(JobStore, LockedJobKeepsAllButItsDateAndStaysLocked) {
    Store s(JoinLines(JobLines()));
    s.files.readOnly = {file};
    s.job.Destination = "z:";
    s.job.ZipSizeText = "100";
    s.job.AfterDateText = core::DateToStrFixed(46100.75, core::LocaleFormat{});
    ASSERT_TRUE(s.Save());
    std::vector<std::string> expected = JobLines();
    expected[3] = "46100.7500000000";
    EXPECT_EQ(s.files.files[file], JoinLines(expected));
    EXPECT_TRUE(s.files.IsReadOnly(file));
    // The window shows the stored job, locked, with the size that was typed.
    EXPECT_EQ(s.job.ZipPassword, "secret");
    EXPECT_EQ(s.job.ZipSizeText, "100");
    EXPECT_TRUE(s.job.ReadOnly);

    // A damaged locked file is not touched and stays locked.
    s.files.files[file] = "e:\r\n1\r\n1\r\n1\r\n1\r\nz\r\n6\r\n650\r\n0\r\n0\r\n#####x\r\n";
    EXPECT_FALSE(s.Save());
    EXPECT_EQ(s.files.writes, 1);
    EXPECT_TRUE(s.files.IsReadOnly(file));
}

TEST(JobStore, BusyFlagIsClearedOnEveryWayOutAndNestedWorkNeverHangs) {
    Store s("e:\r\n1\r\n1\r\n1\r\n1\r\nz\r\n6\r\n650\r\n0\r\n0\r\n#####12a45\r\n");
    try {
        s.store.Load("Job.dat", s.job, s.jobName);
        ADD_FAILURE() << "a damaged password line loads";
    } catch (const job::EJobFileError& error) {
        EXPECT_NE(std::string(error.what()).find(file), std::string::npos) << error.what();
    }
    EXPECT_FALSE(s.store.JobFileBusy());

    // A load that a timer tick starts inside a save's settling wait cannot wait for the save
    // (the save's own caller is waiting): it gives up after the bounded wait, loads, and
    // hands the flag back to the save.
    s.files.files[file] = JoinLines(JobLines());
    s.host.waits.clear();
    bool nestedLoaded = false, busyAfterNested = false;
    s.host.duringNextWait = [&] {
        job::JobDefinition other;
        nestedLoaded = s.store.Load("Job.dat", other, s.jobName);
        busyAfterNested = s.store.JobFileBusy();
    };
    EXPECT_TRUE(s.Save());
    EXPECT_TRUE(nestedLoaded && busyAfterNested);
    EXPECT_FALSE(s.store.JobFileBusy());
    EXPECT_EQ(s.host.waits.size(), 1u + JobStore::busyWaitSteps + 1u);
}

TEST(JobStore, NamesResolveByTheLocationRules) {
    jobtest::MemoryJobFiles files;
    job::JobLocation location{"C:\\P\\", false, "D:\\Data\\", "ann"};
    auto resolve = [&](std::string_view name, const std::string& current = "") {
        const job::ResolvedJobFile resolved = job::ResolveJobFile(name, current, location, files);
        return resolved.path + "|" + resolved.jobName;
    };
    EXPECT_EQ(resolve("W.dat"), "C:\\P\\W.dat|W.dat");
    EXPECT_EQ(resolve("E:\\Jobs\\W.dat"), "E:\\Jobs\\W.dat|W.dat");
    EXPECT_EQ(resolve(" x", "F:\\Cur.dat"), "F:\\Cur.dat|Cur.dat");
    EXPECT_EQ(resolve(""), "C:\\P\\Default.dat|Default.dat");
    location.perUserDataOn = true;
    EXPECT_EQ(resolve("W.dat"), "D:\\Data\\W.dat|W.dat");
    location.dataDir.clear();
    EXPECT_EQ(resolve("W.dat"), "C:\\P\\Users\\ann\\W.dat|W.dat");
    EXPECT_EQ(files.folders, (std::set<std::string>{"D:\\Data\\", "C:\\P\\Users\\ann\\"}));
    location.userName.clear();
    EXPECT_EQ(resolve("W.dat"), "C:\\P\\W.dat|W.dat");

    // A missing file is no error: only the programs around the job are reset.
    Store s("");
    s.job.ZipName = "kept";
    s.job.PreWait = 30;
    EXPECT_FALSE(s.store.Load("Missing.dat", s.job, s.jobName));
    EXPECT_EQ(s.job.ZipName, "kept");
    EXPECT_EQ(s.job.PreWait, 10);
}

TEST(JobStore, LoadCapsTheVolumeAtTheFirstDestinationDrivesSize) {
    Store s(JoinLines(JobLines())); // "e:|f:\backup|", 650 MB volumes
    s.files.driveSizes = {{'E', 100'000'000}, {'F', 50'000'000}};
    ASSERT_TRUE(s.store.Load("Job.dat", s.job, s.jobName));
    EXPECT_EQ(s.job.MaxZipSize, 100'000'000) << "E: is the first destination";
    EXPECT_EQ(s.job.ZipSizeText, "650") << "the size box keeps what was typed";

    s.files.driveSizes = {{'E', 0}}; // no medium: the size is unknown, nothing capped
    ASSERT_TRUE(s.store.Load("Job.dat", s.job, s.jobName));
    EXPECT_EQ(s.job.MaxZipSize, 681'574'400);
    s.files.driveSizes = {{'E', 1'000'000'000}};
    ASSERT_TRUE(s.store.Load("Job.dat", s.job, s.jobName));
    EXPECT_EQ(s.job.MaxZipSize, 681'574'400);
}
