// Whole jobs to the simulated disc writer where the disc step meets trouble: a compare failure
// without the erase option, an error thrown inside the step or inside the write-done handling,
// a session that does not close in time; and the notice that the media may be taken out once
// the job's last volume is on the disc and compared.
#include "DiscJobSupport.h"
#include "gui/Application.h"
#include "gui/Label.h"
#include "job/JobDiscStep.h"
#include "ui/SmallDialogs.h"

#include <stdexcept>

using discjob::Count;
using discjob::DiscJob;

namespace {

constexpr char writeError[] =
    "Write error. Insert a new disc in the CD/DVD writer. The disc in the writer may be "
    "defective. Press cancell to continue and skip the curent file";
constexpr char safeToRemove[] = "Disc created and compared with source, it is now safe to remove the media";

// A manual clock whose next sleep on the window's thread throws once it is armed: an error
// raised in the middle of whatever the window is waiting in.
class ThrowingClock : public discjob::StandInClock {
  public:
    explicit ThrowingClock(gui::ManualClock& replaced) : StandInClock(replaced) {}
    bool Sleep(int milliseconds, bool alertable) override {
        if (Armed && gui::Application().OnGuiThread()) {
            Armed = false;
            ++Thrown;
            throw std::runtime_error("drive answer lost");
        }
        return ManualClock::Sleep(milliseconds, alertable);
    }
    bool Armed = false;
    int Thrown = 0;
};

} // namespace

// A volume that does not compare on a disc the job may not erase: a hidden job with nobody to
// tell stops (the volume stays in the temporary folder, nothing more is written); a user who
// answers OK gets it written again, and compared.
TEST(JobDiscStepFailures, ACompareFailureWithoutTheEraseOptionCancelsAHiddenJobOrIsWrittenAgainOnOk) {
    // Block 200 lies inside the first volume's data; every write of it is stored wrong.
    const std::string flip = "[Faults]\n1=WRITE10 count=* lba=200 flip=0\n";
    {
        DiscJob p("CD-R", flip);
        p.Sources("a", 2, 2'500'000, 21);
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, writeError), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << "nothing after the failed volume: " << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"), 0u) << log;
        EXPECT_EQ(Count(log, "left in the temporary folder: "), 1u) << log;
        EXPECT_EQ(p.ZipsInTemp().size(), 1u) << "the volume that did not compare stays";
        EXPECT_FALSE(p.Form().Session.Running());
        EXPECT_FALSE(p.Form().DiscWriteStarted);
    }
    {
        DiscJob p("CD-R", flip);
        p.program->Flags().Hidden = false;
        p.Sources("a", 1, 600'000, 22);
        p.prompter.AnswerMessage(gui::mrOk);
        p.Run();
        const std::string log = p.ProgramLog();
        const size_t volumes = Count(log, "File created: ");
        EXPECT_EQ(Count(log, "Error written disc file different from source file"), 1u) << log;
        EXPECT_EQ(Count(log, " burned to disc - Avg."), volumes + 1)
            << "the failed volume once more: " << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        EXPECT_EQ(p.prompter.Pending(), 0u);
        EXPECT_TRUE(p.ZipsInTemp().empty());
    }
}

// The notice that the media may be taken out comes once, after the last volume is compared,
// and never while the window is hidden.
TEST(JobDiscStepFailures, TheSafeToRemoveNoticeFollowsTheLastComparedVolumeOnly) {
    DiscJob p("CD-R");
    p.program->Flags().Hidden = false;
    p.Sources("a", 3, 3'500'000, 23);
    ui::TMF& form = p.Form();
    std::vector<std::string> shownAfterStep;
    // After each step that compared a volume: what the status box shows.
    form.OnDiscStep = [&](bool now) {
        const size_t before = Count(p.ProgramLog(), "Burned and compared with source, OK");
        form.DiscStepper()->DiscStep(now);
        if (Count(p.ProgramLog(), "Burned and compared with source, OK") > before)
            shownAfterStep.push_back(form.AppMsg1->StaticText1->Caption());
    };
    p.Run();
    const std::string log = p.ProgramLog();
    const size_t volumes = Count(log, "File created: ");
    ASSERT_GE(volumes, 3u) << log;
    EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
    ASSERT_EQ(shownAfterStep.size(), volumes);
    for (size_t step = 0; step + 1 < volumes; ++step)
        EXPECT_NE(shownAfterStep[step], safeToRemove) << "volume " << step + 1 << " is not the last";
    EXPECT_EQ(shownAfterStep.back(), safeToRemove);
}

