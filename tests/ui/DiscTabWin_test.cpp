// The disc side of the window, with the whole program hosted in-process on the manual clock,
// a scripted prompter, and the simulated drive library beside the program file: burning one
// file (compared, appended, retried at another speed, given up), the frame replaced after a
// write only once no call into it is left on the stack, and the drives tab's probing, erases
// and eject as the drive's command log shows them.
#include "DiscJobSupport.h"
#include "FakeRegistry.h"
#include "SimDriveWinSupport.h"
#include "WinTestSupport.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/Canvas.h"
#include "gui/CheckBox.h"
#include "gui/ComboBox.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/IniFile.h"
#include "gui/Label.h"
#include "gui/Memo.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/Wait.h"
#include "ui/JobTab.h"
#include "ui/MFoDiscs.h"
#include "ui/Program.h"
#include "zip/Crc32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

void Put16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// A zip of stored entries, enough for unzip -t on the far side.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string zip, central;
    for (const auto& [name, data] : entries) {
        const uint32_t crc = zip::Crc32Of(data.data(), data.size());
        const uint32_t offset = static_cast<uint32_t>(zip.size());
        auto common = [&](std::string& out) {
            Put16(out, 10);
            Put16(out, 0);
            Put16(out, 0);
            Put16(out, 0);
            Put16(out, 0x21);
            Put32(out, crc);
            Put32(out, static_cast<uint32_t>(data.size()));
            Put32(out, static_cast<uint32_t>(data.size()));
            Put16(out, static_cast<uint32_t>(name.size()));
            Put16(out, 0);
        };
        Put32(zip, 0x04034b50);
        common(zip);
        zip += name + data;
        Put32(central, 0x02014b50);
        Put16(central, 20);
        common(central);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += name;
    }
    const uint32_t start = static_cast<uint32_t>(zip.size());
    zip += central;
    Put32(zip, 0x06054b50);
    Put32(zip, 0);
    Put16(zip, static_cast<uint32_t>(entries.size()));
    Put16(zip, static_cast<uint32_t>(entries.size()));
    Put32(zip, static_cast<uint32_t>(central.size()));
    Put32(zip, start);
    Put16(zip, 0);
    return zip;
}

// Scripted answers, with a look at the window while a box is up.
class TWatchingPrompter : public gui::TScriptedPrompter {
  public:
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        if (OnMessage) OnMessage(request);
        return TScriptedPrompter::ShowMessageBox(request);
    }
    std::function<void(const gui::TMessageBoxRequest&)> OnMessage;
};

// A manual clock that decides which comes first, the end of an erase or the return of the
// click that started it: it holds the erase's worker in its pauses, or lets the window's wait
// look at the erase first; or it lets the workers' pauses take real time while the window's
// waits, timers and all, run on.
class EraseOrderClock : public discjob::StandInClock {
  public:
    explicit EraseOrderClock(gui::ManualClock& replaced) : StandInClock(replaced) {}
    bool Sleep(int milliseconds, bool alertable) override {
        if (gui::Application().OnGuiThread()) {
            if (OnGuiSleep) OnGuiSleep();
        } else {
            for (int spin = 0; spin < 30000 && HoldWorker.load(); ++spin)
                ::Sleep(1);
            if (WorkerTimeStands) return false;
            if (RealWorkerTime) {
                ::Sleep(static_cast<DWORD>(milliseconds));
                return false;
            }
        }
        return ManualClock::Sleep(milliseconds, alertable);
    }
    std::atomic<bool> HoldWorker{false};
    // The worker's pauses take no time, so the window's wait is still on when it ends.
    std::atomic<bool> WorkerTimeStands{false};
    // The workers sleep for real and leave the clock alone.
    std::atomic<bool> RealWorkerTime{false};
    std::function<void()> OnGuiSleep;
};

