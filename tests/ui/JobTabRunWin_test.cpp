// The Backup tab against what really runs: a job started on the hosted program, during which
// nothing of the tab reaches the job (the destination field, its button and double click, the
// lists, the catalogue fields, the programs before and after, the tab shown again, "Run as
// service"), and a read-only job whose destination stays closed after it; the destination
// field left on a simulated disc writer, which is asked but never has its tray loaded, with
// the disc's own room shown.
#include "DiscJobSupport.h"
#include "SimDriveWinSupport.h"
#include "gui/Action.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "mainform/HostedJob.h"
#include "ui/CatalogTab.h"
#include "ui/JobTab.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

TEST(JobTabDuringAJob, NothingOfTheTabReachesTheRunningJobAndAReadOnlyJobKeepsItsDestinationClosed) {
    hostedjob::HostedProgram site(false);
    ui::TMF& form = *site.form;
    ui::TJobTab& tab = *form.JobTab;
    TempFolder source;
    WriteWholeFile(source / "a.txt", "some bytes");
    const std::string before = "C:\\Tools\\before.exe";
    job::JobDefinition job;
    job.Destination = site.programFolder / "dest";
    job.ZipSizeText = "5000";
    job.PreRunFile = before;
    job.PreWait = 2;
    job.IncludeList = {source.Path()};
    site.WriteJob(job);
    form.Find<gui::TMenuItem>("Backup1").Click();
    tab.ListBox1->SetSelected(0, true);

    bool probed = false;
    site.onTick = [&] {
        // Inside the wait after the program before the job: the start has saved the job.
        if (probed || !site.shell.Started(before)) return;
        probed = true;
        const size_t asked = site.prompter.Requests().size();
        const std::vector<std::string> destinations = tab.DestList;
        EXPECT_FALSE(tab.Edit7->Enabled()) << "the start's save showed the job again";
        SendMessageA(tab.SpeedButton1->Handle(), BM_CLICK, 0, 0);
        SendMessageA(tab.Edit7->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
        SendMessageA(tab.Edit7->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("G:\\"));
        SendMessageA(tab.Edit7->Handle(), WM_KILLFOCUS, 0, 0);
        EXPECT_EQ(tab.DestList, destinations);
        EXPECT_EQ(form.Session.Job.Destination, job.Destination);
        SendMessageA(tab.ListBox1->Handle(), WM_KEYDOWN, VK_DELETE, 0);
        EXPECT_EQ(form.Session.Job.IncludeList, job.IncludeList);
        // The catalogue fields and the programs around the job are the job's as well.
        ui::TCatalogTab& catalog = *form.CatalogTab;
        const std::string catalogNames = form.Session.Job.CatalogNames;
        EXPECT_FALSE(catalog.CBCatalog->Enabled());
        EXPECT_FALSE(catalog.EditCatName->Enabled());
        SendMessageA(catalog.CBCatalog->Handle(), BM_CLICK, 0, 0);
        SendMessageA(catalog.SpButCat->Handle(), BM_CLICK, 0, 0);
        SendMessageA(catalog.EditCatName->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("other"));
        EXPECT_FALSE(form.Session.Job.CBCatalog);
        EXPECT_EQ(form.Session.Job.CatalogNames, catalogNames);
        EXPECT_FALSE(form.PrePostRun->Enabled());
        SendMessageA(form.Handle(), WM_COMMAND, form.Find<gui::TMenuItem>("PrePostRun1").Command(), 0);
        form.PrePostRunExecute();
        EXPECT_EQ(form.Session.Job.PreRunFile, before);
        form.Find<gui::TMenuItem>("Backup1").Click();
        EXPECT_FALSE(tab.Edit7->Enabled());
        // Installing would end the program under the job, stopping would close it.
        const bool service = form.RunAsService1->Checked();
        site.prompter.AnswerMessage(gui::mrOk);
        form.RunAsService1->Click();
        EXPECT_EQ(form.RunAsService1->Checked(), service);
        ASSERT_EQ(site.prompter.Requests().size(), asked + 1) << "no dialog, only the refusal";
        EXPECT_EQ(site.prompter.MessageTexts().back(),
                  "A backup job is running, run as service can be changed when it has ended");
        EXPECT_EQ(site.shell.Calls().size(), 1u) << "nothing started for the service";
    };
    site.RunJob();
    EXPECT_TRUE(probed);
    EXPECT_EQ(hostedjob::ZipsIn(job.Destination).size(), 1u);
    EXPECT_TRUE(tab.Edit7->Enabled());
    EXPECT_TRUE(tab.SpeedButton1->Enabled());
    EXPECT_TRUE(form.CatalogTab->EditCatName->Enabled());
    EXPECT_TRUE(form.PrePostRun->Enabled());

    // A read-only job file: its destination cannot be edited after its job nor on its tab.
    site.onTick = nullptr;
    ASSERT_TRUE(SetFileAttributesA((site.programFolder / "Daily.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    form.LoadJob("Daily.dat");
    site.RunJob();
    form.Find<gui::TMenuItem>("Backup1").Click();
    EXPECT_FALSE(tab.Edit7->Enabled());
    EXPECT_FALSE(tab.SpeedButton1->Enabled());
    const size_t asked = site.prompter.Requests().size();
    tab.SelectDest->Execute();
    EXPECT_EQ(site.prompter.Requests().size(), asked);
    SetFileAttributesA((site.programFolder / "Daily.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

namespace {

// The program beside the simulated drive library, drive F a writer with the disc given.
struct WriterSite : discjob::DriveSite<hostedjob::HookedShell> {
    explicit WriterSite(const std::string& disc)
        : DriveSite(
              "[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=F\n"
              "Writes=CD-R,CD-RW\n" +
              (disc.empty() ? std::string() : "Disc=d0\n[Disc:d0]\nMedia=" + disc + "\nImage=d0.img\n")) {
        Form().StartUpDone = true;
        program->Flags().Hidden = false;
    }
    size_t TrayCommands() { return Commands("1b"); }
};

} // namespace

TEST(JobTabWriter, LeavingTheDestinationAsksTheWriterWithoutLoadingItsTrayAndShowsTheDiscsRoom) {
    struct Case {
        const char* disc;
        const char* shown;
        bool eraseFirst;
    } const cases[] = {
        {"CD-R", "703 MB free", false},
        {"CD-RW", "703 MB free", true},
        {"", "0 MB free", false}, // no disc: not ready, nothing to erase
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("disc ") + c.disc);
        WriterSite site(c.disc);
        ui::TJobTab& tab = *site.Form().JobTab;
        ASSERT_TRUE(site.Form().AspiLoaded);
        tab.EraseCD->SetChecked(true);
        tab.EraseCD->OnClick();
        const size_t trayBefore = site.TrayCommands();
        tab.Edit7->SetText("F:\\Backup");
        tab.Edit7->OnExit();
        EXPECT_TRUE(tab.Destination.DiscWriterMode);
        EXPECT_EQ(tab.Destination.EraseFirst, c.eraseFirst);
        EXPECT_EQ(tab.Label3->Caption(), c.shown);
        EXPECT_EQ(site.TrayCommands(), trayBefore) << "the tray is never loaded for a field";
    }
}

// The job's start on the writer shows the room it found on the disc.
TEST(JobTabWriter, TheStartOfAJobToTheWriterShowsTheDiscsRoom) {
    WriterSite site("CD-R");
    ui::TMF& form = site.Form();
    TempFolder source;
    WriteWholeFile(source / "a.txt", "some bytes");
    job::JobDefinition job;
    job.Destination = "F:\\Backup";
    job.PreRunFile = "C:\\Tools\\before.exe";
    job.IncludeList = {source.Path()};
    WriteWholeFile(site.folder / "Daily.dat", job::WriteJobText(job, {}));
    form.LoadJob("Daily.dat");
    form.JobTab->Label3->SetCaption("");
    std::string shown;
    // The program before the job comes after the start has measured the disc: the job goes no further.
    site.shell.onStart = [&](const std::string&) {
        shown = form.JobTab->Label3->Caption();
        form.Session.Cancelled = true;
    };
    form.StartBackupJob();
    for (int round = 0; round < 1000 && form.Session.Running(); ++round)
        testsupport::DrainQueue();
    EXPECT_EQ(shown, "703 MB free");
    EXPECT_FALSE(form.Session.Running());
}