// An error out of the middle of the disc step (here the box asking for a disc with room, which
// cannot be shown) is logged and the job goes on: the volume stays in the temporary folder,
// the runner gets its next step, the watchdog watches again. An error inside the write-done
// handling ends the write's wait all the same.
TEST(JobDiscStepFailures, AnErrorInTheStepOrInTheWriteDoneIsLoggedAndTheJobGoesOn) {
    {
        // Room for the first session only.
        DiscJob p("CD-R", "Blocks=12000\n");
        p.program->Flags().Hidden = false;
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 2, 2'500'000, 24);
        p.Run();
        const std::string log = p.ProgramLog();
        const size_t volumes = Count(log, "File created: ");
        ASSERT_GE(volumes, 2u) << log;
        EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << log;
        EXPECT_EQ(Count(log, "Disc step stopped by an error: Unscripted "), volumes - 1) << log;
        EXPECT_EQ(Count(log, "left in the temporary folder: "), volumes - 1) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        EXPECT_EQ(p.ZipsInTemp().size(), volumes - 1);
        EXPECT_FALSE(p.Form().DiscWriteStarted);
        EXPECT_FALSE(p.Tab().Busy());
    }
    {
        DiscJob p("CD-R");
        p.Sources("a", 1, 600'000, 25);
        ThrowingClock clock(p.scope.clock);
        ui::TMF& form = p.Form();
        const auto writeDone = form.OnWriteDone;
        form.OnWriteDone = [&](bool failed) {
            clock.Armed = clock.Thrown == 0;
            writeDone(failed);
            clock.Armed = false;
        };
        // Were the wait left on, only a cancel would end it.
        const auto tick = form.OnBurnStatusTick;
        int ticksAfterThrow = 0;
        form.OnBurnStatusTick = [&] {
            tick();
            if (clock.Thrown > 0 && p.Tab().WaitWriteDone && ++ticksAfterThrow > 3600)
                form.Session.Cancelled = true;
        };
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(clock.Thrown, 1);
        EXPECT_EQ(Count(log, "drive answer lost"), 1u) << "the program's handler logs it: " << log;
        EXPECT_EQ(ticksAfterThrow, 0) << "the write's wait ended with the handler";
        EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"), Count(log, "File created: ")) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        EXPECT_FALSE(p.Tab().Busy());
    }
}

// A session whose end is never told (its write-done is lost) is a failed write after the
// bounded wait, told as a finalization error; the next attempt writes the volume.
TEST(JobDiscStepFailures, ASessionThatDoesNotCloseInTimeIsAFinalizationErrorAndWrittenAgain) {
    DiscJob p("CD-R");
    p.Sources("a", 1, 600'000, 26);
    ui::TMF& form = p.Form();
    const auto writeDone = form.OnWriteDone;
    int lost = 0;
    form.OnWriteDone = [&](bool failed) {
        if (lost++ == 0) return;
        writeDone(failed);
    };
    p.Run();
    const std::string log = p.ProgramLog();
    const size_t volumes = Count(log, "File created: ");
    EXPECT_EQ(Count(log, " Error burning to disc - Finalization "), 1u) << log;
    EXPECT_EQ(Count(log, " burned to disc - Avg."), volumes) << log;
    EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    EXPECT_FALSE(p.Tab().Busy());
}

// A volume put back on the burn-later list counts against its own run only: the same part,
// failing its comparison in each of three runs (a fresh disc each time, so the runs give it
// the same name), is put back and written at the end of every run.
TEST(JobDiscStepFailures, VolumesPutBackAreCountedPerRun) {
    DiscJob p("CD-R", "[Faults]\n1=WRITE10 count=* lba=200 flip=0\n");
    p.job.Splitlargefiles = true;
    p.Sources("a", 1, 9'000'000, 27);
    for (size_t run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        std::filesystem::remove(p.folder / "d0.img");
        std::filesystem::remove(p.folder / "d0.img.state");
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, writeError), run) << log;
        EXPECT_EQ(Count(log, "left in the temporary folder: "), 0u) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), run) << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"),
                  Count(log, " burned to disc - Avg.") - run)
            << log;
    }
    EXPECT_EQ(Count(p.ProgramLog(), "20251209001C.z01 - Burned and compared with source, OK"), 3u)
        << "the same part each time";
}