// The program in a folder of its own with the drive library and its simdrive.ini beside it.
struct DiscProgram : discjob::DriveSite<gui::TRecordingShell, TWatchingPrompter> {
    // extra: more of the ini after the disc's section; driveExtra: more keys of the drive.
    explicit DiscProgram(const std::string& media, const std::string& extra = "",
                         const std::string& driveExtra = "")
        : DriveSite("[Bus]\nCompletion=sync\nLog=sim.log\nNotifyMediaChange=1\n[Drive0]\nAddress=0:0:0\n"
                    "Letter=F\nDisc=d0\nBusyPolls=0\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\n" +
                    driveExtra + "[Disc:d0]\nMedia=" + media + "\nImage=d0.img\n" + extra) {
        Form().Session.Job.Destination = "F:\\Backup";
    }
    std::string Zip(const std::string& name, const std::string& content) {
        WriteWholeFile(folder / name, StoredZip({{"data/" + name + ".txt", content}}));
        return folder / name;
    }
    void BurnFile(const std::string& path) {
        prompter.AnswerFile({path});
        Tab().btBurnFileToCD->Click();
    }
    // The start block of the disc's last session, from the drive's state file.
    uint32_t LastSessionStart() {
        gui::TIniFile state(folder / "d0.img.state");
        const std::string sessions = state.ReadString("Disc", "Sessions", "");
        const size_t last = sessions.find_last_of('|');
        return static_cast<uint32_t>(std::stoul(sessions.substr(last == std::string::npos ? 0 : last + 1)));
    }
};

void Publish(DiscProgram& p, const std::string& name, uint32_t start) {
    const std::filesystem::path dir =
        std::filesystem::path(disctest::WindowsPath(TW_BINARY_DIR)) / "peer-images";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(p.folder / "d0.img", dir / name,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(dir / (name + ".start")) << start;
}

// The import of the disc's last session finds both zips in \\Backup.
void ExpectBothInTheLastSession(DiscProgram& p) {
    ui::TDiscTab& tab = p.Tab();
    ASSERT_TRUE(tab.Burner1()->InitASPI(false, p.folder / "WNASPI32.DLL"));
    tab.Burner1()->SetDeviceID(tab.Burner1()->DeviceList.at(0));
    tab.Burner1()->Image.ClearAll(65535, 8191);
    EXPECT_TRUE(tab.ImportSessionX());
    disc::TDEntry* folder = tab.Burner1()->Image.FindDir("\\Backup");
    ASSERT_NE(folder, nullptr);
    EXPECT_NE(tab.Burner1()->Image.FindFile(folder, "one.zip"), nullptr);
    EXPECT_NE(tab.Burner1()->Image.FindFile(folder, "two.zip"), nullptr);
    tab.Burner1()->DoneASPI();
}

} // namespace

TEST(DiscTab, BurnOneFileAppendsComparedSessionsIntoTheDestinationFolder) {
    DiscProgram p("CD-R");
    // The log of a job that ran before.
    p.Form().Session.JobLogName = p.folder / "Earlier_100.txt";
    const std::string one = p.Zip("one.zip", std::string(50000, 'x')), two = p.Zip("two.zip", "second");
    p.BurnFile(one);
    EXPECT_EQ(p.Form().Label1->Caption(), "Disc with one.zip created");
    p.BurnFile(two);
    EXPECT_EQ(p.Form().Label1->Caption(), "Disc with two.zip created");
    const std::string log = p.ProgramLog();
    EXPECT_NE(log.find("F:\\Backup\\one.zip burned to disc - Avg."), std::string::npos) << log;
    EXPECT_NE(log.find("two.zip - Burned and compared with source, OK"), std::string::npos) << log;
    EXPECT_FALSE(p.Form().Session.Running());
    EXPECT_FALSE(p.Tab().Busy());
    EXPECT_TRUE(p.Form().Startbackup->Enabled());
    EXPECT_EQ(p.Commands("1b 00 00 00 02"), 2u) << "one eject after each write";
    p.Form().SaveSettings();
    EXPECT_EQ(p.Form().ProgramIni().ReadInteger("Settings", "LastGoodSpeed", 0), p.Tab().CurWriteSpeed);
    EXPECT_GT(p.Tab().CurWriteSpeed, 0);
    EXPECT_EQ(p.prompter.Pending(), 0u);
    const uint32_t start = p.LastSessionStart();
    EXPECT_GT(start, 11400u) << "the second file went into a second session";
    Publish(p, "burnfile-cdr.img", start);
    EXPECT_TRUE(testsupport::FileExists(one)) << "the source stays where it is";
    EXPECT_FALSE(testsupport::FileExists(p.folder / "Earlier_100.txt"))
        << "no lines for an earlier job's log";
}

