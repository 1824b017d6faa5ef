// The next-boot plan: which files go to delayed moves, WININIT.INI or the batch chain, the
// 990-line limit, the drive rule for staging and the merged [Rename] section.
#include "job/BootReplace.h"

#include <gtest/gtest.h>

using job::TBootOs;
using job::TBootPlan;

TEST(BootReplacePlan, EachPlatformGetsItsOwnWayAndTheRenameListStopsAt990) {
    TBootPlan nt;
    ASSERT_TRUE(job::PlanFile(nt, {"C:\\data\\main.dll", "C:\\T\\0\\main.dll", "", ""}, TBootOs::NT));
    ASSERT_EQ(nt.moves.size(), 1u);
    EXPECT_EQ(nt.moves[0].from, "C:\\T\\0\\main.dll");
    EXPECT_TRUE(nt.iniLines.empty() && nt.batchLines.empty());

    TBootPlan old;
    ASSERT_TRUE(job::PlanFile(old,
                              {"C:\\DATA\\MAIN.DLL", "C:\\Temp dir\\0\\MAIN.DLL", "C:\\DATA\\MAIN.DLL",
                               "C:\\TEMPDI~1\\0\\MAIN.DLL"},
                              TBootOs::Win9x));
    EXPECT_TRUE(old.batch);
    EXPECT_EQ(old.batchLines, (std::vector<std::string>{"Attrib -H -S -R C:\\DATA\\MAIN.DLL",
                                                        "Copy C:\\TEMPDI~1\\0\\MAIN.DLL C:\\DATA\\MAIN.DLL",
                                                        "Del C:\\TEMPDI~1\\0\\MAIN.DLL"}));
    for (int i = 0; i < 991; ++i) {
        const std::string n = std::to_string(i);
        const bool taken = job::PlanFile(old,
                                         {"C:\\Long folder name\\f" + n + ".dll", "C:\\T\\" + n + "\\f.dll",
                                          "C:\\LONGFO~1\\F" + n + ".DLL", "C:\\T\\" + n + "\\F.DLL"},
                                         TBootOs::WinMe);
        EXPECT_EQ(taken, i < 990) << i;
    }
    EXPECT_EQ(old.iniLines.size(), 990u);
    EXPECT_EQ(old.iniLines[0], "C:\\LONGFO~1\\F0.DLL=C:\\T\\0\\F.DLL")
        << "short forms for the real-mode renamer";
    EXPECT_TRUE(old.tooMany);
    EXPECT_FALSE(job::PlanFile(old, {"C:\\A.DLL", "C:\\T\\A.DLL", "", ""}, TBootOs::Win9x));

    EXPECT_TRUE(job::IsRegistryHive("C:\\WINDOWS\\System32\\Config\\SAM", "C:\\windows", ""));
    EXPECT_TRUE(job::IsRegistryHive("c:\\users\\ann\\NTUSER.DAT", "C:\\windows", "C:\\Users\\Ann\\"));
    EXPECT_FALSE(job::IsRegistryHive("C:\\windows\\system32\\config\\sam.log", "C:\\windows", ""));

    EXPECT_EQ(job::StagingRootFor("c:\\data\\x.dll", "C:\\Temp\\"), "C:\\Temp\\");
    EXPECT_EQ(job::StagingRootFor("D:\\data\\x.dll", "C:\\Temp\\"), "D:\\TarnwickBoot\\")
        << "a boot-time rename cannot cross volumes";

    EXPECT_EQ(job::RestartMessage(0, true, TBootOs::WinMe), "");
    EXPECT_EQ(job::RestartMessage(2, false, TBootOs::NT),
              "You must restart your computer to get the rest of the files restored");
    EXPECT_EQ(job::RestartMessage(1, true, TBootOs::WinMe).substr(0, 30), "As you are using Windows ME yo");
}

TEST(BootReplacePlan, BatchTailAndRenameSectionKeepWhatWasThere) {
    const job::TBatchTail kept = job::PlanBatchTail(3, true);
    EXPECT_EQ(kept.autoexec, std::vector<std::string>{"C:\\QRestore.bat"});
    EXPECT_EQ(kept.qrestore, (std::vector<std::string>{"Copy C:\\AutoExec.3 C:\\AutoExec.bat",
                                                       "Del C:\\AutoExec.3", "C:\\QClean.bat"}));
    EXPECT_EQ(kept.qclean, (std::vector<std::string>{"Del C:\\QRestore.Bat", "C:\\AutoExec.bat"}));
    const job::TBatchTail none = job::PlanBatchTail(0, false);
    EXPECT_EQ(none.qrestore, (std::vector<std::string>{"Del C:\\AutoExec.bat", "C:\\QClean.bat"}));
    EXPECT_EQ(none.qclean, std::vector<std::string>{"Del C:\\QRestore.Bat"});

    EXPECT_EQ(job::MeSwapLines("C:", 2, 3)[3], "Rename _RESTORE _REST2");
    EXPECT_EQ(job::MeSwapLines("C:", 2, 3)[6], "Rename _REST3 _RESTORE");

    const std::vector<std::string> ours = {"C:\\A.DLL=C:\\T\\0\\A.DLL"};
    EXPECT_EQ(job::MergeRenameSection("", ours), "[Rename]\r\nC:\\A.DLL=C:\\T\\0\\A.DLL\r\n");
    EXPECT_EQ(job::MergeRenameSection("[rename]\r\nNUL=C:\\OLD.TMP\r\n[Other]\r\nx=1", ours),
              "[rename]\r\nNUL=C:\\OLD.TMP\r\nC:\\A.DLL=C:\\T\\0\\A.DLL\r\n[Other]\r\nx=1")
        << "other programs' lines stay";
    EXPECT_EQ(job::MergeRenameSection("[Other]\nx=1", ours),
              "[Other]\nx=1\r\n[Rename]\r\nC:\\A.DLL=C:\\T\\0\\A.DLL\r\n");
}
