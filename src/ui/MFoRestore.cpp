#include "ui/MFoRestore.h"

#include "core/Messages.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/ProgressBar.h"
#include "gui/Prompter.h"
#include "gui/Wait.h"
#include "job/RegBak.h"
#include "ui/MFo.h"
#include "ui/SmallDialogs.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/UnZipperWin.h"

#include <cstdio>

namespace ui {

namespace {

constexpr int kPumpMs = 50;

std::string Upper(std::string text) {
    if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

TRestoreTab::TRestoreTab(TMF& form)
    : form_(form), files_(std::make_unique<zip::TWinExtractFileSystem>()),
      unzipper_(std::make_unique<zip::TUnZipper>(*files_)) {
    zip::ConnectToProgram(*unzipper_);
    Build();
    Connect();
}

TRestoreTab::~TRestoreTab() {
    // The form outlives this tab by a moment: nothing of it may call back here.
    form_.OnResize = std::move(previousResize_);
    form_.OnKeyUp = std::move(previousKeyUp_);
    form_.StartRestore->OnExecute = nullptr;
}

void TRestoreTab::Build() {
    TMF& f = form_;
    gui::TTabSheet& page = *f.TabSheet4;
    const int width = f.ClientWidth() - 16, height = f.ClientHeight() - 80;
    const int gridHeight = height - 120;
    DrawGrid1 = &f.Create<gui::TDrawGrid>(page, "DrawGrid1", gui::TBounds{4, 4, width, gridHeight}, 7, 1, 0);
    grid_ = std::make_unique<TRestoreGrid>(*DrawGrid1, *unzipper_);
    grid_->OnSelectionChanged = [this] { RefreshSelection(); };
    int y = gridHeight + 10;
    f.Create<gui::TLabel>(page, "Label10", gui::TBounds{4, y + 3, 90, 16}, "Restore &to:");
    Edit3 = &f.Create<gui::TEdit>(page, "Edit3", gui::TBounds{96, y, 300, 21});
    SpeedButton4 = &f.Create<gui::TSpeedButton>(page, "SpeedButton4", gui::TBounds{398, y, 23, 21}, "...");
    BtSelectAll =
        &f.Create<gui::TButton>(page, "BtSelectAll", gui::TBounds{width - 90, y, 90, 25}, "&Select all");
    y += 26;
    f.Create<gui::TLabel>(page, "Label17", gui::TBounds{4, y + 3, 90, 16}, "Rem&ove this part:");
    Edit6 = &f.Create<gui::TEdit>(page, "Edit6", gui::TBounds{96, y, 325, 21});
    Button2 = &f.Create<gui::TButton>(page, "Button2", gui::TBounds{width - 90, y, 90, 25}, "&Start");
    y += 26;
    CheckBox2 = &f.Create<gui::TCheckBox>(page, "CheckBox2", gui::TBounds{4, y, 300, 18},
                                          "&Add stored path to destination path");
    CheckBox2->SetChecked(true);
    y += 22;
    f.Create<gui::TLabel>(page, "Label11", gui::TBounds{4, y + 2, 150, 16}, "Overwrite existing files: ");
    RadioButton3 =
        &f.Create<gui::TRadioButton>(page, "RadioButton3", gui::TBounds{160, y, 70, 18}, "&Never", true);
    RadioButton5 =
        &f.Create<gui::TRadioButton>(page, "RadioButton5", gui::TBounds{235, y, 80, 18}, "&If older");
    RadioButton4 =
        &f.Create<gui::TRadioButton>(page, "RadioButton4", gui::TBounds{320, y, 80, 18}, "Al&ways");
    RadioButton3->SetChecked(true);
    y += 22;
    Label15 = &f.Create<gui::TLabel>(page, "Label15", gui::TBounds{4, y, width - 220, 16}, "");
    ProgressBar2 = &f.Create<gui::TProgressBar>(page, "ProgressBar2", gui::TBounds{width - 210, y, 210, 16});

    OpenZipFile = &f.Create<gui::TAction>(f, "OpenZipFile", "Open &File To Restore From");
    CloseRestore = &f.Create<gui::TAction>(f, "CloseRestore", "&Close File");
    TestZipFile = &f.Create<gui::TAction>(f, "TestZipFile", "&Test Zip File");
    Button2->SetAction(f.StartRestore);
    if (gui::TMenuItem* menu = f.MainMenu1->FindByName("Restore1")) {
        menu->Add("OpenFileToRestoreFrom1", "Open &File To Restore From").SetAction(OpenZipFile);
        TestFile1 = &menu->Add("TestFile1", "&Test Zip File");
        SelectAll1 = &menu->Add("SelectAll1", "Select &All");
        SelectAll1->SetShortCut('A', gui::ssCtrl);
        Invertselection1 = &menu->Add("Invertselection1", "&Invert selection");
        Invertselection1->SetShortCut('I', gui::ssCtrl);
        Unselctall1 = &menu->Add("Unselctall1", "&Unselect all");
        Unselctall1->SetShortCut('U', gui::ssCtrl);
        menu->Add("StartRestore1", "&Start").SetAction(f.StartRestore);
        menu->Add("CloseRestore1", "&Close File").SetAction(CloseRestore);
    }
    EnableArchiveActions(false);
    f.StartRestore->SetEnabled(false);
}

void TRestoreTab::Connect() {
    TMF& f = form_;
    OpenZipFile->OnExecute = [this] { OpenZipFileExecute(); };
    CloseRestore->OnExecute = [this] { CloseRestoreExecute(); };
    TestZipFile->OnExecute = [this] { TestFile1Click(); };
    f.StartRestore->OnExecute = [this] { StartRestoreExecute(); };
    if (TestFile1) TestFile1->OnClick = [this] { TestFile1Click(); };
    if (SelectAll1) SelectAll1->OnClick = [this] { BtSelectAllClick(); };
    if (Invertselection1) Invertselection1->OnClick = [this] { Invertselection1Click(); };
    if (Unselctall1) Unselctall1->OnClick = [this] { Unselctall1Click(); };
    BtSelectAll->OnClick = [this] { BtSelectAllClick(); };
    SpeedButton4->OnClick = [this] { Edit3Enter(); };
    Edit3->OnChange = [this] { Edit3Change(); };
    // Alt+M and Ctrl+A reach the tab from any of its controls.
    f.KeyPreview = true;
    // Other parts of the window may handle these too: theirs run first.
    previousResize_ = f.OnResize;
    f.OnResize = [this] {
        if (previousResize_) previousResize_();
        grid_->FormResize();
    };
    previousKeyUp_ = f.OnKeyUp;
    f.OnKeyUp = [this](WORD& key, gui::TShiftState shift) {
        if (previousKeyUp_) previousKeyUp_(key, shift);
        FormKeyUp(key, shift);
    };

    zip::TUnZipper& z = *unzipper_;
    z.OnEndReadFileInfo = [this](zip::TUnZipper&, int index, int total) {
        if (total > 0) ProgressBar2->SetPosition(index * 33 / total);
    };
    z.OnStartUnZip = [this](zip::TUnZipper& z, int index, std::string& fname, bool& skip) {
        const std::string name = Upper(z.Filename(index));
        const std::string windows = Upper(form_.Environment().windowsFolder);
        if ((name == "USER.DAT" || name == "SYSTEM.DAT") &&
            Upper(fname).compare(0, windows.size(), windows) == 0) {
            skip = true;
            RebootList.push_back({fname, index});
            Say("Will bee restored after reboot: " + fname);
            return;
        }
        if (z.Filename(index) == "_$zreg_$._$r") fname = form_.Environment().ProgramFolder() + "RestRegi.txt";
        if (z.Filename(index) == "_$zureg_$._$r")
            fname = form_.Environment().ProgramFolder() + "UserRestRegi.txt";
    };
    z.OnEndUnZip = [this](zip::TUnZipper& z, int index, const std::string& fname) {
        const core::OsVersion& os = form_.Environment().os;
        const std::string windows = Upper(form_.Environment().windowsFolder + "\\");
        const std::string upper = Upper(fname);
        if (!os.ntFamily && os.major == 4 && os.minor == 90 &&
            upper.compare(0, windows.size(), windows) == 0 && upper.size() > 4 &&
            upper.substr(upper.size() - 4) == ".DAT")
            WindowsMeHiveRestored = true;
        Label15->SetCaption(VerifyMode ? "Verified: " + z.FullName(index)
                                       : z.Filename(index) + " is restored.");
        if (RestoreCancelRequested) {
            z.ClearSelected();
            z.CancelTheOperation();
        }
        FullReports = 0;
        gui::PumpIfDue(kPumpMs);
    };
    z.OnSkippingFile = [this](zip::TUnZipper& z, zip::TSkipReason reason, const std::string& fname, int index,
                              bool&) {
        if (VerifyMode) return;
        if (RestoreCancelRequested) {
            Say("Restore cancelled by user");
            z.CancelTheOperation();
            return;
        }
        if (reason == zip::srCantCreateOutput) {
            Say("File locked, not restored: " + fname);
            RebootList.push_back({fname, index});
            return;
        }
        bool queue = false;
        if (reason == zip::srKeepExisting) {
            if (z.OverwriteMode == zip::Always) {
                queue = true;
            } else if (z.OverwriteMode == zip::ifNewer) {
                const std::optional<gui::DateTime> onDisk = files_->FileDate(fname);
                queue = onDisk && *onDisk < z.DateTime(index);
            }
        }
        if (queue) {
            RebootList.push_back({fname, index});
            Say("Will bee restored after reboot: " + fname);
        } else {
            Say("Not restored: " + fname);
        }
    };
    z.OnBadPassword = [this](zip::TUnZipper& z, int, std::string& newPassword) {
        std::string text;
        // The component takes the new password itself when it differs from the one tried.
        if (AskPassword && AskPassword("Password ?", text) && !text.empty()) {
            newPassword = text;
        } else {
            z.Password.clear();
            newPassword.clear();
        }
    };
    z.OnBadCRC = [this](zip::TUnZipper& z, uint32_t, uint32_t, int index) {
        if (ReportBadCrc) form_.AddToLog(z.FullName(index) + " in " + z.ZipName() + " may be corrupt.");
    };
    z.OnTotalPercentDone = [this](zip::TUnZipper& z, int percent) {
        ProgressBar2->SetPosition(percent);
        if (percent >= 100 && ++FullReports > 100000) throw job::EInfiniteRun();
        if (RestoreCancelRequested) z.CancelTheOperation();
    };
    z.OnUnZipComplete = [this](zip::TUnZipper& z, int fileCount) {
        if (VerifyMode) return;
        form_.AddToLog(std::to_string(fileCount) + " files restored.");
        z.ClearSelected();
        Label15->SetCaption(std::to_string(fileCount) + " of " + std::to_string(z.Count()) +
                            " files restored.");
        ShowRunning(false);
        form_.StartRestore->SetEnabled(false);
        RestoreCancelRequested = false;
        DrawGrid1->Invalidate();
        if (form_.PageControl1->ActivePage() == form_.TabSheet4 && DrawGrid1->CanFocus())
            DrawGrid1->SetFocus();
    };
    // The program's text-entry dialog, masked for the while; the timer rests meanwhile.
    AskPassword = [this](const std::string& prompt, std::string& text) {
        if (!form_.ChgFile1) return false;
        TChgFile& entry = *form_.ChgFile1;
        entry.SetCaption(prompt);
        entry.Edit1->SetText("");
        entry.Edit1->SetPasswordChar('*');
        const int result = form_.RunModal([&entry] { return entry.Execute(); });
        entry.Edit1->SetPasswordChar(0);
        if (result != gui::mrOk) return false;
        text = entry.Edit1->Text();
        return true;
    };
}

std::string TRestoreTab::JobDestinationFolder() const {
    std::string folder = form_.Session.Job.Destination.substr(0, form_.Session.Job.Destination.find('|'));
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return folder;
}

std::string TRestoreTab::ArchiveName() const {
    return unzipper_->ZipName();
}

void TRestoreTab::Say(const std::string& text) {
    form_.AddToRestoreLog(text);
    Label15->SetCaption(text);
}

void TRestoreTab::EnableArchiveActions(bool on) {
    for (gui::TMenuItem* item : {TestFile1, SelectAll1, Invertselection1, Unselctall1})
        if (item) item->SetEnabled(on);
    TestZipFile->SetEnabled(on);
    BtSelectAll->SetEnabled(on);
}

void TRestoreTab::RefreshSelection() {
    form_.StartRestore->SetEnabled(unzipper_->NumSelected() > 0);
    Label15->SetCaption(std::to_string(unzipper_->NumSelected()) + " of " +
                        std::to_string(unzipper_->Count()) + " files selected for restore.");
}

void TRestoreTab::OpenZipFileExecute() {
    gui::TFileDialogRequest request;
    request.Owner = form_.Handle();
    request.DefaultExt = "zip";
    request.Filter = "zip files|*.zip;*.0*";
    request.InitialDir = JobDestinationFolder();
    gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted || answer.Files.empty()) return;
    OpenArchive(answer.Files[0]);
}

void TRestoreTab::OpenArchive(const std::string& file) {
    grid_->ClearGrid();
    zip::TUnZipper& z = *unzipper_;
    z.ClearZip();
    ProgressBar2->SetMax(100);
    ProgressBar2->SetPosition(0);
    Label15->SetCaption("Reading content of: " + file);
    const DWORD priority = GetPriorityClass(GetCurrentProcess());
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    bool read = true;
    try {
        z.SetZipName(file);
        z.ReadZip();
    } catch (const std::exception& error) {
        read = false;
        form_.AddToLog(file + ": " + error.what());
        Label15->SetCaption(error.what());
    }
    SetPriorityClass(GetCurrentProcess(), read ? priority : NORMAL_PRIORITY_CLASS);
    const int count = read ? z.Count() : 0;
    // The caption names an archive only while one is open.
    form_.OpenZipName = count > 0 ? file : std::string();
    form_.UpdateCaption();
    if (count <= 0) {
        z.ClearZip();
        EnableArchiveActions(false);
        form_.StartRestore->SetEnabled(false);
        return;
    }
    grid_->SetUp(
        [this](int i, int n) { ProgressBar2->SetPosition(static_cast<int>((2LL * n + i) * 33 / n)); });
    EnableArchiveActions(true);
    if (form_.PageControl1->ActivePage() == form_.TabSheet4 && DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    Label15->SetCaption(std::to_string(count) + " files in " + file);
    ProgressBar2->SetPosition(0);
    DrawGrid1->Invalidate();
}

void TRestoreTab::CloseRestoreExecute() {
    EnableArchiveActions(false);
    form_.StartRestore->SetEnabled(false);
    unzipper_->ClearZip();
    grid_->ClearGrid();
    gui::ProcessMessages();
    Label15->SetCaption("");
    form_.OpenZipName.clear();
    form_.UpdateCaption();
}

void TRestoreTab::Edit3Enter() {
    gui::TFolderRequest request;
    request.Owner = form_.Handle();
    request.Caption = "Select folder to restore files in";
    request.StartFolder = Edit3->Text();
    const gui::TFolderAnswer answer = gui::Prompter().BrowseForFolder(request);
    if (!answer.Accepted) return;
    Edit3->SetText(answer.Folder);
    Edit3Change();
}

void TRestoreTab::Edit3Change() {
    unzipper_->SetDestDir(Edit3->Text());
}

void TRestoreTab::FormKeyUp(WORD& key, gui::TShiftState shift) {
    if (form_.PageControl1->ActivePage() != form_.TabSheet4) return;
    if (key == 'M' && (shift & gui::ssAlt)) {
        DrawGrid1->SetFocus();
    } else if (key == 'A' && (shift & gui::ssCtrl) && grid_->RestoreRowMap.Count() > 0) {
        DrawGrid1->SetFocus();
        grid_->SelectAll(true);
    } else {
        return;
    }
    DrawGrid1->Invalidate();
    RefreshSelection();
}

void TRestoreTab::BtSelectAllClick() {
    if (DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    grid_->SelectAll(true);
    RefreshSelection();
}

void TRestoreTab::Unselctall1Click() {
    if (DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    grid_->SelectAll(false);
    RefreshSelection();
}

void TRestoreTab::Invertselection1Click() {
    if (DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    grid_->Invert();
    RefreshSelection();
}

void TRestoreTab::ShowRunning(bool running) {
    Running = running;
    form_.StartRestore->SetCaption(running ? "&Cancel" : "&Start");
    // The Cancel button is always clickable.
    if (running) form_.StartRestore->SetEnabled(true);
}

bool TMF::RestoreRunning() const {
    return RestoreTab && RestoreTab->Running;
}

void TRestoreTab::StartRestoreExecute() {
    if (Running) {
        RestoreCancelRequested = true;
        unzipper_->CancelTheOperation();
        form_.AddToLog("Restore from: " + ArchiveName() + " cancelled");
        return;
    }
    RunRestore();
}

void TRestoreTab::RunRestore() {
    TMF& f = form_;
    const std::string programFolder = f.Environment().ProgramFolder();
    // The restore log: the first free number from 100.
    const std::string logFolder = f.LogFolder();
    CreateDirectoryA(logFolder.substr(0, logFolder.size() - 1).c_str(), nullptr);
    std::string base = ArchiveName().substr(ArchiveName().find_last_of("\\/:") + 1);
    if (base.size() > 4) base.resize(base.size() - 4);
    for (int n = 100;; ++n) {
        f.RestoreLogName = logFolder + base + "_" + std::to_string(n) + ".txt";
        if (!Exists(f.RestoreLogName)) break;
    }
    zip::TUnZipper& z = *unzipper_;
    RebootList.clear();
    WindowsMeHiveRestored = false;
    z.SetDestDir(Edit3->Text());
    z.SetRootDir(Edit6->Text());
    z.CheckDiskLabels = false;
    DeleteFileA((programFolder + "RestRegi.txt").c_str());
    DeleteFileA((programFolder + "UserRestRegi.txt").c_str());
    for (const std::string& line : {"Restore from: " + ArchiveName() + " started",
                                    "Files to restore: " + std::to_string(z.NumSelected())}) {
        f.AddToLog(line);
        f.AddToRestoreLog(line);
    }
    z.RecreateDirs = CheckBox2->Checked();
    if (RadioButton4->Checked()) {
        z.OverwriteMode = zip::Always;
        z.ReplaceReadOnly = true;
    } else if (RadioButton5->Checked()) {
        z.OverwriteMode = zip::ifNewer;
        z.ReplaceReadOnly = true;
    } else {
        z.OverwriteMode = zip::Never;
        z.ReplaceReadOnly = false;
    }
    RestoreCancelRequested = false;
    FullReports = 0;
    ShowRunning(true);
    f.StartRestore->SetEnabled(true);
    try {
        z.UnZipSelected();
    } catch (const std::exception& error) {
        f.AddToLog("Restore from: " + ArchiveName() + " stopped: " + error.what());
        Label15->SetCaption(error.what());
    }
    // The write-back and the staging can be cancelled too: the action stays the Cancel button.
    ShowRunning(true);
    for (const char* name : {"RestRegi.txt", "UserRestRegi.txt"})
        if (!RestoreCancelRequested && Exists(programFolder + name)) {
            job::RestoreRegistry(f.Host(), programFolder + name);
            ShowRunning(true);
        }
    if (!RebootList.empty()) ReplaceAtNextBoot();
    ShowRunning(false);
    f.StartRestore->SetEnabled(z.NumSelected() > 0);
    RestoreCancelRequested = false;
    ProgressBar2->SetPosition(0);
}

void TRestoreTab::TestFile1Click() {
    zip::TUnZipper& z = *unzipper_;
    if (z.Count() == 0) return;
    VerifyMode = true;
    RestoreCancelRequested = false;
    // A verify has no log of its own: the last restore's log stays as it was.
    form_.RestoreLogName.clear();
    Label15->SetCaption("Verify in progress");
    ShowRunning(true);
    form_.StartRestore->SetEnabled(true);
    ReportBadCrc = false;
    FullReports = 0;
    bool good = false;
    try {
        good = z.TestArchive();
        if (!good && !RestoreCancelRequested) {
            ReportBadCrc = true;
            good = z.TestArchive();
        }
    } catch (const std::exception& error) {
        form_.AddToLog(ArchiveName() + ": " + error.what());
    }
    std::string name = ArchiveName();
    const size_t dot = name.find_last_of('.'), slash = name.find_last_of("\\/:");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name = name.substr(0, dot);
    name += ".zip";
    if (RestoreCancelRequested) {
        Label15->SetCaption("Verify cancelled");
    } else if (!good) {
        Label15->SetCaption("Verify finished, errors found in: " + name);
        form_.AddToLog("Errors found in: " + name);
    } else {
        Label15->SetCaption("Verify finished, no errors found in: " + name);
        form_.AddToLog("No errors found in: " + name);
    }
    ShowRunning(false);
    form_.StartRestore->SetEnabled(false);
    ProgressBar2->SetPosition(0);
    VerifyMode = false;
    RestoreCancelRequested = false;
}

namespace {

class TTabBootHost : public job::TBootReplaceHost {
  public:
    TTabBootHost(TMF& form, TRestoreTab& tab) : form_(form), tab_(tab) {}
    // Once per staged file: a Cancel click gets through between them.
    void Status(const std::string& text) override {
        tab_.Label15->SetCaption(text);
        gui::ProcessMessages();
    }
    void Log(const std::string& text) override { form_.AddToRestoreLog(text); }
    bool Ask(const std::string& text) override {
        if (form_.Flags().Hidden) return false;
        gui::TMessageBoxRequest request;
        request.Owner = form_.Handle();
        request.Caption = "Tarnwick";
        request.Text = text;
        request.Buttons = gui::TMsgButtons::YesNo;
        request.Icon = gui::TMsgIcon::Warning;
        request.DefaultButton = 2;
        return gui::Prompter().MessageBox(request) == gui::mrYes;
    }
    void Inform(const std::string& text) override {
        if (form_.Flags().Hidden) return;
        gui::TMessageBoxRequest request;
        request.Owner = form_.Handle();
        request.Caption = "Tarnwick";
        request.Text = text;
        request.Icon = gui::TMsgIcon::Information;
        gui::Prompter().MessageBox(request);
    }
    void ExtractEntry(int index, const std::string& folder) override {
        zip::TUnZipper& z = tab_.UnZipper1();
        z.ClearSelected();
        z.SetSelected(index, true);
        z.SetDestDir(folder);
        z.SetRootDir("");
        z.RecreateDirs = false;
        Run(z);
    }
    void ExtractRestoreData(const std::vector<job::TRebootEntry>& entries,
                            const std::string& folder) override {
        zip::TUnZipper& z = tab_.UnZipper1();
        z.ClearSelected();
        std::string root;
        for (const job::TRebootEntry& entry : entries) {
            z.SetSelected(entry.index, true);
            const std::string path = z.Pathname(entry.index);
            const size_t at = Upper(path).find("\\_RESTORE");
            if (at != std::string::npos) root = path.substr(0, at + 9);
        }
        z.SetDestDir(folder);
        z.SetRootDir(root);
        z.RecreateDirs = true;
        Run(z);
    }
    bool CancelPending() override { return tab_.RestoreCancelRequested; }

  private:
    void Run(zip::TUnZipper& z) {
        try {
            z.UnZipSelected();
        } catch (const std::exception& error) {
            form_.AddToRestoreLog(error.what());
        }
        z.ClearSelected();
    }
    TMF& form_;
    TRestoreTab& tab_;
};

} // namespace

void TRestoreTab::ReplaceAtNextBoot() {
    zip::TUnZipper& z = *unzipper_;
    // The restore's own handlers stay out of the staging.
    auto start = std::move(z.OnStartUnZip);
    auto end = std::move(z.OnEndUnZip);
    auto complete = std::move(z.OnUnZipComplete);
    auto skipping = std::move(z.OnSkippingFile);
    z.OnStartUnZip = nullptr;
    z.OnEndUnZip = nullptr;
    z.OnUnZipComplete = nullptr;
    z.OnSkippingFile = nullptr;
    z.ClearSelected();
    const core::ProgramEnvironment& environment = form_.Environment();
    job::TBootReplaceSetup setup;
    setup.os = environment.os.ntFamily                                     ? job::TBootOs::NT
               : (environment.os.major == 4 && environment.os.minor == 90) ? job::TBootOs::WinMe
                                                                           : job::TBootOs::Win9x;
    setup.windowsFolder = environment.windowsFolder;
    char profile[MAX_PATH] = "";
    const DWORD n = GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);
    if (n > 0 && n < sizeof profile) setup.userProfile = std::string(profile) + "\\";
    setup.tempPath = form_.Flags().TempPath.empty() ? environment.systemTempPath : form_.Flags().TempPath;
    setup.systemTempPath = environment.systemTempPath;
    setup.meHiveRestored = WindowsMeHiveRestored;
    TTabBootHost host(form_, *this);
    job::ReplaceAtNextBoot(host, RebootList, setup);
    if (setup.tempPath != form_.Flags().TempPath && !form_.Flags().TempPath.empty())
        form_.Flags().TempPath = setup.tempPath;
    z.OnStartUnZip = std::move(start);
    z.OnEndUnZip = std::move(end);
    z.OnUnZipComplete = std::move(complete);
    z.OnSkippingFile = std::move(skipping);
    z.SetDestDir(Edit3->Text());
    RebootList.clear();
}

} // namespace ui