// A failed write is tried again at the next speed the drive takes; with none left, or after a
// cancel, the burn gives up without a word of success.
TEST(DiscTab, BurnOneFileTriesAnotherSpeedAndGivesUpWhenNoneIsLeftOrOnCancel) {
    {
        DiscProgram p("CD-R", "[Faults]\n1=WRITE10 from=1 sense=3/0C/00\n");
        p.Tab().cbDoNotOpenCD->SetChecked(true);
        p.BurnFile(p.Zip("one.zip", "data"));
        EXPECT_EQ(p.Form().Label1->Caption(), "Disc with one.zip created");
        const std::string log = p.ProgramLog();
        EXPECT_NE(log.find("F:\\Backup\\one.zip Error burning to disc - "), std::string::npos) << log;
        EXPECT_NE(log.find("Error burning to disc, now trying with: 706 KB/s"), std::string::npos) << log;
        EXPECT_NE(log.find("one.zip - Burned and compared with source, OK"), std::string::npos) << log;
        EXPECT_EQ(p.Commands("1b 00 00 00 02"), 0u) << "the drive stays closed when told so";
    }
    {
        DiscProgram p("CD-R", "[Faults]\n1=WRITE10 count=* sense=3/0C/00\n");
        p.BurnFile(p.Zip("one.zip", "data"));
        const std::string log = p.ProgramLog();
        EXPECT_NE(log.find("F:\\Backup\\one.zip Error burning to disc, given up"), std::string::npos) << log;
        EXPECT_EQ(log.find("burned to disc"), std::string::npos) << log;
        EXPECT_EQ(log.find("created"), std::string::npos) << log;
        EXPECT_NE(p.Form().Label1->Caption().find("Error burning to disc"), std::string::npos);
        EXPECT_FALSE(p.Form().Session.Running());
        // The writer thread's start lines reach the detail log: one per attempt, speeds rising.
        int starts = 0;
        for (int i = 0; i < p.Form().Memo1->LineCount(); ++i)
            starts += p.Form().Memo1->Line(i).rfind(">>> STARTING WRITE PROCESS", 0) == 0;
        EXPECT_GE(starts, 3);
        EXPECT_NE(log.find("WRITER ERROR"), std::string::npos) << "the drive's error lines reach the log too";
        size_t retries = 0;
        for (size_t at = log.find("now trying with"); at != std::string::npos;
             at = log.find("now trying with", at + 1))
            ++retries;
        EXPECT_EQ(retries + 1, static_cast<size_t>(starts)) << "each new speed tried once";
        EXPECT_FALSE(p.Tab().Busy());
    }
    {
        // A cancel before the write starts none: nothing to abort, no track begun.
        DiscProgram p("CD-R");
        p.Form().Session.Cancelled = true;
        p.BurnFile(p.Zip("one.zip", "data"));
        const std::string log = p.ProgramLog();
        EXPECT_EQ(p.Commands("2a "), 0u) << "no write";
        EXPECT_EQ(log.find("OPERATION ABORTED BY USER"), std::string::npos) << log;
        EXPECT_EQ(log.find("now trying with"), std::string::npos) << "a cancel tries no other speed";
        EXPECT_NE(log.find("F:\\Backup\\one.zip not burned, cancelled by user"), std::string::npos) << log;
        EXPECT_FALSE(p.Tab().Busy());
        p.Form().Session.Cancelled = false;

        p.prompter.CancelFile();
        p.Tab().btBurnFileToCD->Click();
        EXPECT_FALSE(p.Form().Session.Running()) << "a cancelled file choice cleans up too";
        EXPECT_TRUE(p.Tab().btBurnFileToCD->Enabled());
    }
}

