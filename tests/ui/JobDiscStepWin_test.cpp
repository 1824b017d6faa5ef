// Whole jobs to a disc writer, the program hosted in-process (manual clock, scripted prompter,
// hidden) with the simulated drive library beside the program file: every volume becomes a
// session in the destination folder, compared with its temporary copy, which then goes; the
// next job appends; the erase option, write faults, cancels and full discs take the ways the
// disc step gives them, and a hidden job's notice that nobody answers ends it after the wait's
// bound. The drive's command log shows what reached the drive, and the image is left for the
// native peers (JobDiscPeers).
#include "DiscJobSupport.h"
#include "HookedAttributes.h"
#include "core/Settings.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/CheckBox.h"
#include "gui/FileAttributes.h"
#include "job/JobDiscStep.h"
#include "job/JobRunner.h"
#include "ui/MFo.h"

#include <fstream>
#include <map>

using discjob::Count;
using discjob::DiscJob;
using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

std::filesystem::path PeerImages() {
    return std::filesystem::path(disctest::WindowsPath(TW_BINARY_DIR)) / "peer-images";
}

// The source files as they were backed up, for the peers to compare with.
void PublishSources(DiscJob& p, const std::string& name) {
    const std::filesystem::path to = PeerImages() / (name + ".src");
    std::filesystem::create_directories(to);
    const std::string from = p.source.Path().substr(0, p.source.Path().size() - 1);
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(from)))
        std::filesystem::copy_file(entry.path(), to / entry.path().filename(),
                                   std::filesystem::copy_options::overwrite_existing);
}

// The job's manual clock, except that the window's waits take real time while the drive closes
// the session at its own (real) pace, so its end can come inside them.
class SessionCloseClock : public discjob::StandInClock {
  public:
    SessionCloseClock(gui::ManualClock& replaced, std::function<bool()> closing)
        : StandInClock(replaced), closing_(std::move(closing)) {}
    bool Sleep(int milliseconds, bool alertable) override {
        if (gui::Application().OnGuiThread() && closing_()) ::Sleep(static_cast<DWORD>(milliseconds));
        return ManualClock::Sleep(milliseconds, alertable);
    }

  private:
    std::function<bool()> closing_;
};

void Publish(DiscJob& p, const std::string& name, const std::string& image = "d0.img") {
    std::filesystem::create_directories(PeerImages());
    std::filesystem::copy_file(p.folder / image, PeerImages() / name,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(PeerImages() / (name + ".start")) << p.LastSessionStart(image);
}

using testsupport::HookedAttributes;

// The job clears the archive bits of its sources, which are kept in memory, each set at first.
void ClearBitsIn(DiscJob& p, HookedAttributes& attributes) {
    p.job.ClearArchiveBit = true;
    attributes.AddTree(p.source.Path());
    p.Form().JobAttributes = &attributes;
}

} // namespace

// Three volumes, each written, compared and deleted from the temporary folder; the second
// job's volumes join them in a later session under names of their own.
TEST(JobDiscStep, VerifiedVolumesBecomeSessionsAndTheNextJobAppends) {
    std::filesystem::remove_all(PeerImages() / "jobdisc-cdr.img.src");
    std::filesystem::remove(PeerImages() / "jobdisc-cdr.img.start");
    DiscJob p("CD-R");
    p.Sources("a", 3, 3'500'000, 1);
    p.Run();
    std::string log = p.ProgramLog();
    const size_t volumes = Count(log, "File created: ");
    EXPECT_GE(volumes, 3u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    EXPECT_EQ(Count(log, " burned to disc - Avg."), volumes) << log;
    EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    EXPECT_TRUE(p.ZipsInTemp().empty()) << "each compared volume leaves the temporary folder";

    // The next run of the job: new files, the same day, names the disc does not hold yet.
    PublishSources(p, "jobdisc-cdr.img");
    std::filesystem::remove_all(std::filesystem::path(p.source.Path()));
    std::filesystem::create_directories(std::filesystem::path(p.source.Path()));
    p.Sources("b", 1, 2'000'000, 2);
    p.Run();
    log = p.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 2u) << log;
    const size_t all = Count(log, "File created: ");
    EXPECT_EQ(Count(log, "Burned and compared with source, OK"), all) << log;
    EXPECT_GT(all, volumes);
    EXPECT_EQ(Count(log, "Error"), 0u) << log;
    PublishSources(p, "jobdisc-cdr.img");
    Publish(p, "jobdisc-cdr.img");
}

