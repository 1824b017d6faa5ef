// The copy thread: whole copies that read back as their source, refusals that touch nothing,
// a read-only target kept, and a cancelled job's copy that leaves no partial target. A medium
// that fills is the copydrv script's (it needs a tmpfs).

#include "WinTestSupport.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "job/FCopy2.h"

#include <gtest/gtest.h>

#include <string>

using namespace job;
using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

namespace {

class CopyThreadTest : public testing::Test {
  protected:
    void SetUp() override {
        gui::Application();
        testsupport::DrainQueue();
        gui::SetClock(&clock);
    }
    void TearDown() override {
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }

    static std::string Bytes(size_t size, unsigned seed) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            seed = seed * 1103515245u + 12345u;
            bytes[i] = static_cast<char>(seed >> 23);
        }
        return bytes;
    }

    gui::ManualClock clock;
    testsupport::TempFolder folder;
};

} // namespace

TEST_F(CopyThreadTest, CopiesWholeAndRefusesAnExistingTargetOrAMissingSourceWithoutTouchingIt) {
    const std::string source = folder / "volume.zip", target = folder / "copy.zip";
    const std::string bytes = Bytes(3'000'000, 7);
    WriteWholeFile(source, bytes);

    int asked = 0;
    EXPECT_TRUE(CopyFileThreaded(source, target, false, [&] { return ++asked, false; }));
    EXPECT_EQ(ReadWholeFile(target), bytes);
    EXPECT_FALSE(CopyBusy);
    EXPECT_GE(clock.MonotonicMs(), 2'000) << "the thread's settling wait runs on the program's clock";

    WriteWholeFile(target, "older");
    EXPECT_FALSE(CopyFileThreaded(source, target, true));
    EXPECT_EQ(ReadWholeFile(target), "older") << "fail-if-exists keeps the target";
    EXPECT_TRUE(CopyFileThreaded(source, target, false));
    EXPECT_EQ(ReadWholeFile(target), bytes) << "overwritten";

    EXPECT_FALSE(CopyFileThreaded(folder / "missing.zip", folder / "never.zip", false));
    EXPECT_FALSE(FileExists(folder / "never.zip"));
    EXPECT_FALSE(CopyFileThreaded(folder / "missing.zip", target, false));
    EXPECT_EQ(ReadWholeFile(target), bytes) << "a missing source leaves an old target alone";
    EXPECT_FALSE(CopyFileThreaded(source, folder / "no folder\\copy.zip", false));

    // A read-only target (a catalogue's older backup) is refused and kept.
    const std::string backup = folder / "Daily.bak";
    WriteWholeFile(backup, "the older backup");
    SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(CopyFileThreaded(source, backup, false));
    EXPECT_EQ(ReadWholeFile(backup), "the older backup");
    SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A copy counts by what reads back, not by its size.
    WriteWholeFile(folder / "same size.zip", std::string(bytes.size(), 'x'));
    EXPECT_FALSE(HoldsStartOf(folder / "same size.zip", source));
    EXPECT_TRUE(HoldsStartOf(target, source));
    WriteWholeFile(folder / "start.zip", bytes.substr(0, 1'500'000));
    EXPECT_TRUE(HoldsStartOf(folder / "start.zip", source));
    EXPECT_FALSE(HoldsStartOf(source, folder / "start.zip")) << "longer than what it is held against";
}

TEST_F(CopyThreadTest, ACancelledJobOrAClosingProgramAbortsTheCopyLeavingNoPartialTarget) {
    const std::string source = folder / "large.zip", target = folder / "large copy.zip";
    const std::string bytes = Bytes(40'000'000, 3);
    WriteWholeFile(source, bytes);

    bool nestedRefused = false;
    const bool copied = CopyFileThreaded(source, target, false, [&] {
        nestedRefused = !CopyFileThreaded(source, folder / "nested.zip", false);
        return true;
    });
    EXPECT_FALSE(copied);
    EXPECT_TRUE(nestedRefused) << "a copy from inside the pump of another is refused";
    EXPECT_FALSE(FileExists(folder / "nested.zip"));
    EXPECT_FALSE(FileExists(target)) << "no partial target";
    EXPECT_EQ(ReadWholeFile(source).size(), bytes.size());
    EXPECT_LT(clock.MonotonicMs(), 2'000) << "a cancelled copy does not wait for the medium";

    // The next job's copy is not aborted by the last one's cancel.
    EXPECT_TRUE(CopyFileThreaded(source, target, false));
    EXPECT_EQ(ReadWholeFile(target).size(), bytes.size());

    // The program closing during a copy aborts it too, and its quit stays queued for the loop.
    PostQuitMessage(0);
    EXPECT_FALSE(CopyFileThreaded(source, folder / "closing.zip", false));
    EXPECT_FALSE(FileExists(folder / "closing.zip"));
    EXPECT_TRUE(testsupport::DrainQueue());
}