// A file the disc image does not take stops the burn before anything is written: a name too
// long, a file of 4 GiB, a source gone while the user saw to the drive.
TEST(DiscTab, BurnOneFileThatTheImageRefusesWritesNothing) {
    const auto expectRefused = [](DiscProgram& p, const std::string& name, const std::string& reason) {
        const std::string log = p.ProgramLog();
        EXPECT_NE(log.find("F:\\Backup\\" + name + " Error burning to disc - " + reason), std::string::npos)
            << log;
        EXPECT_EQ(log.find("burned to disc"), std::string::npos) << log;
        EXPECT_EQ(log.find("created"), std::string::npos) << log;
        EXPECT_EQ(p.Commands("2a "), 0u) << "nothing written";
        EXPECT_FALSE(p.Tab().Busy());
        EXPECT_FALSE(p.Form().Session.Running());
    };
    {
        DiscProgram p("CD-R");
        const std::string name = std::string(106, 'n') + ".zip";
        p.BurnFile(p.Zip(name, "data"));
        expectRefused(p, name, "FILE NAME TOO LONG");
    }
    {
        DiscProgram p("DVD+R");
        const std::string big = p.folder / "big.zip";
        WriteWholeFile(big, "PK");
        std::filesystem::resize_file(std::filesystem::path(big), uint64_t{1} << 32);
        p.BurnFile(big);
        expectRefused(p, "big.zip", "FILE TOO LARGE FOR THE DISC");
        DeleteFileA(big.c_str());
    }
    {
        // The tray is out; closed by the burn, the drive needs two polls to settle, and the
        // user deletes the file meanwhile.
        DiscProgram p("CD-R", "", "LoadPolls=2\n");
        const std::string gone = p.Zip("gone.zip", "data");
        p.Tab().Button10->Click();
        p.prompter.OnMessage = [&](const gui::TMessageBoxRequest& request) {
            if (request.Text.rfind("The CD writer is not ready", 0) == 0) DeleteFileA(gone.c_str());
        };
        p.prompter.AnswerFile({gone}).AnswerMessage(gui::mrOk);
        p.Tab().btBurnFileToCD->Click();
        EXPECT_EQ(p.prompter.MessageTexts().size(), 1u);
        expectRefused(p, "gone.zip", "CAN'T OPEN FILE");
    }
}

// A drive without a disc is asked about until the user cancels; meanwhile the window's
// actions are off, and on again afterwards.
TEST(DiscTab, BurnOneFileWithoutADiscAsksUntilCancelledWithTheActionsOff) {
    DiscProgram p("none");
    ui::TMF& form = p.Form();
    std::vector<bool> actionsOn;
    p.prompter.OnMessage = [&](const gui::TMessageBoxRequest&) {
        actionsOn.push_back(form.JobTab->OpenJob->Enabled() || p.Tab().cbDrives->Enabled() ||
                            p.Tab().btBurnFileToCD->Enabled() || form.Startbackup->Enabled());
    };
    p.prompter.AnswerFile({p.Zip("one.zip", "data")}).AnswerMessage(gui::mrOk).AnswerMessage(gui::mrCancel);
    p.Tab().btBurnFileToCD->Click();
    const std::string notReady =
        "The CD writer is not ready. Try to solve the problem and then press OK to retry";
    EXPECT_EQ(p.prompter.MessageTexts(), (std::vector<std::string>{notReady, notReady}));
    EXPECT_EQ(actionsOn, (std::vector<bool>{false, false}));
    EXPECT_TRUE(form.JobTab->OpenJob->Enabled());
    EXPECT_TRUE(p.Tab().cbDrives->Enabled());
    EXPECT_TRUE(p.Tab().btBurnFileToCD->Enabled());
    EXPECT_TRUE(form.Startbackup->Enabled());
    EXPECT_FALSE(form.Session.Running());
    EXPECT_FALSE(p.Tab().Busy());
    EXPECT_EQ(p.Commands("2a "), 0u) << "nothing written";
}

TEST(DiscTab, WriteDoneArrivingInsideACallIntoTheComponentWaitsForTheCallToReturn) {
    DiscProgram p("CD-R");
    ui::TDiscTab& tab = p.Tab();
    tab.WaitWriteDone = true;
    tab.FrameCDB().Burner1.Image.IdVolume = "OLD";
    {
        ui::BurnerUse call = tab.Burner1();
        SendMessageA(p.Form().Handle(), ui::WM_WRITE_DONE, 0, 0);
        EXPECT_TRUE(tab.WaitWriteDone) << "the component in use is not freed";
        EXPECT_EQ(tab.FrameCDB().CallsInProgress, 1);
    }
    for (int pass = 0; pass < 100 && tab.WaitWriteDone; ++pass)
        gui::ProcessMessages();
    EXPECT_FALSE(tab.WaitWriteDone) << "handled once the call returned";
    EXPECT_EQ(tab.FrameCDB().Burner1.Image.IdVolume, "") << "on a new frame";
}

