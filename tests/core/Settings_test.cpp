#include "core/Scramble.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

using core::OsVersion;
using gui::TMemIniFile;

namespace {
const OsVersion windowsXP{true, 5, 1};
const OsVersion windows98{false, 4, 10};
} // namespace

TEST(Settings, FirstStartWritesTheDefaultsByWindowsVersion) {
    TMemIniFile programFile;
    const auto read = core::ReadFormCreationSettings(programFile, windowsXP);
    EXPECT_FALSE(read.crashed);
    EXPECT_TRUE(read.useUserData);
    EXPECT_EQ(read.maxZipFactor, 7);
    EXPECT_EQ(read.infiniteWait, 1440);
    EXPECT_EQ(read.maxPreferedSpeed, "0");
    EXPECT_TRUE(read.allowPassWord);
    EXPECT_FALSE(read.lockMenu);
    EXPECT_EQ(programFile.Text(), "[Settings]\r\n"
                                  "Crashed=1\r\n"
                                  "UseTempFile=0\r\n"
                                  "UseCDR=1\r\n"
                                  "UseUserData2kXP=1\r\n"
                                  "MaxZipFactor=7\r\n"
                                  "LockMenu=0\r\n"
                                  "AllowPassWord=1\r\n");

    TMemIniFile oldWindows;
    EXPECT_FALSE(core::ReadFormCreationSettings(oldWindows, windows98).useUserData);
    EXPECT_EQ(oldWindows.ReadString("Settings", "UseUserData", "?"), "0");
    EXPECT_FALSE(oldWindows.ValueExists("Settings", "UseUserData2kXP"));
}

TEST(Settings, StoredValuesWinAndBadNumbersReadAsDefaults) {
    TMemIniFile programFile("[Settings]\r\nCrashed=1\r\nRestSpaceOnCD=abc\r\nMaxZipFactor=9\r\nLockMenu=1\r\n"
                            "InfiniteWait=30\r\nUseCDR=0\r\nMaxPreferedSpeed=2822\r\nMenu=" +
                            core::ScrambleText("lock", core::ScrambleKey) + "\r\n");
    const auto read = core::ReadFormCreationSettings(programFile, windowsXP);
    EXPECT_TRUE(read.crashed);
    EXPECT_EQ(read.restSpaceOnCD, 0);
    EXPECT_EQ(read.maxZipFactor, 9);
    EXPECT_TRUE(read.lockMenu);
    EXPECT_EQ(read.infiniteWait, 30);
    EXPECT_FALSE(read.useCDR);
    EXPECT_EQ(read.maxPreferedSpeed, "2822");
    EXPECT_EQ(read.menuPassword, "lock");
    EXPECT_EQ(programFile.ReadString("Settings", "UseCDR", ""), "0");
}

TEST(Settings, DamagedMenuPasswordReadsAsNone) {
    TMemIniFile programFile("[Settings]\r\nMenu=12x45678\r\n");
    const auto read = core::ReadFormCreationSettings(programFile, windowsXP);
    EXPECT_EQ(read.menuPassword, "");
    EXPECT_TRUE(read.menuPasswordDamaged);
}

TEST(Settings, MenuPasswordAndIdleLimitComeFromTheUserFileWhenItHasThem) {
    TMemIniFile programFile("[Settings]\r\nMenu=" + core::ScrambleText("old", core::ScrambleKey) +
                            "\r\nInfiniteWait=10\r\n");
    auto read = core::ReadFormCreationSettings(programFile, windowsXP);
    TMemIniFile emptyUserFile;
    core::ReadUserOverrides(emptyUserFile, read);
    EXPECT_EQ(read.menuPassword, "old");
    EXPECT_EQ(read.infiniteWait, 10);

    TMemIniFile userFile("[Settings]\r\nMenu=" + core::StoredMenuPassword("new") + "\r\nInfiniteWait=99\r\n");
    core::ReadUserOverrides(userFile, read);
    EXPECT_EQ(read.menuPassword, "new");
    EXPECT_EQ(read.infiniteWait, 99);
}

TEST(Settings, StartReadsLastJobUnlessOneWasNamedAndFixesTheTempPath) {
    TMemIniFile userFile(
        "[Files]\r\nLastJob=C:\\Jobs\\last.dat\r\nTempPath=D:\\Work\r\n[Settings]\r\nShowhint=0\r\n");
    auto start = core::ReadStartSettings(userFile, "", "C:\\Temp\\");
    EXPECT_EQ(start.jobName, "C:\\Jobs\\last.dat");
    EXPECT_EQ(start.tempPath, "D:\\Work\\");
    EXPECT_TRUE(start.showOnJob);
    EXPECT_FALSE(start.showHint);
    EXPECT_EQ(userFile.ReadString("Files", "TempPath", ""), "D:\\Work\\");

    start = core::ReadStartSettings(userFile, " blank first", "C:\\Temp\\");
    EXPECT_EQ(start.jobName, "C:\\Jobs\\last.dat") << "a name starting below '!' is no name";
    start = core::ReadStartSettings(userFile, "C:\\Jobs\\Daily.dat", "C:\\Temp\\");
    EXPECT_EQ(start.jobName, "C:\\Jobs\\Daily.dat");
    EXPECT_EQ(userFile.ReadString("Files", "LastJob", ""), "C:\\Jobs\\Daily.dat");

    TMemIniFile fresh;
    EXPECT_EQ(core::ReadStartSettings(fresh, "", "C:\\Temp\\").tempPath, "C:\\Temp\\");
}

