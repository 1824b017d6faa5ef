#include "ui/MFoRestore.h"

#include "gui/Action.h"
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
#include "ui/MFo.h"
#include "zip/UnZipper.h"

namespace ui {

TRestoreTab::TRestoreTab(TMF& form) : form_(form), run_(std::make_unique<job::TRestoreRun>(form.Host())) {
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
    grid_ = std::make_unique<TRestoreGrid>(*DrawGrid1, run_->UnZipper1());
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
}

std::string TRestoreTab::JobDestinationFolder() const {
    std::string folder = form_.Session.Job.Destination.substr(0, form_.Session.Job.Destination.find('|'));
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return folder;
}

zip::TUnZipper& TRestoreTab::UnZipper1() {
    return run_->UnZipper1();
}

void TRestoreTab::FocusGrid() {
    DrawGrid1->Invalidate();
    if (form_.PageControl1->ActivePage() == form_.TabSheet4 && DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
}

void TRestoreTab::EnableArchiveActions(bool on) {
    for (gui::TMenuItem* item : {TestFile1, SelectAll1, Invertselection1, Unselctall1})
        if (item) item->SetEnabled(on);
    TestZipFile->SetEnabled(on);
    BtSelectAll->SetEnabled(on);
}

void TRestoreTab::RefreshSelection() {
    zip::TUnZipper& z = run_->UnZipper1();
    form_.StartRestore->SetEnabled(z.NumSelected() > 0);
    Label15->SetCaption(std::to_string(z.NumSelected()) + " of " + std::to_string(z.Count()) +
                        " files selected for restore.");
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
    const int count = run_->Open(file);
    // The caption names an archive only while one is open.
    form_.OpenZipName = count > 0 ? file : std::string();
    form_.UpdateCaption();
    if (count <= 0) {
        EnableArchiveActions(false);
        form_.StartRestore->SetEnabled(false);
        return;
    }
    grid_->SetUp(
        [this](int i, int n) { ProgressBar2->SetPosition(static_cast<int>((2LL * n + i) * 33 / n)); });
    EnableArchiveActions(true);
    FocusGrid();
    Label15->SetCaption(std::to_string(count) + " files in " + file);
    ProgressBar2->SetPosition(0);
}

void TRestoreTab::CloseRestoreExecute() {
    EnableArchiveActions(false);
    form_.StartRestore->SetEnabled(false);
    run_->Close();
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
    run_->UnZipper1().SetDestDir(Edit3->Text());
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
    run_->Running = running;
    if (!running) form_.EndRestoreLog();
    form_.StartRestore->SetCaption(running ? "&Cancel" : "&Start");
    // The Cancel button is always clickable.
    if (running) form_.StartRestore->SetEnabled(true);
}

bool TMF::RestoreRunning() const {
    return RestoreTab && RestoreTab->Run().Running;
}

void TRestoreTab::StartRestoreExecute() {
    if (run_->Running) {
        run_->Cancel();
        return;
    }
    job::TRestoreOptions options;
    options.DestDir = Edit3->Text();
    options.RootDir = Edit6->Text();
    options.RecreateDirs = CheckBox2->Checked();
    options.Rule = RadioButton4->Checked()   ? job::TOverwriteRule::Always
                   : RadioButton5->Checked() ? job::TOverwriteRule::IfOlder
                                             : job::TOverwriteRule::Never;
    run_->Restore(options);
    form_.StartRestore->SetEnabled(run_->UnZipper1().NumSelected() > 0);
    FocusGrid();
}

void TRestoreTab::TestFile1Click() {
    if (run_->UnZipper1().Count() == 0) return;
    run_->Verify();
    form_.StartRestore->SetEnabled(false);
}

} // namespace ui