// The writer settles for a second of real time after its report; the old frame's end waits for
// it, pumping, and the window's timer ticks all through that wait (here on a clock that runs
// as fast as the wait loops): every tick finds a frame to read.
TEST(DiscTab, TheStatusTickFindsAFrameWhileTheOldOneWaitsForItsWriter) {
    DiscProgram p("CD-R");
    EraseOrderClock clock(p.scope.clock);
    clock.RealWorkerTime = true;
    int withoutFrame = 0, whileReplaced = 0;
    const ui::TFrameCDB* first = p.Tab().CurrentFrame();
    // Cleared by the replacement once the old frame is gone.
    p.Tab().LastDeviceText = "before the write";
    const std::function<void()> tick = p.Form().OnBurnStatusTick;
    p.Form().OnBurnStatusTick = [&] {
        const ui::TFrameCDB* frame = p.Tab().CurrentFrame();
        if (!frame)
            ++withoutFrame;
        else if (frame != first && !p.Tab().LastDeviceText.empty())
            ++whileReplaced;
        if (frame) tick();
    };
    p.BurnFile(p.Zip("one.zip", "data"));
    EXPECT_EQ(p.Form().Label1->Caption(), "Disc with one.zip created");
    EXPECT_EQ(withoutFrame, 0);
    // How many ticks fit in that second depends on the machine's load; one is the case.
    EXPECT_GE(whileReplaced, 1) << "ticks came while the old frame ended";
    p.Form().OnBurnStatusTick = tick;
}

// A component still reporting after its frame is gone (a writer thread that would not end)
// reaches nothing of that frame; its error line still reaches the log, its progress lines go.
TEST(DiscTab, ALineRaisedAfterTheFrameIsGoneReachesTheLogOnly) {
    DiscProgram p("CD-R");
    const std::shared_ptr<ui::FrameReports> reports = p.Tab().Reports();
    std::unique_ptr<ui::TFrameCDB> frame = ui::TDiscTab::MakeFrame(reports);
    const disc::TOnDebugMsg raise = frame->Burner1.OnDebugMessage;
    frame.reset();
    const auto shown = reports->OnDebugLine;
    std::vector<std::string> lines;
    reports->OnDebugLine = [&](const std::string& line, bool toLog) {
        lines.push_back(line + (toLog ? " *" : ""));
    };
    raise(nullptr, ">>> WRITING", 1);
    raise(nullptr, "DISC WRITER THREAD DID NOT END: NO LONGER WAITING FOR IT", 4);
    testsupport::DrainQueue();
    reports->OnDebugLine = shown;
    EXPECT_EQ(lines, std::vector<std::string>{"DISC WRITER THREAD DID NOT END: NO LONGER WAITING FOR IT *"});
}

