// The Backup tab hosted in-process with the whole program (manual clock, scripted prompter):
// a job built through the controls, saved, opened again into the same controls and saved to
// the same bytes; the destination field's rules and the writer's letter; questions answered
// No keeping an option; passwords; files dropped on the list the mouse last crossed; a
// read-only job and a new job.
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "core/DateText.h"
#include "gui/Action.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/ComboBox.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/TrackBar.h"
#include "job/JobFile.h"
#include "job/JobStart.h"
#include "job/Schedules.h"
#include "ui/JobTab.h"
#include "ui/MFo.h"
#include "ui/Program.h"
#include "ui/SmallDialogs.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;

namespace {

class JobTabTest : public testing::Test, protected testsupport::ProgramSite<> {
  protected:
    JobTabTest() : ProgramSite(core::EncodeDateTime({2025, 3, 10, 10, 20})) {}
    void Start() {
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
        tab = form->JobTab.get();
        program->Flags().Hidden = false;
        form->StartUpDone = true;
        form->Locale.shortDateFormat = "yyyy-MM-dd";
        form->Locale.dateSeparator = '-';
        form->Locale.longTimeFormat = "HH:mm:ss";
    }
    void TearDown() override {
        program.reset();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    // The entry form answered with text (OK) or cancelled.
    void AnswerEntry(const std::string& text, bool ok = true) {
        prompter.AnswerModal([text, ok](gui::TForm& entry) {
            static_cast<ui::TChgFile&>(entry).Edit1->SetText(text);
            return ok ? gui::mrOk : gui::mrCancel;
        });
    }
    void Key(gui::TControl& control, WORD key) {
        SendMessageA(control.Handle(), WM_KEYDOWN, key, 0);
        SendMessageA(control.Handle(), WM_KEYUP, key, 0xC0000000);
    }
    void Type(gui::TEdit& edit, const std::string& text) {
        edit.SetText(text);
        if (edit.OnChange) edit.OnChange();
        if (edit.OnExit) edit.OnExit();
    }
    void Drop(const std::vector<std::wstring>& files) {
        std::wstring names;
        for (const std::wstring& file : files)
            names += file + L'\0';
        names += L'\0';
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
        auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        std::memcpy(header + 1, names.data(), names.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        SendMessageA(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }
    std::vector<std::string> Lines(const std::string& file) {
        return job::SplitTextLines(ReadWholeFile(file));
    }

    TempFolder work;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
    ui::TJobTab* tab = nullptr;
};

// Records what the destination field asks of the disc writer.
class RecordingDisc final : public job::DiscWriter {
  public:
    bool Load(bool) override {
        calls.push_back("load");
        return true;
    }
    bool Select(const std::string& choice, char letter) override {
        if (fails) throw std::runtime_error("no drive answers");
        calls.push_back("select " + choice + "/" + std::string(letter ? 1 : 0, letter));
        return true;
    }
    bool Ready(int) override { return true; }
    int64_t FreeBytes() override { return 0; }
    int64_t CapacityAfterErase() override { return erasable ? 700'000'000 : -1; }
    job::DiscRoomFacts DiscFacts(int) override {
        calls.push_back("facts");
        job::DiscRoomFacts facts;
        facts.Ready = true;
        facts.Erasable = erasable;
        facts.FreeBlocks = 300'000;
        facts.Capacity = 359'999;
        facts.NextWritableAddress = 59'999;
        return facts;
    }
    void Release() override { calls.push_back("release"); }
    std::vector<std::string> calls;
    bool erasable = true;
    bool fails = false;
};

} // namespace

TEST_F(JobTabTest, DestinationOnAWriterSelectsItAndErasesOnlyAnErasableDisc) {
    Start();
    auto owned = std::make_unique<RecordingDisc>();
    RecordingDisc& disc = *owned;
    form->OnMakeDiscWriter = [&owned] { return std::move(owned); };
    form->WriterChoices = {"Use path", "Sim Writer,G"};
    form->CDDriveList = "G";
    form->AspiLoaded = true;
    tab->ShowJob();
    tab->EraseCD->SetChecked(true);

    Type(*tab->Edit7, "g:\\");
    EXPECT_TRUE(tab->Destination.DiscWriterMode);
    EXPECT_TRUE(tab->Destination.EraseFirst);
    EXPECT_EQ(disc.calls, (std::vector<std::string>{"load", "select /G", "facts", "release"}));
    EXPECT_EQ(tab->Label3->Caption(), "585 MB free") << "the disc's room, not the drive's file system";

    disc.calls.clear();
    disc.erasable = false;
    tab->ComboBox2->SetItemIndex(1);
    Type(*tab->Edit7, work.Path());
    EXPECT_TRUE(tab->Destination.DiscWriterMode) << "a writer chosen in the list";
    EXPECT_FALSE(tab->Destination.EraseFirst) << "a write-once disc is not erased";
    EXPECT_EQ(disc.calls.at(1),
              "select Sim Writer,G/" + std::string(1, static_cast<char>(toupper(work.Path()[0]))));

    // A drive that raises, a folder without a writer chosen, no disc layer: a folder.
    disc.fails = true;
    Type(*tab->Edit7, "G:");
    EXPECT_FALSE(tab->Destination.DiscWriterMode);
    EXPECT_FALSE(tab->Destination.EraseFirst);
    EXPECT_EQ(disc.calls.back(), "release");
    disc.fails = false;
    tab->ComboBox2->SetItemIndex(0);
    Type(*tab->Edit7, work.Path());
    EXPECT_FALSE(tab->Destination.DiscWriterMode);
    form->AspiLoaded = false;
    disc.calls.clear();
    Type(*tab->Edit7, "G:");
    EXPECT_FALSE(tab->Destination.DiscWriterMode);
    EXPECT_TRUE(disc.calls.empty());
}

TEST_F(JobTabTest, JobBuiltInTheControlsSavedOpenedAndSavedAgainToTheSameBytes) {
    Start();
    tab->NewJob->Execute();
    EXPECT_EQ(program->Flags().JobName, "New Job.dat");
    EXPECT_TRUE(tab->OEMConvert->Checked()); // the default system version is 5.1
    EXPECT_TRUE(tab->Testarchiveafterbackup1->Checked());

    // Include: a folder from the dialog, an entry by Insert, a changed entry; the markers refused.
    prompter.AnswerFolder(work.Path() + "Data");
    tab->SelectDir->Execute();
    AnswerEntry("*.doc");
    Key(*tab->ListBox1, VK_INSERT);
    AnswerEntry("*-Include-*");
    Key(*tab->ListBox1, VK_INSERT);
    EXPECT_EQ(tab->ListBox1->Items().ToVector(), (std::vector<std::string>{"*.doc", work.Path() + "Data\\"}));
    tab->ListBox1->SetSelected(0, true);
    AnswerEntry("*.xls");
    Key(*tab->ListBox1, VK_RETURN);
    EXPECT_EQ(form->Session.Job.IncludeList, (std::vector<std::string>{"*.xls", work.Path() + "Data\\"}));
    AnswerEntry("*.tmp");
    tab->PopupMenuExcl->FindByName("Exclude1")->Click();
    AnswerEntry("ignored", false);
    Key(*tab->ListBox3, VK_INSERT);
    EXPECT_EQ(form->Session.Job.ExcludeList, std::vector<std::string>{"*.tmp"});

    // The destination field: a root loses its backslash, the list form ends in "|".
    Type(*tab->Edit7, work.Path() + "Out\\");
    EXPECT_EQ(tab->Edit7->Text(), work.Path() + "Out");
    Type(*tab->Edit7, "E:\\|" + work.Path() + "Out\\|");
    EXPECT_EQ(tab->Edit7->Text(), "E:|" + work.Path() + "Out|");
    EXPECT_EQ(tab->DestList, (std::vector<std::string>{"E:", work.Path() + "Out"}));
    Type(*tab->Edit7, "D:\\");
    EXPECT_EQ(form->Session.Job.Destination, "D:");
    prompter.AnswerFolder(work.Path().substr(0, 3));
    tab->SelectDest->Execute();
    EXPECT_EQ(tab->Edit7->Text(), work.Path().substr(0, 2));
    EXPECT_NE(tab->Label3->Caption().find(" MB free"), std::string::npos);
    Type(*tab->Edit7, work.Path() + "Out");

    // The zip name loses what a file name cannot hold, after a message.
    prompter.AnswerMessage(gui::mrOk);
    Type(*tab->Edit2, "Back:up*1");
    EXPECT_EQ(prompter.MessageTexts().back(), "Back:up*1, is not a valid filename");
    EXPECT_EQ(tab->Edit2->Text(), "Backup1");
    EXPECT_EQ(form->Session.Job.ZipName, "Backup1");

    // Questions: No keeps the option, Yes changes it.
    prompter.AnswerMessage(gui::mrNo);
    tab->OverwriteExistingZipFile1->Click();
    EXPECT_FALSE(tab->OverwriteExistingZipFile1->Checked());
    EXPECT_EQ(tab->Edit2->Color(), gui::clWindow);
    prompter.AnswerMessage(gui::mrYes);
    tab->OverwriteExistingZipFile1->Click();
    EXPECT_TRUE(form->Session.Job.OverwriteExistingZipFile1);
    EXPECT_EQ(tab->Edit2->Color(), gui::clRed);
    prompter.AnswerMessage(gui::mrNo);
    tab->Optimizeusedspace->Click();
    EXPECT_TRUE(form->Session.Job.Optimizeusedspace);
    prompter.AnswerMessage(gui::mrYes);
    tab->IncludeFulldriveInfo->Execute();
    tab->Includedriveinfo->Execute();
    EXPECT_TRUE(form->Session.Job.Includedriveinfo);
    EXPECT_FALSE(tab->IncludeFulldriveInfo->Checked());

    // Passwords: a different second entry clears it, a matching one sets it.
    AnswerEntry("secret");
    AnswerEntry("Secret");
    prompter.AnswerMessage(gui::mrOk);
    tab->SetPassWord->Execute();
    EXPECT_EQ(prompter.MessageTexts().back(),
              "Password not retyped correct, password cleared please try again");
    EXPECT_FALSE(tab->SetPassWord->Checked());
    EXPECT_EQ(form->Session.Job.ZipPassword, "");
    AnswerEntry("secret");
    AnswerEntry("secret");
    tab->SetPassWord->Execute();
    EXPECT_TRUE(tab->SetPassWord->Checked());

    tab->RadioButton2->SetChecked(true);
    tab->RadioButton2->OnClick();
    tab->CheckBox3->SetChecked(true);
    tab->CheckBox3->OnClick();
    Type(*tab->Edit1, "2025-13-45");
    EXPECT_EQ(tab->Edit1->Text(), "2025-03-10 10:20:00"); // not a date: now
    Type(*tab->Edit1, "2025-01-02 03:04:05");
    tab->TrackBar1->SetPosition(9);
    tab->TrackBar1->OnChange();
    EXPECT_EQ(tab->TrackBar1->Position(), 7); // MaxZipFactor
    EXPECT_EQ(tab->TrackBar1->Hint(), "The selected compression level is set to: 7");
    tab->TrackBar1->SetPosition(4);
    tab->TrackBar1->OnChange();

    // Save: a new job goes through Save As.
    const std::string first = work / "First.dat", second = work / "Second.dat";
    prompter.AnswerFile({first});
    tab->SaveJob->Execute();
    EXPECT_EQ(prompter.Requests().back().File.FileName, "New Job.dat");
    const job::JobDefinition saved = form->Session.Job;

    tab->NewJob->Execute();
    EXPECT_EQ(tab->ListBox1->Items().Count(), 0);
    EXPECT_EQ(tab->Edit2->Text(), "");
    prompter.AnswerFile({first});
    tab->OpenJob->Execute();
    EXPECT_EQ(prompter.Requests().back().File.Filter, "Backup jobs|*.dat");
    EXPECT_EQ(tab->ListBox1->Items().ToVector(), saved.IncludeList);
    EXPECT_EQ(tab->ListBox3->Items().ToVector(), saved.ExcludeList);
    EXPECT_EQ(tab->Edit7->Text(), work.Path() + "Out");
    EXPECT_EQ(tab->Edit2->Text(), "Backup1");
    EXPECT_EQ(tab->Edit2->Color(), gui::clRed);
    EXPECT_TRUE(tab->RadioButton2->Checked());
    EXPECT_TRUE(tab->CheckBox3->Checked());
    EXPECT_EQ(tab->Edit1->Text(), "2025-01-02 03:04:05");
    EXPECT_EQ(tab->TrackBar1->Position(), 4);
    EXPECT_TRUE(tab->SetPassWord->Checked());
    EXPECT_TRUE(tab->Includedriveinfo->Checked());
    EXPECT_EQ(form->Session.Job.ZipPassword, "secret");

    prompter.AnswerFile({second});
    tab->SaveJobAs->Execute();
    EXPECT_EQ(prompter.Requests().back().File.InitialDir, work.Path());
    std::vector<std::string> a = Lines(first), b = Lines(second);
    ASSERT_EQ(a.size(), b.size());
    a[3] = b[3] = ""; // the "After:" date, taken anew at each save
    EXPECT_EQ(a, b);
    EXPECT_TRUE(prompter.Pending() == 0);
}

TEST_F(JobTabTest, WriterLetterDropsReadOnlyJobAndNewJobOnAnotherSystem) {
    environment.os.major = 6;
    environment.os.minor = 1;
    Start();
    form->WriterChoices = {"Use path", "Sim Writer,G"};
    form->Session.Job.Destination = "D:\\Backup";
    form->Session.Job.WriterIndex = 0;
    tab->ShowJob();
    tab->ComboBox2->SetItemIndex(1);
    tab->ComboBox2->OnCloseUp();
    EXPECT_EQ(tab->Edit7->Text(), "G:\\Backup");
    EXPECT_EQ(form->Session.Job.Destination, "G:\\Backup");
    EXPECT_EQ(form->Session.Job.WriterIndex, 1);
    EXPECT_EQ(tab->ComboBox2->DroppedWidth(), 69);

    // Three files dropped after the mouse crossed the exclude list last go there only.
    SendMessageA(tab->ListBox1->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageA(tab->ListBox3->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    Drop({L"C:\\a.txt", L"C:\\b.txt", L"C:\\" + std::wstring(300, L'x')});
    EXPECT_EQ(tab->ListBox1->Items().Count(), 0);
    EXPECT_EQ(form->Session.Job.ExcludeList.size(), 3u);
    EXPECT_EQ(form->Session.Job.ExcludeList.back().size(), 303u); // taken whole
    EXPECT_FALSE(tab->DropOnExcludeList);
    Drop({L"C:\\c.txt"}); // no list under the mouse since: nothing added
    EXPECT_EQ(form->Session.Job.ExcludeList.size(), 3u);

    form->Session.Job.ReadOnly = true;
    tab->ShowJob();
    EXPECT_FALSE(tab->Edit7->Enabled());
    EXPECT_FALSE(tab->ListBox1->Enabled());
    EXPECT_FALSE(tab->TrackBar1->Enabled());
    tab->NewJob->Execute();
    EXPECT_TRUE(tab->Edit7->Enabled());
    EXPECT_FALSE(tab->OEMConvert->Checked());
    EXPECT_EQ(form->Session.Job.ExcludeList.size(), 0u);
}

// A window as a first start shows it: the job options checked as a new job has them, the
// menus named, the password item away when the settings refuse zip passwords; a job stored
// with level 9 keeps it where MaxZipFactor allows 9.
TEST_F(JobTabTest, FirstWindowOptionsCaptionsAndAStoredLevelAboveSeven) {
    testsupport::WriteWholeFile(programFolder / "tarnwick.ini",
                                "[Settings]\r\nMaxZipFactor=9\r\nAllowPassWord=0\r\n");
    Start();
    EXPECT_TRUE(tab->IncludeDateTime1->Checked());
    EXPECT_TRUE(tab->UseLastruntime->Checked());
    EXPECT_FALSE(form->Find<gui::TMenuItem>("Usepassword1").Visible());
    EXPECT_EQ(form->Find<gui::TMenuItem>("Files").Caption(), "&File");
    EXPECT_EQ(form->Find<gui::TMenuItem>("Catalog1").Caption(), "&Catalog");
    EXPECT_EQ(form->TabSheet2->Caption(), "Sch&edule");

    std::vector<std::string> lines = job::SplitTextLines(job::WriteJobText(form->Session.Job, {}));
    lines[6] = "9";
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    const std::string file = programFolder / "Level.dat";
    testsupport::WriteWholeFile(file, text);
    prompter.AnswerFile({file});
    tab->OpenJob->Execute();
    EXPECT_EQ(tab->TrackBar1->Position(), 9);
    EXPECT_EQ(form->Session.Job.CompressionLevel, 9);
    tab->SaveJob->Execute();
    EXPECT_EQ(Lines(file).at(6), "9");
    EXPECT_EQ(Lines(file).at(8), "1") << "Use Last Runtime";
    EXPECT_EQ(Lines(file).at(14), "1") << "Include Date/Time";
}

// A save that fails is told in a box, and the window keeps the name of the file that holds
// the job; the password's boxes come while the timer still stands.
TEST_F(JobTabTest, AFailedSaveIsToldAndThePasswordBoxesComeBeforeTheTimerRuns) {
    Start();
    const std::string first = work / "First.dat", nowhere = work / "missing\\Second.dat";
    prompter.AnswerFile({first});
    tab->SaveJobAs->Execute();
    EXPECT_EQ(form->Caption(), "Tarnwick - First");
    prompter.AnswerFile({nowhere});
    prompter.AnswerMessage(gui::mrOk);
    tab->SaveJobAs->Execute();
    EXPECT_EQ(prompter.MessageTexts().back(), "Job file not saved: " + nowhere);
    EXPECT_EQ(form->Caption(), "Tarnwick - First");
    EXPECT_EQ(program->Flags().JobName, "First.dat");
    EXPECT_FALSE(testsupport::FileExists(nowhere));

    // The timer as each box of the password finds it.
    struct TimerWatch final : gui::TScriptedPrompter {
        ui::TMF* form = nullptr;
        std::vector<bool> running;
        int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
            running.push_back(form->Timer1.Enabled());
            return TScriptedPrompter::ShowMessageBox(request);
        }
    } watch;
    watch.form = form;
    gui::TPrompterScope watching{watch};
    form->Timer1.SetEnabled(true);
    for (const char* text : {"secret", "other"})
        watch.AnswerModal([text](gui::TForm& entry) {
            static_cast<ui::TChgFile&>(entry).Edit1->SetText(text);
            return gui::mrOk;
        });
    watch.AnswerMessage(gui::mrOk);
    tab->SetPassWord->Execute();
    EXPECT_EQ(watch.running, std::vector<bool>{false});
    EXPECT_TRUE(form->Timer1.Enabled());
}

// The size picked in the list with the Down key reaches the job as the item picked, not as
// the text the box held before; a character refused in the zip name leaves the caret where
// the user was typing.
TEST_F(JobTabTest, APickedSizeReachesTheJobAndARefusedCharacterKeepsTheCaret) {
    Start();
    tab->ShowJob();
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(tab->ComboBox1->Handle(), &info));
    for (int step = 0; step < 2; ++step) {
        const std::string shown = tab->ComboBox1->Text();
        SendMessageA(info.hwndItem, WM_KEYDOWN, VK_DOWN, 0);
        const int picked = tab->ComboBox1->ItemIndex();
        ASSERT_GE(picked, 0);
        EXPECT_NE(tab->ComboBox1->Items()[picked], shown);
        EXPECT_EQ(form->Session.Job.ZipSizeText, tab->ComboBox1->Items()[picked]);
    }

    tab->Edit2->SetText("Backup");
    tab->Edit2->SetSelStart(3);
    prompter.AnswerMessage(gui::mrOk);
    SendMessageA(tab->Edit2->Handle(), WM_CHAR, ':', 0);
    EXPECT_EQ(prompter.MessageTexts().back(), "Bac:kup, is not a valid filename");
    SendMessageA(tab->Edit2->Handle(), WM_CHAR, 'X', 0);
    EXPECT_EQ(tab->Edit2->Text(), "BacXkup");
    EXPECT_EQ(form->Session.Job.ZipName, "BacXkup");
}