// With the erase option a rewritable disc that holds none of the job's files is erased before
// the first volume; the job's later volumes join it, never erasing what the job wrote, also
// in a destination folder. A disc whose sessions cannot be read may hold the job's volumes: it
// is not erased, nor is a session added that would hide them.
TEST(JobDiscStep, EraseOptionErasesAStrangersDiscOnceAndAppendsTheJobsOwnVolumes) {
    {
        DiscJob p("CD-RW", "Prefill=s1.iso@0\n", 0, "", {{"s1.iso", disctest::CraftedIso(40, 40)}});
        p.job.EraseCD = true;
        p.Sources("a", 1, 3'500'000, 3);
        p.Run();
        const std::string log = p.ProgramLog();
        const size_t volumes = Count(log, "File created: ");
        EXPECT_GE(volumes, 2u) << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
        EXPECT_EQ(p.Commands("a1 "), 1u) << "one erase, before the first volume";
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        EXPECT_TRUE(p.ZipsInTemp().empty());
    }
    {
        // The blank disc needs no reading for the first volume; from then on nothing reads.
        DiscJob p("CD-RW", "[Faults]\n1=READ10 count=* sense=3/11/00\n");
        p.job.EraseCD = true;
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 2, 3'000'000, 3);
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(p.Commands("a1 "), 1u) << "the blank disc only: " << log;
        EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << log;
        EXPECT_EQ(Count(log, "The disc in the CD/DVD writer could not be read"), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << "hidden, without a mail recipient: " << log;
        EXPECT_EQ(p.LastSessionStart(), 0u) << "the first volume's session is still the last";
        EXPECT_EQ(p.ZipsInTemp().size(), Count(log, "File created: ") - 1) << log;
    }
}

// A write that fails is tried again, up to five times: two failures end in a good volume;
// a drive that always fails gives up, and the volume is told as left in the temporary folder.
TEST(JobDiscStep, FailedWritesAreTriedAgainAndGivenUpAfterFive) {
    {
        DiscJob p("CD-R", "[Faults]\n1=WRITE10 from=1 count=2 sense=3/0C/00\n");
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 1, 100'000, 4);
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, " Error burning to disc - "), 2u) << log;
        EXPECT_EQ(Count(log, " burned to disc - Avg."), Count(log, "File created: ")) << log;
        EXPECT_TRUE(p.ZipsInTemp().empty()) << "written without a test, the copy goes";
    }
    {
        DiscJob p("CD-R", "[Faults]\n1=WRITE10 count=* sense=3/0C/00\n");
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 1, 100'000, 4);
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, " Error burning to disc - "), 5u) << log;
        EXPECT_EQ(Count(log, "burned to disc - Avg."), 0u) << log;
        EXPECT_EQ(Count(log, "left in the temporary folder: "), Count(log, "File created: ")) << log;
        EXPECT_EQ(p.ZipsInTemp().size(), Count(log, "File created: ")) << "nothing given up is deleted";
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    }
}