// Probing writes the capability cache and lists each speed once; both erases send BLANK and
// end in the erase-done handling; a disc that cannot be erased, like every other way out,
// leaves no job marked as running; eject opens the tray.
TEST(DiscTab, DrivesTabProbesErasesAndEjects) {
    {
        // Outside a job, before any drive change: the list is the shown drive's.
        DiscProgram fresh("CD-RW");
        fresh.Tab().cbSpeedDropDown();
        EXPECT_GT(fresh.Tab().cbSpeed->Items().Count(), 2);
    }
    DiscProgram p("CD-RW");
    ui::TMF& form = p.Form();
    ui::TDiscTab& tab = p.Tab();
    ASSERT_EQ(tab.cbDrives->Items().Count(), 1);
    form.ProgramIni().EraseSection("DeviceCap0");
    tab.cbDrives->SetItemIndex(0);
    tab.cbDrivesChange();
    EXPECT_TRUE(form.ProgramIni().ReadBool("DeviceCap0", "9", false)) << "writes CD-R";
    EXPECT_TRUE(form.ProgramIni().ReadBool("DeviceCap0", "10", false)) << "writes CD-RW";
    EXPECT_NE(form.CDDriveList.find('F'), std::string::npos);
    const int speeds = tab.cbSpeed->Items().Count();
    ASSERT_GT(speeds, 2);
    EXPECT_EQ(tab.cbSpeed->Items().Strings(0), "");
    for (int i = 1; i < speeds; ++i)
        for (int j = i + 1; j < speeds; ++j)
            EXPECT_NE(tab.cbSpeed->Items().Strings(i), tab.cbSpeed->Items().Strings(j));

    // The quick erase ends inside the click's own wait, the complete one after the click.
    EraseOrderClock clock(p.scope.clock);
    for (gui::TButton* button : {tab.Button6, tab.Button7}) {
        const bool endsInsideTheClick = button == tab.Button6;
        SCOPED_TRACE(endsInsideTheClick ? "inside" : "after");
        const size_t blanks = p.Commands("a1 ");
        p.prompter.AnswerMessage(gui::mrYes);
        bool awaitEnd = endsInsideTheClick, endedInside = false;
        clock.OnGuiSleep = [&] {
            if (!awaitEnd || !tab.FrameCDB().Burner1.Erasing) return;
            for (int spin = 0; spin < 30000 && tab.FrameCDB().Burner1.Erasing; ++spin)
                ::Sleep(1);
            awaitEnd = false;
            endedInside = true;
        };
        clock.HoldWorker = !endsInsideTheClick;
        clock.WorkerTimeStands = endsInsideTheClick;
        button->Click();
        EXPECT_EQ(endedInside, endsInsideTheClick);
        if (!endsInsideTheClick) {
            EXPECT_TRUE(tab.EjectAfterErase) << "still erasing";
            EXPECT_TRUE(tab.Busy());
            EXPECT_FALSE(form.Session.Running()) << "no job marked once the click returned";
            EXPECT_FALSE(tab.Button6->Enabled());
            EXPECT_FALSE(form.Startbackup->Enabled()) << "no job starts under the erase";
            // Hours of a complete erase are no job that hangs.
            for (int minute = 0; minute < 200; ++minute) {
                form.MinuteTicks = 59;
                form.Timer1Timer();
            }
            EXPECT_FALSE(form.Startbackup->Enabled()) << "not after three hours either";
            clock.HoldWorker = false;
        }
        for (int spin = 0; spin < 2000000 && tab.EjectAfterErase; ++spin)
            gui::Wait(10, false);
        EXPECT_FALSE(tab.EjectAfterErase);
        EXPECT_EQ(p.Commands("a1 "), blanks + 1);
        EXPECT_EQ(form.Label1->Caption(), "CD erase done");
        EXPECT_FALSE(form.Session.Running());
        for (gui::TButton* again : {tab.Button6, tab.Button7, tab.Button10, tab.btBurnFileToCD})
            EXPECT_TRUE(again->Enabled()) << again->Name();
        EXPECT_TRUE(form.Startbackup->Enabled());
        EXPECT_TRUE(form.JobTab->OpenJob->Enabled());
    }
    clock.OnGuiSleep = nullptr;
    clock.WorkerTimeStands = false;
    EXPECT_NE(p.ProgramLog().find("CD erase done - "), std::string::npos);

    p.prompter.AnswerMessage(gui::mrNo);
    tab.Button6->Click();
    EXPECT_FALSE(form.Session.Running()) << "an erase the user declined";
    const std::vector<std::string> asked = p.prompter.MessageTexts();
    EXPECT_EQ(asked.back().rfind("All Data on the media in ", 0), 0u) << asked.back();

    const size_t ejects = p.Commands("1b 00 00 00 02");
    tab.Button10->Click();
    EXPECT_EQ(p.Commands("1b 00 00 00 02"), ejects + 1);

    // Each capability cell shows the frame's tick when the drive has it, its cross when not.
    tab.CurDeviceCaps = 1u << 0 | 1u << 18; // reads CD-R, underrun protection
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 20);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    auto marks = [&](gui::TDrawGrid* grid, int col, int row) {
        const RECT cell{0, 0, 40, 20};
        {
            gui::TCanvas canvas(dc);
            if (grid == tab.DGDevprob)
                tab.DGDevprobDrawCell(canvas, col, row, cell);
            else
                tab.DGDevProbUWDrawCell(canvas, col, row, cell);
        }
        std::string seen;
        for (int x = 0; x < 40; ++x)
            for (int y = 0; y < 20; ++y) {
                const COLORREF c = GetPixel(dc, x, y);
                const char kind = GetGValue(c) > GetRValue(c) + 60   ? 'T'
                                  : GetRValue(c) > GetGValue(c) + 60 ? 'X'
                                                                     : 0;
                if (kind && seen.find(kind) == std::string::npos) seen += kind;
            }
        return seen;
    };
    EXPECT_EQ(marks(tab.DGDevprob, 1, 0), "T") << "reads CD-R";
    EXPECT_EQ(marks(tab.DGDevprob, 3, 0), "X") << "does not write CD-R";
    EXPECT_EQ(marks(tab.DGDevprob, 3, 2), "") << "no DVD-ROM writing to show";
    EXPECT_EQ(marks(tab.DGDevProbUW, 1, 0), "T") << "underrun protection";
    EXPECT_EQ(marks(tab.DGDevProbUW, 3, 0), "X") << "no test write";
    EXPECT_EQ(tab.DGDevProbUW->RowCount(), 8);
    EXPECT_EQ(marks(tab.DGDevProbUW, 1, 7), "") << "its other rows are empty";
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// A disc taken out leaves the destination on its drive without room; one put in has the room
// read again, once, when the drive has had its fifteen ticks to settle.
TEST(DiscTab, ADiscThatWentOrCameChangesTheDestinationsRoomOnce) {
    DiscProgram p("CD-R");
    ui::TMF& form = p.Form();
    ui::TDiscTab& tab = p.Tab();
    ASSERT_TRUE(form.AspiLoaded);
    int tick = 0;
    std::vector<int> refreshedAt;
    const std::function<void()> shown = form.OnShowFreeSpace;
    form.OnShowFreeSpace = [&] {
        refreshedAt.push_back(tick);
        if (shown) shown();
    };
    form.JobTab->Destination.DestFreeSpace = 123;
    tab.Button10->Click();
    gui::ProcessMessages();
    ASSERT_TRUE(form.Flags().DiscRemoved);
    for (tick = 0; tick < 60; ++tick)
        tab.UpdateBurnStatus();
    EXPECT_EQ(form.JobTab->Destination.DestFreeSpace, 0);
    EXPECT_TRUE(refreshedAt.empty());

    ASSERT_TRUE(tab.Burner1()->InitASPI(false, p.folder / "WNASPI32.DLL"));
    tab.Burner1()->SetDeviceID(tab.Burner1()->DeviceList.at(0));
    tab.Burner1()->LoadEject(false);
    EXPECT_TRUE(tab.ImportSessionX()) << "a blank disc needs no import";
    EXPECT_EQ(p.Commands("28 "), 0u) << "and reads nothing";
    tab.Burner1()->DoneASPI();
    gui::ProcessMessages();
    ASSERT_TRUE(form.Flags().DiscArrived);
    const size_t probes = p.Commands("00 00 00 00 00 00");
    for (tick = 0; tick < 60; ++tick)
        tab.UpdateBurnStatus();
    EXPECT_EQ(refreshedAt, std::vector<int>{15});
    EXPECT_EQ(p.Commands("00 00 00 00 00 00"), probes + 1) << "one readiness test, once settled";
}

