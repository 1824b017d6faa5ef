// The program lines of the job's before and after programs: quoted program and parameters,
// and what the shell is asked to start.

#include "gui/Shell.h"
#include "job/ProgramLine.h"

#include <gtest/gtest.h>

using namespace job;

TEST(ProgramLine, QuotedProgramTakesTheParametersAfterItAndStartsInItsFolder) {
    const ProgramCall quoted = SplitProgramLine("  \"C:\\Tools\\Pre Run.exe\"  /q  \"D:\\x y\" ");
    EXPECT_EQ(quoted.Program, "C:\\Tools\\Pre Run.exe");
    EXPECT_EQ(quoted.Parameters, "/q  \"D:\\x y\"");
    EXPECT_EQ(quoted.Folder, "C:\\Tools\\");

    const ProgramCall plain = SplitProgramLine("C:\\Tools\\post.bat /x");
    EXPECT_EQ(plain.Program, "C:\\Tools\\post.bat /x") << "unquoted: the whole line is the program";
    EXPECT_EQ(plain.Parameters, "");
    EXPECT_EQ(SplitProgramLine("\"C:\\open ended").Program, "C:\\open ended");

    gui::TRecordingShell shell;
    gui::SetShell(&shell);
    EXPECT_FALSE(StartProgramLine("   "));
    EXPECT_TRUE(StartProgramLine("\"C:\\Tools\\Pre Run.exe\" /q"));
    gui::SetShell(nullptr);
    ASSERT_EQ(shell.Calls().size(), 1u);
    EXPECT_EQ(shell.Calls()[0].Target, "C:\\Tools\\Pre Run.exe");
    EXPECT_EQ(shell.Calls()[0].Parameters, "/q");
    EXPECT_EQ(shell.Calls()[0].Folder, "C:\\Tools\\");
}

TEST(ProgramLine, WaitsFromTheJobFileAreClampedToWhatTheClockCanCount) {
    EXPECT_EQ(ProgramWaitMs(10), 10'000);
    EXPECT_EQ(ProgramWaitMs(-5), 0);
    EXPECT_EQ(ProgramWaitMs(3'000'000), 2'147'483'000) << "no overflow into a negative wait";
}