// A volume whose comparison fails on a rewritable disc with the erase option is erased and
// written again, three times at most; each round is its own disc step and the runner hears of
// the volume once.
TEST(JobDiscStep, ACompareFailureIsErasedAndWrittenAgainThreeTimesWithOneAnswerToTheRunner) {
    // Block 200 lies inside the first volume's data; every write of it is stored wrong.
    DiscJob p("CD-RW", "[Faults]\n1=WRITE10 count=* lba=200 flip=0\n");
    p.program->Flags().Hidden = false;
    p.Tab().cbDoNotOpenCD->SetChecked(true);
    p.job.EraseCD = true;
    p.Sources("a", 1, 600'000, 5);
    ui::TMF& form = p.Form();
    std::string events;
    const auto continueJob = form.OnContinueJob;
    form.OnContinueJob = [&] {
        events += 'c';
        continueJob();
    };
    form.OnDiscStep = [&](bool now) {
        events += 'd';
        form.DiscStepper()->DiscStep(now);
    };
    p.prompter.AnswerMessage(gui::mrOk); // the third round asks for another disc first
    p.Run();
    const std::string log = p.ProgramLog();
    EXPECT_EQ(Count(log, "Error written disc file different from source file, after 3. retry"), 1u) << log;
    const size_t volumes = Count(log, "File created: ");
    EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes - 1) << log;
    EXPECT_EQ(Count(events, "d"), volumes + 3) << events;
    EXPECT_EQ(Count(events, "dc"), volumes) << events;
    EXPECT_EQ(Count(events, "dddd"), 1u) << "each round follows its failed round directly: " << events;
    EXPECT_EQ(p.Commands("a1 "), 4u) << "the first erase and one per round";
    EXPECT_EQ(Count(log, "left in the temporary folder: "), 1u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
}

// A job that clears archive bits and uses the last run time, its disc step ended by a cancel
// while the disc is written: the runner's next step finds the job cancelled and ends it there,
// every archive bit set again and the job's "After:" date as before the start.
TEST(JobDiscStep, ADiscStepEndedByACancelSetsTheArchiveBitsAgainAndKeepsTheAfterDate) {
    DiscJob p("CD-R", "[Faults]\n1=WRITE10 from=3 hang\n");
    p.Sources("a", 2, 600'000, 8);
    gui::MemoryFileAttributes attributes;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(p.source.Path())))
        attributes.files[entry.path().string()] = gui::AttributeArchive;
    ui::TMF& form = p.Form();
    form.JobAttributes = &attributes;
    p.job.ClearArchiveBit = true;
    p.job.Uselasttime1 = true;
    p.job.AfterDateText = core::DateToStrFixed(46000.25, form.Locale);
    const std::string afterLine = testsupport::LineOf(job::WriteJobText(p.job, {}), 4);
    const auto tick = form.OnBurnStatusTick;
    form.OnBurnStatusTick = [&] {
        if (p.Tab().Writing) form.Session.Cancelled = true;
        tick();
    };
    p.Run();
    const std::string log = p.ProgramLog();
    EXPECT_FALSE(form.Session.Running());
    EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
    EXPECT_EQ(Count(log, "Archivebits reset"), 1u) << log;
    ASSERT_EQ(attributes.files.size(), 2u);
    for (const auto& [path, bits] : attributes.files)
        EXPECT_EQ(bits, gui::AttributeArchive) << path;
    EXPECT_FALSE(testsupport::FileExists(p.folder / "Att.Lst"));
    EXPECT_EQ(testsupport::LineOf(ReadWholeFile(p.folder / "Daily.dat"), 4), afterLine);
}