// The temporary folder: a new one is made and stored, one that cannot be made keeps the one
// before, a drive root from the folder dialog is stored with one backslash.
TEST(DiscTab, TemporaryFolderIsMadeStoredOrKept) {
    DiscProgram p("CD-R");
    ui::TDiscTab& tab = p.Tab();
    const std::string made = p.folder / "new\\temp";
    tab.EditTempPath->SetText(made);
    tab.EditTempPathExit();
    EXPECT_EQ(p.Form().Flags().TempPath, made + "\\");
    EXPECT_TRUE(core::DirectoryExists(made));
    EXPECT_EQ(p.Form().UserIni().ReadString("Files", "TempPath", ""), made + "\\");
    tab.EditTempPath->SetText(p.folder / "WNASPI32.DLL\\under a file");
    tab.EditTempPathExit();
    EXPECT_EQ(tab.EditTempPath->Text(), made + "\\") << "kept";
    p.prompter.AnswerFolder("C:\\");
    tab.SpeedButton3->Click();
    EXPECT_EQ(p.Form().Flags().TempPath, "C:\\");
}

// A disc that cannot be erased, and an erase the drive refuses to start: each reported once,
// no job left marked, the actions back.
TEST(DiscTab, EraseOfADiscThatCannotBeErasedOrThatFailsToStartEndsCleanly) {
    {
        DiscProgram p("CD-R");
        p.prompter.AnswerMessage(gui::mrOk);
        p.Tab().Button6->Click();
        EXPECT_EQ(p.prompter.MessageTexts().back(), "Disc is not Erasable");
        EXPECT_FALSE(p.Form().Session.Running());
        EXPECT_EQ(p.Commands("a1 "), 0u);
    }
    DiscProgram p("CD-RW", "[Faults]\n1=BLANK count=* sense=3/0C/00\n");
    ui::TDiscTab& tab = p.Tab();
    p.prompter.AnswerMessage(gui::mrYes);
    tab.Button6->Click();
    for (int spin = 0; spin < 100; ++spin)
        gui::Wait(100, false);
    EXPECT_EQ(p.Commands("a1 "), 1u);
    const std::string log = p.ProgramLog();
    const size_t first = log.find("CD erase process done with error");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("CD erase process done with error", first + 1), std::string::npos) << log;
    EXPECT_EQ(log.find("Disc erase failed"), std::string::npos) << "said once" << log;
    EXPECT_TRUE(tab.EraseDone);
    EXPECT_FALSE(p.Form().Session.Running());
    EXPECT_FALSE(tab.Busy());
    EXPECT_TRUE(tab.Button6->Enabled());
    EXPECT_TRUE(p.Form().Startbackup->Enabled());
}