TEST(Settings, SaveSplitsValuesBetweenUserAndProgramFiles) {
    TMemIniFile userFile, programFile;
    core::SavedState state;
    state.jobName = "C:\\Jobs\\a.dat";
    state.autoRun = false;
    state.restSpaceText = "12x";
    state.top = 10;
    state.left = 20;
    state.height = 300;
    state.width = 400;
    state.hidden = true;
    state.jobEndedThisSession = true;
    core::SaveSettings(userFile, programFile, state);
    EXPECT_EQ(userFile.ReadString("Files", "LastJob", ""), "C:\\Jobs\\a.dat");
    EXPECT_EQ(userFile.ReadString("Settings", "AutoRun", ""), "0");
    EXPECT_EQ(userFile.ReadString("Settings", "InfiniteWait", ""), "1440");
    EXPECT_FALSE(userFile.SectionExists("LastState"));
    EXPECT_EQ(programFile.ReadString("Settings", "Crashed", ""), "0");
    EXPECT_EQ(programFile.ReadString("Settings", "RestSpaceOnCD", ""), "0");
    EXPECT_EQ(programFile.ReadString("LastState", "default", ""), "0");
    EXPECT_EQ(programFile.ReadInteger("LastState", "Width", 0), 400);
    EXPECT_TRUE(programFile.ReadBool("LastState", "Hidden", false));
    EXPECT_FALSE(programFile.SectionExists("Files"));
}

TEST(Settings, ReminderSectionFillsAbsentValuesAndEmptyTexts) {
    TMemIniFile userFile("[JobOnStart]\r\nMaxDays=3\r\nNag2AfterDaycount=custom\r\n");
    const std::string defaults[4] = {"before", "after", "dest before", "dest after"};
    const auto reminder = core::ReadJobOnStart(userFile, defaults);
    EXPECT_EQ(reminder.jobName, "");
    EXPECT_EQ(reminder.doJobOnDay, 7);
    EXPECT_EQ(reminder.maxDays, 3);
    EXPECT_FALSE(reminder.close);
    EXPECT_EQ(reminder.nags[0], "before");
    EXPECT_EQ(reminder.nags[5], "custom");
    EXPECT_EQ(reminder.nags[7], "dest after");
    EXPECT_TRUE(userFile.ValueExists("JobOnStart", "JobName"));
    EXPECT_EQ(userFile.ReadString("JobOnStart", "DoJobOnDay", ""), "7");
    EXPECT_EQ(userFile.ReadString("JobOnStart", "Nag1AfterDestination", ""), "dest after");
}

TEST(Settings, MailSetUpRoundTripsWithAScrambledPassword) {
    TMemIniFile programFile;
    EXPECT_EQ(core::ReadEMail(programFile).smtpPort, "25");
    core::EMailSettings mail;
    mail.to = "ops@example.org";
    mail.smtpServer = "127.0.0.1";
    mail.smtpPort = "2525";
    mail.account = "backup";
    mail.password = "s3cret";
    core::WriteEMail(programFile, mail);
    EXPECT_EQ(programFile.ReadString("EMail", "Password", "").find("s3cret"), std::string::npos);
    const auto back = core::ReadEMail(programFile);
    EXPECT_EQ(back.to, mail.to);
    EXPECT_EQ(back.smtpPort, "2525");
    EXPECT_EQ(back.password, "s3cret");

    mail.password = "";
    core::WriteEMail(programFile, mail);
    // An empty password is scrambled with the tick count: stored, but never as an empty value.
    const std::string stored = programFile.ReadString("EMail", "Password", "");
    EXPECT_FALSE(stored.empty());
    EXPECT_EQ(core::UnscrambleText(stored, core::ScrambleKey), "");
    EXPECT_EQ(core::ReadEMail(programFile).password, "");
    programFile.WriteString("EMail", "Password", "12a45");
    EXPECT_EQ(core::ReadEMail(programFile).password, "");
    EXPECT_TRUE(core::ReadEMail(programFile).passwordDamaged);
}

TEST(Settings, ServiceFlagsOnlyOnTheNtFamilyAndRunningOnlyWithRunAs) {
    TMemIniFile programFile("[Settings]\r\nRunAsService=0\r\nRunningAsService=1\r\n");
    EXPECT_FALSE(core::ReadServiceSettings(programFile, windowsXP).runningAsService);
    TMemIniFile both("[Settings]\r\nRunAsService=1\r\nRunningAsService=1\r\n");
    EXPECT_TRUE(core::ReadServiceSettings(both, windowsXP).runningAsService);
    EXPECT_FALSE(core::ReadServiceSettings(both, windows98).runAsService);
}