// A cancel while the disc is written stops the writer and waits for its end: nothing is said
// to be burned, the volume stays, the job ends once; a cancel during the erase waits for the
// erase, and nothing is written after it.
TEST(JobDiscStep, ACancelDuringTheWriteOrTheEraseStopsAtTheDrivesPace) {
    {
        DiscJob p("CD-R", "[Faults]\n1=WRITE10 from=3 hang\n");
        p.Sources("a", 1, 600'000, 6);
        ui::TMF& form = p.Form();
        const auto tick = form.OnBurnStatusTick;
        form.OnBurnStatusTick = [&] {
            if (p.Tab().Writing) form.Session.Cancelled = true;
            tick();
        };
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, "burned to disc - Avg."), 0u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_EQ(Count(log, "Error burning to disc - OPERATION ABORTED BY USER"), 1u) << log;
        EXPECT_EQ(p.ZipsInTemp().size(), 1u) << "the volume stays in the temporary folder";
        EXPECT_FALSE(p.Tab().Busy());
        EXPECT_FALSE(form.Session.Running());
    }
    {
        DiscJob p("CD-RW", "Prefill=s1.iso@0\n", 10);
        WriteWholeFile(p.folder / "s1.iso", disctest::CraftedIso(40, 40));
        p.job.EraseCD = true;
        p.Sources("a", 1, 100'000, 7);
        ui::TMF& form = p.Form();
        bool sawErase = false;
        const auto tick = form.OnBurnStatusTick;
        form.OnBurnStatusTick = [&] {
            if (p.Tab().FrameCDB().Burner1.Erasing) sawErase = form.Session.Cancelled = true;
            tick();
        };
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_TRUE(sawErase);
        EXPECT_EQ(p.Commands("a1 "), 1u);
        EXPECT_EQ(p.Commands("2a "), 0u) << "nothing written after a cancelled erase";
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_FALSE(p.Tab().Busy());
    }
    {
        // The drive takes real time to close the track and the session; the cancel comes once
        // the status line has ended the wait for the write, as it does when the drive's buffer
        // has drained, while the drive still closes.
        DiscJob p("CD-R", "[Faults]\n1=CLOSE count=* delay=1500\n");
        p.Sources("a", 1, 600'000, 6);
        ui::TMF& form = p.Form();
        ui::TDiscTab& tab = p.Tab();
        SessionCloseClock clock(p.scope.clock,
                                [&] { return tab.DiscBusy && !tab.Writing && !tab.WaitWriteDone; });
        bool cancelled = false;
        const auto tick = form.OnBurnStatusTick;
        form.OnBurnStatusTick = [&] {
            tick();
            if (!cancelled && tab.DiscBusy && !tab.Writing && tab.WaitWriteDone) {
                tab.WaitWriteDone = false;
                cancelled = form.Session.Cancelled = true;
            }
        };
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(Count(log, "burned to disc - Avg."), 0u) << log;
        EXPECT_EQ(Count(log, "Error burning to disc, cancelled; left in the temporary folder: "), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_EQ(p.ZipsInTemp().size(), 1u) << "the volume stays in the temporary folder";
        EXPECT_FALSE(tab.Busy());
    }
}

// The timer's minute after a cancel, while the disc step still waits for the drive to close the
// session (real time), leaves the job to the runner's next step: its end phase sets every
// archive bit again and says the job was cancelled, and the job's end runs once.
TEST(JobDiscStep, TheTimersMinuteDuringACancelledDiscStepLeavesTheEndToTheRunner) {
    DiscJob p("CD-R", "[Faults]\n1=CLOSE count=* delay=1500\n");
    p.Sources("a", 2, 300'000, 12);
    gui::MemoryFileAttributes attributes;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(p.source.Path())))
        attributes.files[entry.path().string()] = gui::AttributeArchive;
    ui::TMF& form = p.Form();
    form.JobAttributes = &attributes;
    p.job.ClearArchiveBit = true;
    p.job.PostRunFile = p.folder.Path() + "after.exe";
    ui::TDiscTab& tab = p.Tab();
    SessionCloseClock clock(p.scope.clock,
                            [&] { return tab.DiscBusy && !tab.Writing && !tab.WaitWriteDone; });
    bool cancelled = false;
    const auto tick = form.OnBurnStatusTick;
    form.OnBurnStatusTick = [&] {
        tick();
        if (!cancelled && tab.DiscBusy && !tab.Writing && tab.WaitWriteDone) {
            tab.WaitWriteDone = false;
            cancelled = form.Session.Cancelled = true;
            form.MinuteTicks = 59; // the next tick is the minute
            form.Timer1Timer();
            EXPECT_TRUE(form.Session.Running()) << "ended under the disc step";
        }
    };
    p.Run();
    const std::string log = p.ProgramLog();
    ASSERT_TRUE(cancelled);
    EXPECT_FALSE(form.Session.Running());
    EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
    EXPECT_EQ(Count(log, "Archivebits reset"), 1u) << log;
    ASSERT_EQ(attributes.files.size(), 2u);
    for (const auto& [path, bits] : attributes.files)
        EXPECT_EQ(bits, gui::AttributeArchive) << path;
    size_t programsAfter = 0;
    for (const gui::TShellCall& call : p.shell.Calls())
        programsAfter += call.Target == p.job.PostRunFile ? 1 : 0;
    EXPECT_EQ(programsAfter, 1u);
    EXPECT_EQ(p.ZipsInTemp().size(), 1u) << "the volume stays in the temporary folder";
}

// The start action's cancel while the finished volume is verified ends the job through its
// cancel tail: the volume goes to no disc and stays in the temporary folder, nothing is said
// about it (the test was cut short, not failed), and every archive bit is set again.
TEST(JobDiscStep, ACancelDuringTheVerificationEndsTheJobBeforeTheDiscWithEveryArchiveBitSetAgain) {
    DiscJob p("CD-R");
    p.Sources("a", 2, 600'000, 11);
    HookedAttributes attributes;
    ClearBitsIn(p, attributes);
    ui::TMF& form = p.Form();
    bool cancelled = false;
    // The test lowers the priority just before it reads the volume.
    attributes.afterSet = [&] {
        form.Runner()->SetPriority = [&](int priority) {
            if (priority >= 0 || cancelled) return;
            cancelled = true;
            p.prompter.AnswerMessage(gui::mrYes);
            form.Startbackup->Execute();
        };
    };
    p.Run();
    const std::string log = p.ProgramLog();
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(form.Session.Running());
    EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
    EXPECT_EQ(Count(log, "rrors found in"), 0u) << log;
    EXPECT_EQ(Count(log, "burned to disc"), 0u) << log;
    EXPECT_EQ(p.Commands("2a "), 0u) << "nothing written";
    EXPECT_EQ(p.ZipsInTemp().size(), 1u) << "the volume stays in the temporary folder";
    for (const auto& [path, bits] : attributes.files.files)
        EXPECT_TRUE(bits & (gui::AttributeArchive | gui::AttributeDirectory)) << path;
}

// A disc without room for the next volume is swapped for the next disc the drive is given, whose
// sessions the new one continues (the peers read both discs: JobDiscPeers); with none, or with an
// empty tray after the swap, a hidden job without a mail recipient is cancelled.
TEST(JobDiscStep, AFullDiscIsSwappedOrTheHiddenJobIsCancelled) {
    // Room for the first session only: a CD's second session starts 11,400 blocks further on.
    const std::string small = "Blocks=12000\n";
    {
        std::filesystem::remove_all(PeerImages() / "jobswap.src");
        for (const char* image : {"jobswap-d0.img", "jobswap-d1.img"})
            std::filesystem::remove(PeerImages() / (std::string(image) + ".start"));
        // The tray opened after the first write gives the same disc back; the swap for room
        // gives the next one.
        DiscJob p("CD-R", small + "[Disc:d1]\nMedia=CD-R\nImage=d1.img\n", 0, "NextDiscs=d0,d1\n");
        // Two volumes of data and the folder infos' volume.
        p.Sources("a", 2, 3'000'000, 8);
        p.Run();
        const std::string log = p.ProgramLog();
        const size_t volumes = Count(log, "File created: ");
        EXPECT_EQ(volumes, 3u) << log;
        EXPECT_EQ(Count(log, " burned to disc - Avg."), volumes) << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
        EXPECT_TRUE(testsupport::FileExists(p.folder / "d1.img"))
            << "the later volumes went to the next disc";
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        EXPECT_TRUE(p.ZipsInTemp().empty());
        PublishSources(p, "jobswap");
        Publish(p, "jobswap-d0.img", "d0.img");
        Publish(p, "jobswap-d1.img", "d1.img");
    }
    {
        // The tray gives the same disc back after the first write and at the swap for room: the
        // notice (its mail fails, nothing listens on the port) asks for another disc, which the
        // reader of the mail puts in.
        std::filesystem::remove_all(PeerImages() / "jobnotice.src");
        for (const char* image : {"jobnotice-d0.img", "jobnotice-d1.img"})
            std::filesystem::remove(PeerImages() / (std::string(image) + ".start"));
        DiscJob p("CD-R", small + "[Disc:d1]\nMedia=CD-R\nImage=d1.img\n", 0, "NextDiscs=d0,d0,d1\n");
        core::EMailSettings mail;
        mail.to = "ops@example.com";
        mail.smtpServer = "127.0.0.1";
        mail.smtpPort = "9";
        core::WriteEMail(p.Form().ProgramIni(), mail);
        p.Sources("a", 2, 3'000'000, 8);
        ui::TMF& form = p.Form();
        bool swapped = false;
        const auto tick = form.OnBurnStatusTick;
        form.OnBurnStatusTick = [&] {
            tick();
            if (swapped || Count(p.ProgramLog(), "The CD/DVD do not have enough free space for:") == 0)
                return;
            const HMODULE drive = LoadLibraryA((p.folder / "WNASPI32.DLL").c_str());
            ASSERT_TRUE(drive);
            const auto control = reinterpret_cast<int(__cdecl*)(const char*)>(
                reinterpret_cast<void*>(GetProcAddress(drive, "SimDriveControl")));
            swapped = control && control("insert d1") == 1;
            FreeLibrary(drive);
        };
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_TRUE(swapped) << log;
        const size_t volumes = Count(log, "File created: ");
        EXPECT_EQ(volumes, 3u) << log;
        EXPECT_EQ(Count(log, "The CD/DVD do not have enough free space for:"), 1u) << "one notice: " << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
        EXPECT_TRUE(p.ZipsInTemp().empty());
        PublishSources(p, "jobnotice");
        Publish(p, "jobnotice-d0.img", "d0.img");
        Publish(p, "jobnotice-d1.img", "d1.img");
    }
    {
        DiscJob p("CD-R", small);
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 2, 2'500'000, 8);
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << log;
        EXPECT_EQ(Count(log, ". File not burned to CD/DVD, skipped by user"), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_FALSE(p.Form().Session.Running());
    }
    {
        // The swap leaves the tray empty: nobody would answer the drive that is not ready.
        DiscJob p("CD-R", small + "[Disc:dn]\nMedia=none\nImage=dn.img\n", 0, "NextDiscs=d0,dn\n");
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 2, 3'000'000, 8);
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << log;
        EXPECT_EQ(Count(log, "The CD writer is not ready. Try to solve the problem"), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
        EXPECT_FALSE(p.Form().Session.Running());
        EXPECT_FALSE(p.ZipsInTemp().empty()) << "what was not written stays";
    }
}

// A full disc in a hidden job with a recipient nobody reads (nothing listens on the mail's port),
// its window down for the job: no box and the window stays down; one notice, a new look every two
// minutes, and after [Settings] InfiniteWait minutes the job is cancelled, every archive bit set
// again and the volume not written left in the temporary folder.
TEST(JobDiscStep, AFullDiscNobodyAnswersEndsTheHiddenJobAfterTheWaitsBound) {
    constexpr int bound = 5;
    DiscJob p("CD-R", "Blocks=12000\n");
    p.job.Testarchiveafterbackup1 = false;
    p.Sources("a", 2, 3'000'000, 8);
    HookedAttributes attributes;
    ClearBitsIn(p, attributes);
    core::EMailSettings mail;
    mail.to = "ops@example.com";
    mail.smtpServer = "127.0.0.1";
    mail.smtpPort = "9";
    core::WriteEMail(p.Form().ProgramIni(), mail);
    p.Form().Creation().infiniteWait = bound;
    // A scheduled run's /H: the window goes down for the job.
    p.program->Flags().HideWindow = true;
    // Without a bound the job would wait for ever: three bounds end the test.
    ui::TMF& form = p.Form();
    const int64_t start = gui::CurrentClock().MonotonicMs();
    bool stoppedByTest = false;
    const auto tick = form.OnBurnStatusTick;
    form.OnBurnStatusTick = [&] {
        tick();
        if (stoppedByTest || gui::CurrentClock().MonotonicMs() - start <= 3 * bound * 60'000) return;
        stoppedByTest = true;
        form.Session.Cancelled = true;
    };
    p.Run();
    const std::string log = p.ProgramLog();
    EXPECT_FALSE(stoppedByTest) << "still waiting after three bounds: " << log;
    EXPECT_FALSE(form.Session.Running());
    EXPECT_GE(gui::CurrentClock().MonotonicMs() - start, bound * 60'000);
    EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << log;
    EXPECT_EQ(Count(log, "The CD/DVD do not have enough free space for:"), 1u) << "one notice: " << log;
    EXPECT_EQ(Count(log, "Mail not sent: "), 2u) << "the notice's and the report's: " << log;
    EXPECT_EQ(Count(log, "Job cancelled, no answer after " + std::to_string(bound) + " minutes\r\n"), 1u)
        << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
    EXPECT_TRUE(p.prompter.Requests().empty());
    EXPECT_TRUE(p.program->Flags().Hidden);
    EXPECT_FALSE(p.ZipsInTemp().empty()) << "what was not written stays";
    for (const auto& [path, bits] : attributes.files.files)
        EXPECT_TRUE(bits & (gui::AttributeArchive | gui::AttributeDirectory)) << path;
}

// The second volume does not fit the disc beside the first and waits for the end phase; there
// it is gone from the temporary folder. Or it is gone before its own disc step. Either way the
// log says so, its file gets its archive bit back, the first volume's file keeps its bit
// cleared, and the job ends with a problem.
TEST(JobDiscStep, AVolumeGoneBeforeItsDiscGivesItsFilesArchiveBitsBack) {
    for (const bool beforeItsStep : {false, true}) {
        SCOPED_TRACE(beforeItsStep ? "before its disc step" : "before the end phase");
        DiscJob p("CD-R", "Blocks=12000\n");
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 2, 3'500'000, 8);
        HookedAttributes attributes;
        ClearBitsIn(p, attributes);
        ui::TMF& form = p.Form();
        // The second volume's file goes before its disc step, or once the disc step has put it
        // on the burn-later list; so do the volumes after it.
        std::vector<std::string> gone;
        bool hooked = false;
        attributes.afterSet = [&] {
            if (hooked) return;
            hooked = true;
            form.OnDiscStep = [&, step = form.OnDiscStep, steps = 0](bool mustBurnNow) mutable {
                const std::string volume = form.Flags().TempPath + form.Session.Run.ZipFileName;
                if (++steps == 2 && beforeItsStep && DeleteFileA(volume.c_str())) gone.push_back(volume);
                step(mustBurnNow);
                for (const std::string& waiting : form.Session.Run.BflList)
                    if (DeleteFileA(waiting.c_str())) gone.push_back(waiting);
            };
        };
        p.Run();
        const std::string log = p.ProgramLog();
        ASSERT_FALSE(gone.empty()) << log;
        EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << log;
        for (const std::string& volume : gone)
            EXPECT_EQ(Count(log, "File not written to disc, it is no longer in the temporary folder: " +
                                     volume + "\r\n"),
                      1u)
                << log;
        EXPECT_EQ(Count(log, "Archivebits reset for the files of: "), 1u) << log;
        EXPECT_EQ(Count(log, "Archivebits reset for the files of: " + gone.front() + "\r\n"), 1u) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
        EXPECT_TRUE(form.Runner()->JobHadProblem);
        const auto [again, cleared] = attributes.ArchiveBits();
        EXPECT_EQ(again, 1) << "the file of the volume that is gone";
        EXPECT_EQ(cleared, 1) << "the file on the disc";
    }
}

// A run killed while a volume waits for the end phase leaves its resume state behind; the
// resumed run finds that volume gone, and its file gets its archive bit back all the same. The
// kill is played by putting back the program's files and the archive bits as they stood at the
// third file's bit, once the first run is over.
TEST(JobDiscStep, AVolumeWaitingForTheDiscWhenTheRunWasKilledGivesItsBitsBackInTheResumedRun) {
    DiscJob p("CD-R", "Blocks=12000\n");
    p.job.Testarchiveafterbackup1 = false;
    p.Sources("a", 3, 3'500'000, 8);
    HookedAttributes attributes;
    ClearBitsIn(p, attributes);
    ui::TMF& form = p.Form();
    const std::filesystem::path base = form.ResumeStatePath("");
    std::map<std::filesystem::path, std::string> files;
    gui::MemoryFileAttributes bits;
    std::vector<std::string> waiting;
    attributes.afterSet = [&] {
        if (attributes.sets != 3) return;
        waiting = form.Session.Run.BflList;
        bits = attributes.files;
        for (const auto& entry : std::filesystem::directory_iterator(base.parent_path()))
            if (entry.path().filename().string().starts_with(base.filename().string() + ".") ||
                entry.path().filename() == "Att.Lst")
                files[entry.path()] = ReadWholeFile(entry.path().string());
    };
    p.Run();
    ASSERT_EQ(waiting.size(), 1u) << p.ProgramLog();
    ASSERT_TRUE(files.contains(base.string() + ".run"));

    attributes.afterSet = nullptr;
    attributes.files = bits;
    for (const auto& [path, text] : files)
        WriteWholeFile(path.string(), text);
    DeleteFileA(waiting.front().c_str());
    const size_t logBefore = p.ProgramLog().size();
    p.program->Flags().Hidden = false;
    form.KeepResumeState = true;
    // Yes to the resume; the rebuilt last volume asks for a disc with room, and is skipped.
    p.prompter.AnswerMessage(gui::mrYes).AnswerMessage(gui::mrCancel).AnswerMessage(gui::mrCancel);
    p.Run();
    const std::string log = p.ProgramLog().substr(logBefore);
    EXPECT_EQ(
        Count(log, "File not written to disc, it is no longer in the temporary folder: " + waiting.front()),
        1u)
        << log;
    EXPECT_EQ(Count(log, "Archivebits reset for the files of: " + waiting.front() + "\r\n"), 1u) << log;
    EXPECT_EQ(attributes.files.Get(p.source / "a1.bin") & gui::AttributeArchive, gui::AttributeArchive)
        << log;
    EXPECT_EQ(attributes.files.Get(p.source / "a0.bin") & gui::AttributeArchive, 0u)
        << "the file on the disc";
}

// Shown, the same job asks for a disc with room at the end phase; the user's Cancel skips the
// volume: its file gets its archive bit back and the job goes on to its end with a problem.
TEST(JobDiscStep, AVolumeTheUserSkipsForWantOfRoomGivesItsFilesArchiveBitsBack) {
    DiscJob p("CD-R", "Blocks=12000\n");
    p.program->Flags().Hidden = false;
    p.job.Testarchiveafterbackup1 = false;
    p.Sources("a", 2, 3'500'000, 8);
    HookedAttributes attributes;
    ClearBitsIn(p, attributes);
    ui::TMF& form = p.Form();
    p.prompter.AnswerMessage(gui::mrCancel).AnswerMessage(gui::mrCancel);
    p.Run();
    const std::string log = p.ProgramLog();
    const std::vector<std::string> boxes = p.prompter.MessageTexts();
    ASSERT_FALSE(boxes.empty()) << log;
    EXPECT_EQ(p.prompter.Pending(), 0u) << log;
    for (const std::string& box : boxes)
        EXPECT_TRUE(box.starts_with("The CD/DVD do not have enough free space for: ")) << box;
    EXPECT_EQ(Count(log, " burned to disc - Avg."), 1u) << log;
    EXPECT_EQ(Count(log, ". File not burned to CD/DVD, skipped by user"), boxes.size()) << log;
    EXPECT_EQ(Count(log, "Archivebits reset for the files of: "), 1u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    EXPECT_TRUE(form.Runner()->JobHadProblem);
    const auto [again, cleared] = attributes.ArchiveBits();
    EXPECT_EQ(again, 1) << "the file of the volume skipped";
    EXPECT_EQ(cleared, 1) << "the file on the disc";
}

// The destination is the writer, then a folder. The disc leaves the writer while the first
// volume is made for it in the temporary folder: the walk after the volume takes the folder,
// and the volume, made for the disc, is neither burned nor copied. The log says so, its file
// gets its archive bit back, and the next volume goes to the folder.
TEST(JobDiscStep, AVolumeMadeForTheDiscWhenTheWalkTakesAFolderGivesItsFilesArchiveBitsBack) {
    DiscJob p("CD-R");
    TempFolder folder;
    const std::string alternative = folder.Path().substr(0, folder.Path().size() - 1);
    p.job.Destination = "F:\\Backup|" + alternative;
    p.job.Testarchiveafterbackup1 = false;
    p.Sources("a", 2, 3'500'000, 8);
    HookedAttributes attributes;
    ClearBitsIn(p, attributes);
    ui::TMF& form = p.Form();
    bool hooked = false;
    attributes.afterSet = [&] {
        if (hooked) return;
        hooked = true;
        job::JobRunner& runner = *form.Runner();
        runner.AddZipToCatalog = [&, original = runner.AddZipToCatalog,
                                  volumes = 0](const std::string& zipName) mutable {
            if (original) original(zipName);
            if (++volumes == 1) {
                EXPECT_EQ(disctest::FixtureControl("remove"), 1);
            }
        };
    };
    p.Run();
    const std::string log = p.ProgramLog();
    EXPECT_EQ(Count(log, " burned to disc - Avg."), 0u) << log;
    const std::string left = "The volume was made for another kind of destination than " + alternative +
                             ", it is left in the temporary folder: ";
    ASSERT_EQ(Count(log, left), 1u) << log;
    const size_t at = log.find(left) + left.size();
    const std::string volume = log.substr(at, log.find("\r\n", at) - at);
    EXPECT_TRUE(testsupport::FileExists(volume)) << volume;
    EXPECT_EQ(Count(log, "Archivebits reset for the files of: " + volume + "\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
    std::vector<std::string> inFolder;
    for (const auto& entry : std::filesystem::directory_iterator(alternative))
        inFolder.push_back(entry.path().string());
    EXPECT_FALSE(inFolder.empty()) << "the next volumes went to the folder";
    const auto [again, cleared] = attributes.ArchiveBits();
    EXPECT_EQ(again, 1) << "the file of the volume left behind";
    EXPECT_EQ(cleared, 1) << "the file in the folder";
}

// DVD-R and DVD+RW take a session per volume as CDs do; with "do not open" the tray stays
// closed through the whole job.
TEST(JobDiscStep, DvdsTakeASessionPerVolumeAndATrayLeftClosedIsNeverOpened) {
    for (const char* media : {"DVD-R", "DVD+RW"}) {
        SCOPED_TRACE(media);
        const bool closed = std::string(media) == "DVD-R";
        DiscJob p(media);
        p.Tab().cbDoNotOpenCD->SetChecked(closed);
        p.Sources("a", 2, 2'500'000, 9);
        p.Run();
        const std::string log = p.ProgramLog();
        const size_t volumes = Count(log, "File created: ");
        EXPECT_GE(volumes, 2u) << log;
        EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
        if (closed) {
            EXPECT_EQ(p.Commands("1b 00 00 00 02"), 0u) << "no eject";
        }
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    }
}

// "Split large files": each finished part goes to the disc as the zip run asks for the next
// one, the last with its volume; every part is compared and leaves the temporary folder.
TEST(JobDiscStep, EveryPartOfASplitFileGoesToTheDisc) {
    DiscJob p("CD-R");
    p.job.Splitlargefiles = true;
    p.Sources("a", 1, 9'000'000, 10);
    p.Run();
    const std::string log = p.ProgramLog();
    const size_t burned = Count(log, " burned to disc - Avg.");
    EXPECT_GE(burned, 3u) << "two parts and the last: " << log;
    EXPECT_EQ(Count(log, "Burned and compared with source, OK"), burned) << log;
    EXPECT_EQ(Count(log, ".z01 burned to disc"), 1u) << log;
    EXPECT_EQ(Count(log, ".z02 burned to disc"), 1u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    size_t left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(p.Form().Flags().TempPath))
        left += entry.path().extension().string().rfind(".z", 0) == 0;
    EXPECT_EQ(left, 0u) << "no part or volume stays behind";
}
