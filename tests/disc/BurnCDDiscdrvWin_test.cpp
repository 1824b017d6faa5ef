// The write verbs of discdrv as a separate process on the simulated drive: a session, a second
// one over the imported first, verification against the sources, and the plain ISO file.

#include "SimDriveWinSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

using disctest::RunProgram;
using disctest::SimFolder;

namespace {

struct Discdrv {
    SimFolder folder;
    Discdrv() {
        folder.WriteFile("a.zip", std::string(100000, 'a'));
        folder.WriteFile("c.bin", std::string(70000, 'c'));
        SetEnvironmentVariableA("DISCDRV_MANUAL_CLOCK", "1");
        folder.WriteIni(
            "[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=E\nBusyPolls=0\n"
            "Writes=CD-R,CD-RW\nDisc=d0\n[Disc:d0]\nMedia=CD-R\nImage=d0.img\n");
    }
    std::string Run(const std::string& arguments, unsigned long& exitCode) {
        return RunProgram("\"" + disctest::WindowsPath(TW_DISCDRV_EXE) + "\" " + arguments, exitCode);
    }
    ~Discdrv() { SetEnvironmentVariableA("DISCDRV_MANUAL_CLOCK", nullptr); }
    std::string Path(const std::string& name) { return "\"" + folder.File(name) + "\""; }
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(BurnCDDiscdrv, BurnsImportsAndVerifiesSessions) {
    Discdrv run;
    unsigned long code = 99;
    std::string out = run.Run("burn --label FIRST " + run.Path("a.zip"), code);
    EXPECT_EQ(code, 0u) << out;
    EXPECT_NE(out.find(">>> STARTING WRITE PROCESS ON"), std::string::npos) << out;
    EXPECT_TRUE(EndsWith(out, "done: OK\r\n")) << out;

    out = run.Run("burn --import " + run.Path("c.bin"), code);
    EXPECT_EQ(code, 0u) << out;
    out = run.Run("verify " + run.Path("a.zip") + " " + run.Path("c.bin"), code);
    EXPECT_EQ(code, 0u) << out;
    EXPECT_TRUE(EndsWith(out, "done: OK\r\n")) << out;

    run.folder.WriteFile("c.bin", std::string(69999, 'c') + "x");
    out = run.Run("verify " + run.Path("c.bin"), code);
    EXPECT_EQ(code, 1u);
    EXPECT_NE(out.find("done: differs: "), std::string::npos) << out;
}

TEST(BurnCDDiscdrv, IsoVerbWritesAFileAndFailuresEndInTheirText) {
    Discdrv run;
    unsigned long code = 99;
    std::string out = run.Run("iso " + run.Path("out.iso") + " " + run.Path("a.zip"), code);
    EXPECT_EQ(code, 0u) << out;
    EXPECT_GT(run.folder.ReadFile("out.iso").size(), 100000u);

    out = run.Run("burn " + run.Path("missing.zip"), code);
    EXPECT_EQ(code, 1u);
    EXPECT_NE(out.find("done: "), std::string::npos) << out;
    EXPECT_EQ(out.find("done: OK"), std::string::npos) << out;
}
