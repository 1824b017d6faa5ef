#include "ui/MFoRestore.h"

#include "core/Messages.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/Canvas.h"
#include "gui/CheckBox.h"
#include "gui/CompareText.h"
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

constexpr int kColumnWidths[7] = {20, 120, 140, 110, 70, 30, 70};
constexpr COLORREF kNavy = 0x800000;
constexpr COLORREF kLime = 0x00FF00;
constexpr int kPumpMs = 50;

std::string FormatThousands(uint64_t value) {
    std::string digits = std::to_string(value), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Padded(uint64_t value) {
    std::string digits = std::to_string(value);
    return std::string(digits.size() < 14 ? 14 - digits.size() : 0, '0') + digits;
}

int64_t Ratio(uint64_t compressed, uint64_t size) {
    if (size == 0) return 0;
    return 100 - static_cast<int64_t>((compressed * 100 + size / 2) / size);
}

// Above any ratio's magnitude (a 4 GiB entry from one byte), below 14 digits.
constexpr int64_t kRatioOffset = 1'000'000'000'000;

std::string Upper(std::string text) {
    if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The registry restore's view of the main window.
class TRegistryHost : public job::TRegBakHost {
  public:
    TRegistryHost(TMF& form, TRestoreTab& tab) : form_(form), tab_(tab) {}
    void ProgramLog(const std::string& text) override { form_.AddToLog(text); }
    void JobLog(const std::string& text) override { form_.AddToJobLog(text); }
    void RestoreLog(const std::string& text) override { form_.AddToRestoreLog(text); }
    void RestoreLogUnstamped(const std::string& text) override { form_.AddToRestoreLog(text, false); }
    void Status(const std::string& text) override { tab_.Label15->SetCaption(text); }
    void Progress(int position, int maximum) override {
        tab_.ProgressBar2->SetMax(maximum > 0 ? maximum : 100);
        tab_.ProgressBar2->SetPosition(position);
    }
    void ProcessMessages() override { gui::PumpIfDue(kPumpMs); }
    bool AskYesNo(const std::string& text) override { return form_.AskYesNo(text); }
    bool RestoreCancelled() override { return tab_.RestoreCancelRequested; }
    void RestoreCaption(const std::string& caption) override { form_.StartRestore->SetCaption(caption); }
    bool DetailLog() override { return form_.Flags().DetailLog; }
    core::OsVersion Os() override { return form_.Environment().os; }

  private:
    TMF& form_;
    TRestoreTab& tab_;
};

// The job's registry copy: its logs, the main status line and the job's cancel flag.
class TJobRegistryHost : public job::TRegBakHost {
  public:
    explicit TJobRegistryHost(TMF& form) : form_(form) {}
    void ProgramLog(const std::string& text) override { form_.AddToLog(text); }
    void JobLog(const std::string& text) override { form_.AddToJobLog(text); }
    void RestoreLog(const std::string& text) override { form_.AddToLog(text); }
    void Status(const std::string& text) override { form_.Label1->SetCaption(text); }
    void ProcessMessages() override { gui::PumpIfDue(kPumpMs); }
    bool AskYesNo(const std::string&) override { return false; }
    bool Cancelled() override { return form_.Cancelled; }

  private:
    TMF& form_;
};

} // namespace

TRestoreTab::TRestoreTab(TMF& form)
    : form_(form), files_(std::make_unique<zip::TWinExtractFileSystem>()),
      unzipper_(std::make_unique<zip::TUnZipper>(*files_)) {
    zip::ConnectToProgram(*unzipper_);
    Build();
    Connect();
    form_.SaveRegistryForJob = [this] {
        TJobRegistryHost host(form_);
        job::SaveRegistryForJob(host, form_.Environment().ProgramFolder());
    };
}

TRestoreTab::~TRestoreTab() {
    // The form outlives this tab by a moment: nothing of it may call back here.
    form_.SaveRegistryForJob = nullptr;
    form_.OnResize = std::move(previousResize_);
    form_.OnKeyUp = std::move(previousKeyUp_);
    form_.StartRestore->OnExecute = nullptr;
    DrawGrid1->OnDrawCell = nullptr;
    DrawGrid1->OnKeyDown = nullptr;
    DrawGrid1->OnKeyUp = nullptr;
    DrawGrid1->OnSelectCell = nullptr;
    DrawGrid1->OnMouseDown = nullptr;
    DrawGrid1->OnTopLeftChanged = nullptr;
}

void TRestoreTab::Build() {
    TMF& f = form_;
    gui::TTabSheet& page = *f.TabSheet4;
    const int width = f.ClientWidth() - 16, height = f.ClientHeight() - 80;
    const int gridHeight = height - 120;
    DrawGrid1 = &f.Create<gui::TDrawGrid>(page, "DrawGrid1", gui::TBounds{4, 4, width, gridHeight}, 7, 1, 0);
    DrawGrid1->SetDefaultRowHeight(16);
    for (int col = 0; col < 7; ++col)
        DrawGrid1->SetColWidths(col, kColumnWidths[col]);
    DrawGrid1->SetHeaderSpan(0, 2); // "Name" over the icon and the file name
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
    DrawGrid1->OnDrawCell = [this](gui::TCanvas& canvas, int col, int row, const RECT& rect,
                                   gui::TGridDrawState state) {
        DrawGrid1DrawCell(canvas, col, row, rect, state);
    };
    DrawGrid1->OnKeyDown = [this](WORD& key, gui::TShiftState shift) { DrawGrid1KeyDown(key, shift); };
    DrawGrid1->OnKeyUp = [this](WORD& key, gui::TShiftState shift) { DrawGrid1KeyUp(key, shift); };
    DrawGrid1->OnSelectCell = [this](int col, int row, bool& canSelect) {
        DrawGrid1SelectCell(col, row, canSelect);
    };
    DrawGrid1->OnMouseDown = [this](gui::TMouseButton, gui::TShiftState shift, int x, int y) {
        DrawGrid1MouseDown(shift, x, y);
    };
    DrawGrid1->OnTopLeftChanged = [this] {
        if (DrawGrid1->RowCount() < 2) DrawGrid1->Invalidate();
    };
    // Alt+M and Ctrl+A reach the tab from any of its controls.
    f.KeyPreview = true;
    // Other parts of the window may handle these too: theirs run first.
    previousResize_ = f.OnResize;
    f.OnResize = [this] {
        if (previousResize_) previousResize_();
        FormResize();
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
        form_.StartRestore->SetCaption("&Start");
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
    std::string folder = form_.Job.Destination.substr(0, form_.Job.Destination.find('|'));
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

int TRestoreTab::PathColumnWidth(int gridWidth) {
    const int rest = gridWidth - 560 - 18;
    return rest < 1 ? 140 : 140 + rest;
}

void TRestoreTab::FormResize() {
    if (DrawGrid1->ColCount() != 7) DrawGrid1->SetColCount(7);
    DrawGrid1->SetColWidths(2, PathColumnWidth(DrawGrid1->Width()));
}

void TRestoreTab::ClearGrid() {
    DrawGrid1->SetFixedRows(0);
    DrawGrid1->SetRowCount(1);
    DrawGrid1->Invalidate();
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
    ClearGrid();
    RestoreRowMap.SetSorted(false);
    RestoreRowMap.Clear();
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
    RestoreRowMap.SetSorted(false);
    RestoreRowMap.Clear();
    for (int i = 0; i < count; ++i) {
        RestoreRowMap.Add(z.Filename(i), i);
        if (i % 128 == 0) ProgressBar2->SetPosition(static_cast<int>((2LL * count + i) * 33 / count));
    }
    EnableArchiveActions(true);
    RestoreSortColumn = 1;
    DrawGrid1->SetRowCount(count + 1);
    DrawGrid1->SetFixedRows(1);
    SelectionAnchor = -1;
    RestoreRowMap.SetSorted(true);
    if (form_.PageControl1->ActivePage() == form_.TabSheet4 && DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    Label15->SetCaption(std::to_string(count) + " files in " + file);
    ProgressBar2->SetPosition(0);
    DrawGrid1->Invalidate();
}

void TRestoreTab::CloseRestoreExecute() {
    EnableArchiveActions(false);
    form_.StartRestore->SetEnabled(false);
    unzipper_->ClearZip();
    RestoreRowMap.SetSorted(false);
    RestoreRowMap.Clear();
    gui::ProcessMessages();
    Label15->SetCaption("");
    form_.OpenZipName.clear();
    form_.UpdateCaption();
    ClearGrid();
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

std::string TRestoreTab::CellText(int col, int entry) {
    zip::TUnZipper& z = *unzipper_;
    switch (col) {
    case 1:
        return z.Filename(entry) + (z.IsEncrypted(entry) ? "+" : "");
    case 2:
        return z.Pathname(entry);
    case 3: {
        SYSTEMTIME time{};
        const uint32_t dos = z.DosDateTime(entry);
        FILETIME local;
        if (!DosDateTimeToFileTime(static_cast<WORD>(dos >> 16), static_cast<WORD>(dos), &local) ||
            !FileTimeToSystemTime(&local, &time))
            return " ";
        char date[64] = "", clock[64] = "";
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date);
        GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, sizeof clock);
        return std::string(" ") + date + " " + clock;
    }
    case 4:
        return FormatThousands(z.UncompressedSize(entry));
    case 5:
        return std::to_string(Ratio(z.CompressedSize(entry), z.UncompressedSize(entry))) + "%";
    case 6:
        return FormatThousands(z.CompressedSize(entry));
    default:
        return {};
    }
}

void TRestoreTab::DrawGrid1DrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect, unsigned) {
    if (row == 0) {
        static const char* headers[7] = {"Name", "", "Path", "Modified", "Size", "Ratio", "Packed"};
        const bool sortColumn = col == RestoreSortColumn || (col == 0 && RestoreSortColumn == 1);
        canvas.Brush.Color = sortColumn ? kLime : gui::clBtnFace;
        canvas.Pen.Color = gui::clBlack;
        canvas.Font.Color = gui::clBlack;
        canvas.Rectangle(rect.left, rect.top, rect.right, rect.bottom);
        if (col == 0 || col >= 2)
            canvas.TextRect(RECT{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}, rect.left + 3,
                            rect.top + 1, headers[col]);
        return;
    }
    if (row - 1 >= RestoreRowMap.Count()) return;
    const int entry = static_cast<int>(RestoreRowMap.Objects(row - 1));
    const bool selected = unzipper_->Selected(entry);
    canvas.Brush.Color = selected ? kNavy : gui::clWindow;
    canvas.Font.Color =
        selected ? static_cast<gui::TColor>(GetSysColor(COLOR_HIGHLIGHTTEXT)) : gui::clWindowText;
    canvas.FillRect(rect);
    if (col == 0) {
        const std::string name = unzipper_->Filename(entry);
        const size_t dot = name.find_last_of('.');
        const std::string extension = name.empty()               ? "[FOLDER]"
                                      : dot == std::string::npos ? "*"
                                                                 : name.substr(dot);
        auto found = icons_.find(extension);
        if (found == icons_.end())
            found = icons_
                        .emplace(extension, gui::SystemIconIndex(name.empty() ? "[FOLDER]" : "x" + extension,
                                                                 name.empty()))
                        .first;
        canvas.DrawImage(gui::SystemSmallImages(), found->second, rect.left + 2, rect.top);
    } else {
        const std::string text = CellText(col, entry);
        const bool right = col >= 4;
        const int x = right ? rect.right - 3 - canvas.TextWidth(text) : rect.left + 2;
        canvas.TextRect(rect, x, rect.top + 1, text);
    }
    if (row == DrawGrid1->Row()) {
        canvas.Pen.Color = kNavy;
        canvas.MoveTo(rect.left, rect.top);
        canvas.LineTo(rect.right, rect.top);
        canvas.MoveTo(rect.left, rect.bottom - 1);
        canvas.LineTo(rect.right, rect.bottom - 1);
        if (col == 0) {
            canvas.MoveTo(rect.left, rect.top);
            canvas.LineTo(rect.left, rect.bottom);
        }
        if (col == 6) {
            canvas.MoveTo(rect.right - 1, rect.top);
            canvas.LineTo(rect.right - 1, rect.bottom);
        }
    }
}

bool TRestoreTab::RowSelected(int row) {
    return row >= 1 && row <= RestoreRowMap.Count() &&
           unzipper_->Selected(static_cast<int>(RestoreRowMap.Objects(row - 1)));
}

void TRestoreTab::SetRowState(int row, bool on) {
    if (row < 1 || row > RestoreRowMap.Count()) return;
    unzipper_->SetSelected(static_cast<int>(RestoreRowMap.Objects(row - 1)), on);
    DrawGrid1->InvalidateRow(row);
}

void TRestoreTab::ToggleRow(int row) {
    SetRowState(row, !RowSelected(row));
}

void TRestoreTab::ApplyClick(int row, bool shift, bool ctrl) {
    if (row < 1 || row > RestoreRowMap.Count()) return;
    const bool state = !RowSelected(row);
    if (shift && SelectionAnchor >= 1) {
        const int from = std::min(SelectionAnchor, row), to = std::max(SelectionAnchor, row);
        for (int r = from; r <= to; ++r)
            SetRowState(r, state);
    } else {
        SetRowState(row, state);
        // A Ctrl move: the row left takes the same state.
        if (ctrl && (MovedUp || MovedDown)) SetRowState(MovedUp ? row + 1 : row - 1, state);
    }
    SelectionAnchor = row;
    DrawGrid1->Invalidate();
    RefreshSelection();
}

void TRestoreTab::MoveFocus(int row) {
    DrawGrid1->SetRow(row);
    DrawGrid1->ScrollIntoView();
    DrawGrid1->Invalidate();
}

void TRestoreTab::DrawGrid1KeyDown(WORD& key, gui::TShiftState shift) {
    const int count = RestoreRowMap.Count();
    if (count < 1) return;
    ShiftDown = (shift & gui::ssShift) != 0;
    CtrlDown = (shift & gui::ssCtrl) != 0;
    MovedUp = MovedDown = false;
    const int current = std::max(1, DrawGrid1->Row());
    const int page = std::max(1, DrawGrid1->VisibleRowCount());
    auto moveTo = [&](int row, bool byShift) {
        row = std::clamp(row, 1, count);
        if (byShift) {
            if (SelectionAnchor < 1) SelectionAnchor = current;
            MoveFocus(row);
            ApplyClick(row, true, false);
        } else {
            MoveFocus(row);
        }
    };
    switch (key) {
    case VK_SPACE:
        ApplyClick(current, false, true);
        break;
    case VK_UP:
    case VK_DOWN: {
        const int row = std::clamp(current + (key == VK_UP ? -1 : 1), 1, count);
        if (row == current) break; // at the first or last row: nothing moves, nothing toggles
        if (CtrlDown && !ShiftDown) {
            MovedUp = key == VK_UP;
            MovedDown = !MovedUp;
            MoveFocus(row);
            ApplyClick(row, false, true);
            MovedUp = MovedDown = false;
        } else {
            moveTo(row, ShiftDown);
        }
        break;
    }
    case VK_PRIOR:
    case VK_NEXT: {
        const int row = current + (key == VK_PRIOR ? -page : page);
        if (CtrlDown) SelectionAnchor = current;
        moveTo(row, ShiftDown || CtrlDown);
        break;
    }
    case VK_HOME:
    case VK_END:
        moveTo(key == VK_HOME ? 1 : count, ShiftDown);
        break;
    case VK_LEFT:
    case VK_RIGHT:
        DrawGrid1->SetLeftCol(std::clamp(DrawGrid1->LeftCol() + (key == VK_LEFT ? -1 : 1), 0, 6));
        break;
    case 'A':
        if (CtrlDown) {
            for (int i = 0; i < unzipper_->Count(); ++i)
                unzipper_->SetSelected(i, !ShiftDown);
            DrawGrid1->Invalidate();
        }
        break;
    default:
        break;
    }
    key = 0;
    RefreshSelection();
}

void TRestoreTab::DrawGrid1KeyUp(WORD& key, gui::TShiftState) {
    if (key == VK_SHIFT) ShiftDown = false;
    if (key == VK_CONTROL) CtrlDown = false;
}

void TRestoreTab::DrawGrid1MouseDown(gui::TShiftState, int x, int y) {
    int col = -1, row = -1;
    if (DrawGrid1->MouseToCell(x, y, col, row) && row == 0 && DrawGrid1->FixedRows() > 0)
        DrawGrid1DblClick(col);
}

void TRestoreTab::DrawGrid1SelectCell(int, int row, bool& canSelect) {
    canSelect = true;
    if (FocusOnly) {
        FocusOnly = false;
        DrawGrid1->Invalidate();
        return;
    }
    // A click has been handled by the grid before its mouse event: the keys are read now.
    const gui::TShiftState keys = gui::KeyboardShiftState();
    ApplyClick(row, (keys & gui::ssShift) != 0, (keys & gui::ssCtrl) != 0);
}

void TRestoreTab::FillRowMap(int column) {
    zip::TUnZipper& z = *unzipper_;
    RestoreRowMap.SetSorted(false);
    RestoreRowMap.Clear();
    for (int i = 0; i < z.Count(); ++i) {
        std::string key;
        switch (column) {
        case 2:
            key = z.Pathname(i);
            break;
        case 3:
            key = Padded(z.DosDateTime(i) == 0 ? 0 : static_cast<uint64_t>(z.DateTime(i) * 86400.0));
            break;
        case 4:
            key = Padded(z.UncompressedSize(i));
            break;
        case 5:
            // Entries that grew have ratios below -100 %: the offset keeps every key positive.
            key = Padded(
                static_cast<uint64_t>(Ratio(z.CompressedSize(i), z.UncompressedSize(i)) + kRatioOffset));
            break;
        case 6:
            key = Padded(z.CompressedSize(i));
            break;
        default:
            key = z.Filename(i);
            break;
        }
        RestoreRowMap.Add(key, i);
    }
    RestoreRowMap.SetSorted(true);
}

void TRestoreTab::DrawGrid1DblClick(int col) {
    if (sorting_ || RestoreRowMap.Count() == 0) return;
    sorting_ = true;
    const zip::TCursorSeam cursor = zip::ScreenCursor();
    const zip::TZipCursor previous = cursor(zip::TZipCursor::HourGlass);
    if (col == 0) col = 1;
    if (col == RestoreSortColumn) {
        RestoreRowMap.SetSorted(false);
        RestoreRowMap.Reverse();
    } else {
        RestoreSortColumn = col;
        FillRowMap(col);
    }
    cursor(previous);
    DrawGrid1->Invalidate();
    sorting_ = false;
}

void TRestoreTab::FormKeyUp(WORD& key, gui::TShiftState shift) {
    if (form_.PageControl1->ActivePage() != form_.TabSheet4) return;
    if (key == 'M' && (shift & gui::ssAlt)) {
        DrawGrid1->SetFocus();
    } else if (key == 'A' && (shift & gui::ssCtrl) && RestoreRowMap.Count() > 0) {
        DrawGrid1->SetFocus();
        for (int i = 0; i < unzipper_->Count(); ++i)
            unzipper_->SetSelected(i, true);
    } else {
        return;
    }
    DrawGrid1->Invalidate();
    RefreshSelection();
}

void TRestoreTab::BtSelectAllClick() {
    if (DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    for (int i = 0; i < unzipper_->Count(); ++i)
        unzipper_->SetSelected(i, true);
    DrawGrid1->Invalidate();
    RefreshSelection();
}

void TRestoreTab::Unselctall1Click() {
    if (DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    unzipper_->ClearSelected();
    DrawGrid1->Invalidate();
    RefreshSelection();
}

void TRestoreTab::Invertselection1Click() {
    if (DrawGrid1->CanFocus()) DrawGrid1->SetFocus();
    for (int i = 0; i < unzipper_->Count(); ++i)
        unzipper_->SetSelected(i, !unzipper_->Selected(i));
    DrawGrid1->Invalidate();
    RefreshSelection();
}

void TRestoreTab::StartRestoreExecute() {
    if (form_.StartRestore->Caption() != "&Start") {
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
    f.StartRestore->SetCaption("&Cancel");
    f.StartRestore->SetEnabled(true);
    try {
        z.UnZipSelected();
    } catch (const std::exception& error) {
        f.AddToLog("Restore from: " + ArchiveName() + " stopped: " + error.what());
        Label15->SetCaption(error.what());
    }
    // The write-back and the staging can be cancelled too: the action stays the Cancel button.
    auto cancellable = [&f] {
        f.StartRestore->SetCaption("&Cancel");
        f.StartRestore->SetEnabled(true);
    };
    cancellable();
    TRegistryHost registryHost(f, *this);
    for (const char* name : {"RestRegi.txt", "UserRestRegi.txt"})
        if (!RestoreCancelRequested && Exists(programFolder + name)) {
            job::RestoreRegistry(registryHost, programFolder + name);
            cancellable();
        }
    if (!RebootList.empty()) ReplaceAtNextBoot();
    f.StartRestore->SetCaption("&Start");
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
    form_.StartRestore->SetCaption("&Cancel");
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
    form_.StartRestore->SetCaption("&Start");
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