// Rewritable DVDs and DVD-R take a session per file too; the import of the disc's last
// session finds every file burned so far, and the drive's progress lines reach the detail log.
TEST(DiscTab, BurnOneFileOnDvdsKeepsEveryFileInTheLastSession) {
    for (const char* media : {"DVD+RW", "DVD-R"}) {
        SCOPED_TRACE(media);
        DiscProgram p(media);
        p.BurnFile(p.Zip("one.zip", std::string(70000, '1')));
        EXPECT_EQ(p.Form().Label1->Caption(), "Disc with one.zip created");
        p.BurnFile(p.Zip("two.zip", "2"));
        EXPECT_EQ(p.Form().Label1->Caption(), "Disc with two.zip created");
        ExpectBothInTheLastSession(p);
        if (std::string(media) == "DVD-R") {
            EXPECT_GT(p.Form().Memo1->LineCount(), 0);
            Publish(p, "burnfile-dvdr.img", p.LastSessionStart());
        } else {
            for (int i = 0; i < p.Form().Memo1->LineCount(); ++i)
                EXPECT_NE(p.Form().Memo1->Line(i).rfind(">>> ", 0), 0u) << "no progress lines for a DVD+RW";
            // Rewritten in place: the latest descriptors are the ones at block 16.
            Publish(p, "burnfile-dvdplusrw.img", 0);
        }
    }
}

// A last session that holds no file system (no volume descriptor in it) does not cost the
// files of the sessions before it: they are imported in turn and carried into the new session.
// A disc whose sessions cannot be read at all gets no session that would hide them.
TEST(DiscTab, BurnOneFileBehindAnUnreadableSessionKeepsTheEarlierFiles) {
    TempFolder keep;
    {
        DiscProgram p("CD-R");
        p.BurnFile(p.Zip("one.zip", std::string(50000, 'x')));
        ASSERT_EQ(p.Form().Label1->Caption(), "Disc with one.zip created");
        ASSERT_TRUE(CopyFileA((p.folder / "d0.img").c_str(), (keep / "s1.iso").c_str(), FALSE));
    }
    {
        WriteWholeFile(keep / "junk.iso", std::string(40 * 2048, 'j'));
        DiscProgram p("CD-R", "Prefill=" + keep / "s1.iso" + "@0," + keep / "junk.iso" + "@20000\n");
        p.BurnFile(p.Zip("two.zip", "second"));
        EXPECT_EQ(p.Form().Label1->Caption(), "Disc with two.zip created");
        const uint32_t start = p.LastSessionStart();
        EXPECT_GT(start, 20040u) << "a third session";
        ExpectBothInTheLastSession(p);
        Publish(p, "burnfile-past-unreadable.img", start);
    }
    DiscProgram p("CD-R", "Prefill=" + keep / "s1.iso" + "@0\n[Faults]\n1=READ10 count=* sense=3/11/00\n");
    p.BurnFile(p.Zip("two.zip", "second"));
    const std::string line = "F:\\Backup\\two.zip Error burning to disc - The disc in the CD/DVD writer "
                             "could not be read; no session is added that would hide what is on it";
    const std::string log = p.ProgramLog();
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(" burned to disc"), std::string::npos) << log;
    EXPECT_EQ(p.Form().Label1->Caption(), line);
    EXPECT_GT(p.Commands("28 "), 0u) << "the import tried";
    EXPECT_EQ(p.Commands("2a "), 0u) << "nothing written: " << p.DriveLog();
    EXPECT_TRUE(p.Form().Startbackup->Enabled());
}
