#include "ui/CatalogTab.h"

#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/Canvas.h"
#include "gui/CheckBox.h"
#include "gui/CompareText.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/FileText.h"
#include "gui/Label.h"
#include "gui/Memo.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/ProgressBar.h"
#include "gui/Prompter.h"
#include "gui/Wait.h"
#include "job/CatalogFile.h"
#include "job/FCopy2.h"
#include "job/JobArchiveTest.h"
#include "job/JobStartRules.h"
#include "ui/JobTab.h"
#include "ui/MFo.h"
#include "ui/MFoRestore.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/UnZipperWin.h"

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

namespace ui {

namespace {

constexpr int kColumnWidths[5] = {20, 120, 150, 120, 105};
constexpr const char* kColumnTitles[5] = {"Name", "Name", "Path", "Modified", "Zip File"};
constexpr gui::TColor kNavy = 0x800000;
constexpr gui::TColor kLime = 0x00FF00;
constexpr gui::TColor kWhite = 0xFFFFFF;
constexpr int kPumpMs = 50;
// Lines read between two looks at the clock for pumping and progress.
constexpr size_t kLinesPerLook = 1024;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True once per pumping interval of the clock: the time to show progress and let messages run.
bool PumpDue(int64_t& last) {
    const int64_t now = gui::CurrentClock().MonotonicMs();
    if (now - last < kPumpMs) return false;
    last = now;
    return true;
}

class TFlagGuard {
  public:
    explicit TFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~TFlagGuard() { flag_ = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

  private:
    bool& flag_;
};

// Every line of the open file to onLine, the bar following the position (in kilobytes, so
// any size fits) and messages pumped on the time budget; false when `stop` says so after a pump.
template <typename OnLine, typename Stop>
bool ReadAllLines(job::CatalogFileReader& reader, gui::TProgressBar& bar, OnLine onLine, Stop stop) {
    const auto maximum = static_cast<int>(std::min<uint64_t>(reader.Size() / 1024 + 1, INT_MAX));
    bar.SetMax(maximum);
    bar.SetPosition(0);
    size_t lines = 0;
    int64_t last = gui::CurrentClock().MonotonicMs();
    std::string_view line;
    while (reader.Next(line)) {
        onLine(line);
        if (++lines % kLinesPerLook == 0 && PumpDue(last)) {
            bar.SetPosition(static_cast<int>(std::min<uint64_t>(reader.Position() / 1024, maximum)));
            gui::ProcessMessages();
            if (stop()) return false;
        }
    }
    return true;
}

// The backup copy's name: the file name's extension (its last '.') becomes ".bak"; a folder's
// dot is no extension, and a catalogue already named ".bak" gets a second one.
std::string BackupName(const std::string& file) {
    const size_t nameStart = file.find_last_of("\\/:") + 1;
    const size_t dot = file.find_last_of('.');
    const std::string backup =
        (dot != std::string::npos && dot >= nameStart ? file.substr(0, dot) : file) + ".bak";
    return gui::SameTextI(backup, file) ? file + ".bak" : backup;
}

} // namespace

TCatalogTab::TCatalogTab(TMF& form)
    : form_(form), files_(std::make_unique<zip::TWinExtractFileSystem>()),
      unzipper2_(std::make_unique<zip::TUnZipper>(*files_)) {
    zip::ConnectToProgram(*unzipper2_);
    unzipper2_->OnTotalPercentDone = [this](zip::TUnZipper&, int percent) {
        UnZipper2TotalPercentDone(percent);
    };
    Build();
    form_.ReadCatalogs = [this] { return ReadCatalogs(); };
}

TCatalogTab::~TCatalogTab() {
    form_.ReadCatalogs = nullptr;
}

void TCatalogTab::Build() {
    gui::TTabSheet& page = *form_.TabSheetCat;
    const int pageWidth = form_.ClientWidth() - 16, pageHeight = form_.ClientHeight() - 80;
    form_.Create<gui::TLabel>(page, "Label21", gui::TBounds{4, 8, 50, 14}, "Catalog:");
    Edit8 = &form_.Create<gui::TEdit>(page, "Edit8", gui::TBounds{56, 4, 260, 21});
    SBOpenCat = &form_.Create<gui::TSpeedButton>(page, "SBOpenCat", gui::TBounds{318, 4, 23, 21}, "...");
    Label22 = &form_.Create<gui::TLabel>(page, "Label22", gui::TBounds{350, 8, 110, 14}, "Go to in, Path");
    EditCatGoTo = &form_.Create<gui::TEdit>(page, "EditCatGoTo", gui::TBounds{462, 4, 100, 21});
    SpeedButton2 =
        &form_.Create<gui::TSpeedButton>(page, "SpeedButton2", gui::TBounds{564, 4, 50, 21}, "Go to:");
    CBShowFolders =
        &form_.Create<gui::TCheckBox>(page, "CBShowFolders", gui::TBounds{56, 28, 80, 18}, "Folders");
    CBShowDuplicates =
        &form_.Create<gui::TCheckBox>(page, "CBShowDuplicates", gui::TBounds{140, 28, 90, 18}, "Duplicates");
    const int gridTop = 50, gridHeight = pageHeight - gridTop - 86;
    DrawGrid2 = &form_.Create<gui::TDrawGrid>(page, "DrawGrid2",
                                              gui::TBounds{4, gridTop, pageWidth, gridHeight}, 5, 1, 0);
    DrawGrid2->SetDefaultRowHeight(16);
    for (int col = 0; col < 5; ++col)
        DrawGrid2->SetColWidths(col, kColumnWidths[col]);
    DrawGrid2->SetHeaderSpan(0, 2);
    Memo3 = &form_.Create<gui::TMemo>(page, "Memo3",
                                      gui::TBounds{4, gridTop + gridHeight + 4, pageWidth - 120, 52});
    Memo3->SetReadOnly(true);
    Label28 = &form_.Create<gui::TLabel>(page, "Label28",
                                         gui::TBounds{4, pageHeight - 26, pageWidth - 220, 14}, "");
    ProgressBar4 = &form_.Create<gui::TProgressBar>(page, "ProgressBar4",
                                                    gui::TBounds{pageWidth - 210, pageHeight - 26, 200, 14});

    CatalogOpen = &form_.Create<gui::TAction>(form_, "CatalogOpen", "&Open Catalog file");
    CatalogOpen->OnExecute = [this] { CatalogOpenExecute(); };
    CatalogClose = &form_.Create<gui::TAction>(form_, "CatalogClose", "&Close Catalog file");
    CatalogClose->OnExecute = [this] { CatalogCloseExecute(); };
    CatalogAddZip = &form_.Create<gui::TAction>(form_, "CatalogAddZip", "&Add Zip File To Catalog");
    CatalogAddZip->OnExecute = [this] { CatalogAddZipExecute(); };
    CatalogRemoveZip =
        &form_.Create<gui::TAction>(form_, "CatalogRemoveZip", "&Remove Zip File From Catalog");
    CatalogRemoveZip->OnExecute = [this] { CatalogRemoveZipExecute(); };
    RemoveDupFromCat =
        &form_.Create<gui::TAction>(form_, "RemoveDupFromCat", "Remove &Duplicates From Catalog");
    RemoveDupFromCat->OnExecute = [this] { RemoveDupFromCatExecute(); };
    RestoreOpenZipfile = &form_.Create<gui::TAction>(form_, "RestoreOpenZipfile", "&Open Zip File");
    RestoreOpenZipfile->OnExecute = [this] { RestoreOpenZipfileExecute(); };
    Button9 = &form_.Create<gui::TButton>(
        page, "Button9", gui::TBounds{pageWidth - 110, gridTop + gridHeight + 4, 110, 25}, "&Open Zip File");
    Button9->SetAction(RestoreOpenZipfile);
    EnableCatalogActions(false);

    if (auto* menu = form_.FindOrNull<gui::TMenuItem>("Catalog1")) {
        menu->Add("OpenCatalog1", "&Open Catalog file").SetAction(CatalogOpen);
        menu->Add("CloseCatalog1", "&Close Catalog file").SetAction(CatalogClose);
        menu->Add("AddZipToCatalog1", "&Add Zip File To Catalog").SetAction(CatalogAddZip);
        menu->Add("RemoveZipFromCatalog1", "&Remove Zip File From Catalog").SetAction(CatalogRemoveZip);
        menu->Add("RemoveDuplicates1", "Remove &Duplicates From Catalog").SetAction(RemoveDupFromCat);
        menu->Add("OpenZipForRestore1", "&Open Zip File").SetAction(RestoreOpenZipfile);
    }

    // The job tab's catalogue fields, at the foot of its page.
    gui::TTabSheet& jobPage = *form_.TabSheet1;
    CBCatalog = &form_.Create<gui::TCheckBox>(jobPage, "CBCatalog", gui::TBounds{4, pageHeight - 22, 50, 18},
                                              "Cat.:");
    EditCatName =
        &form_.Create<gui::TEdit>(jobPage, "EditCatName", gui::TBounds{56, pageHeight - 24, 240, 21});
    SpButCat = &form_.Create<gui::TSpeedButton>(jobPage, "SpButCat",
                                                gui::TBounds{298, pageHeight - 24, 23, 21}, "...");
    // A running job owns its catalogue: these fields change nothing until it ends.
    EditCatName->OnChange = [this] {
        if (JobEditable()) EditCatNameChange(EditCatName->Text());
    };
    SpButCat->OnClick = [this] {
        if (JobEditable()) SpButCatClick();
    };
    CBCatalog->OnClick = [this] {
        if (JobEditable()) form_.Session.Job.CBCatalog = CBCatalog->Checked();
    };

    SBOpenCat->OnClick = [this] { SBOpenCatClick(); };
    SpeedButton2->OnClick = [this] { SpeedButton2Click(); };
    EditCatGoTo->OnKeyUp = [this](WORD& key, gui::TShiftState) {
        if (key == VK_RETURN) SpeedButton2Click();
    };
    CBShowFolders->OnClick = [this] { CBShowFoldersClick(); };
    CBShowDuplicates->OnClick = [this] { CBShowFoldersClick(); };
    CBShowDuplicates->OnKeyUp = [this](WORD& key, gui::TShiftState) {
        if (key == VK_SPACE) CBShowFoldersClick();
    };
    DrawGrid2->OnDrawCell = [this](gui::TCanvas& canvas, int col, int row, const RECT& rect, unsigned state) {
        DrawGrid2DrawCell(canvas, col, row, rect, state);
    };
    DrawGrid2->OnSelectCell = [this](int col, int row, bool& canSelect) {
        DrawGrid2SelectCell(col, row, canSelect);
    };
    DrawGrid2->OnMouseDown = [this](gui::TMouseButton, gui::TShiftState, int x, int y) {
        DrawGrid2MouseDown(x, y);
    };
    DrawGrid2->OnDblClick = [this] { DrawGrid2DblClick(); };
    DrawGrid2->OnKeyDown = [this](WORD& key, gui::TShiftState shift) { DrawGrid2KeyDown(key, shift); };
    DrawGrid2->OnKeyUp = [this](WORD& key, gui::TShiftState shift) { DrawGrid2KeyUp(key, shift); };
    DrawGrid2->OnTopLeftChanged = [this] {
        if (DrawGrid2->LeftCol() <= 1 && DrawGrid2->FixedRows() > 0) DrawGrid2->InvalidateRow(0);
    };
}

namespace {
std::string DataBase(const TMF& form) {
    return form.DataDir().empty() ? form.Environment().ProgramFolder() : form.DataDir();
}
} // namespace

std::string TCatalogTab::CatalogFolder() const {
    return DataBase(form_) + "Catalogs\\";
}

std::string CatalogChooserFolder(const core::UserFolders& folders, const std::string& programFolder) {
    return core::UserDialogFolder(folders, programFolder, "catalogs\\");
}

// The field's text is the job's: saved as typed and resolved by the job start, which takes a
// chosen path as it stands and puts a bare name into the catalogue folder.
void TCatalogTab::EditCatNameChange(const std::string& text) {
    form_.Session.Job.CatalogNames = text;
}

std::string TCatalogTab::JobCatalogNames() const {
    if (!form_.Session.Run.CatName.empty()) return form_.Session.Run.CatName;
    std::string shown;
    return job::CatalogNamesFor(DataBase(form_), form_.Flags().JobName, form_.Session.Job.CatalogNames,
                                shown);
}

void TCatalogTab::Progress(int position, int maximum) {
    ProgressBar4->SetMax(std::max(maximum, 1));
    ProgressBar4->SetPosition(position);
}

std::string TCatalogTab::ColumnTitle() const {
    return kColumnTitles[std::clamp(Rows.SortColumn(), 1, 4)];
}

void TCatalogTab::ShowPosition() {
    Label28->SetCaption("Position: " + std::to_string(std::max(DrawGrid2->Row(), 0)) + "/" +
                        std::to_string(Rows.Count()));
    Label22->SetCaption("Go to in, " + ColumnTitle());
}

// The Modified column is as wide as the locale's longest date and time needs (a 12-hour clock
// does not fit the usual 120 pixels), never narrower.
void TCatalogTab::FitDateColumn() {
    HDC dc = GetDC(DrawGrid2->Handle());
    int width = 0;
    {
        gui::TCanvas canvas(dc);
        width = canvas.TextWidth(" " + core::DateToStrFixed(core::EncodeDateTime({2028, 12, 28, 22, 58, 58}),
                                                            form_.Locale)) +
                6;
    }
    ReleaseDC(DrawGrid2->Handle(), dc);
    const int wanted = std::max(kColumnWidths[3], width);
    if (DrawGrid2->ColWidths(3) != wanted) DrawGrid2->SetColWidths(3, wanted);
}

void TCatalogTab::RefreshGrid() {
    const int count = Rows.Count();
    if (count > 0) FitDateColumn();
    DrawGrid2->SetRowCount(count + 1);
    DrawGrid2->SetFixedRows(count > 0 ? 1 : 0);
    if (count > 0 && DrawGrid2->Row() < 1) DrawGrid2->SetRow(1);
    if (!form_.Flags().Hidden) DrawGrid2->Invalidate();
}

void TCatalogTab::ReadCatalogFile(const std::string& name) {
    // A load asked for while one runs restarts it, on the file now asked for.
    loadName_ = name;
    if (CatalogReading) {
        CatalogReadRestart = true;
        return;
    }
    if (name.empty()) return;
    std::string file, error;
    {
        TFlagGuard reading(CatalogReading);
        do {
            CatalogReadRestart = false;
            file = loadName_;
            error = LoadRows(file);
        } while (CatalogReadRestart);
    }
    RequestedSortColumn = job::CatalogRows::PathColumn;
    RefreshGrid();
    Anchor = -1;
    Progress(0, 1);
    ShowPosition();
    if (!error.empty()) {
        // Never shown as an empty catalogue: the status and the log say why it is not there.
        Rows.Clear();
        RefreshGrid();
        Label28->SetCaption(error);
        form_.AddToLog(error);
    } else if (Rows.Damaged() > 0) {
        form_.AddToLog(std::to_string(Rows.Damaged()) + " damaged lines skipped in " + file);
    }
}

// One pass of a load: the rows of the file, or why they cannot be had. A restart asked for
// meanwhile ends the pass early.
std::string TCatalogTab::LoadRows(const std::string& file) {
    Rows.Clear();
    Rows.Folders = CBShowFolders->Checked();
    Rows.Duplicates = CBShowDuplicates->Checked();
    Label28->SetCaption("Reading catalog from: " + file);
    Label22->SetCaption("Go to in, Path");
    RefreshGrid();
    if (file.empty()) return {};
    job::CatalogFileReader reader(file);
    if (reader.Missing()) return {};
    if (!reader.Good()) return reader.Error();
    gui::ProcessMessages();
    if (CatalogReadRestart) return {};
    try {
        if (!ReadAllLines(
                reader, *ProgressBar4, [this](std::string_view line) { Rows.AddLine(line); },
                [this] { return CatalogReadRestart; }))
            return {};
        if (!reader.Good()) return reader.Error();
        Rows.FinishLoad();
    } catch (const std::bad_alloc&) {
        Rows.Clear();
        return "Not enough memory to show the catalog: " + file;
    }
    gui::ProcessMessages();
    return {};
}

void TCatalogTab::SortRows(int column) {
    if (Rows.Count() == 0) return;
    const int current = Rows.RowOfGridRow(DrawGrid2->Row());
    Progress(0, 1);
    Rows.SortBy(column);
    const int again = current < 0 ? 1 : Rows.GridRowOfRow(current);
    DrawGrid2->SetRow(std::max(again, 1));
    RefreshGrid();
    ShowPosition();
}

// A load asked for while Add or a rewrite ran (another catalogue chosen meanwhile) is done
// now, on the file it asked for; else `changed`, when not empty, is shown again. True when
// `changed` is what the grid shows.
bool TCatalogTab::LoadAfterWork(const std::string& changed) {
    if (std::exchange(CatalogReadRestart, false)) {
        const std::string asked = loadName_;
        ReadCatalogFile(asked);
        return gui::SameTextI(asked, changed);
    }
    if (!changed.empty()) ReadCatalogFile(changed);
    return true;
}

bool TCatalogTab::JobEditable() const {
    return !form_.JobTab || form_.JobTab->Editable();
}

bool TCatalogTab::ChooseCatalog(gui::TEdit& field) {
    gui::TFileDialogRequest request;
    request.Owner = form_.Handle();
    request.DefaultExt = "cat";
    request.Filter = "Backup catalogs|*.cat";
    request.InitialDir = CatalogChooserFolder(form_.Folders(), form_.Environment().ProgramFolder());
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted || answer.Files.empty()) return false;
    field.SetText(answer.Files[0]);
    // The grid shows the file Edit8 names, which Remove and Add work on: the job's chooser
    // names its catalogue there too.
    if (&field != Edit8) Edit8->SetText(field.Text());
    ReadCatalogFile(field.Text());
    RefreshGrid();
    return true;
}

void TCatalogTab::EnableCatalogActions(bool on) {
    for (gui::TAction* action : {RemoveDupFromCat, CatalogRemoveZip, CatalogAddZip, RestoreOpenZipfile})
        action->SetEnabled(on);
}

void TCatalogTab::SBOpenCatClick() {
    ChooseCatalog(*Edit8);
}

void TCatalogTab::SpButCatClick() {
    // Setting the field's text raises no change of its own: the chosen catalogue is the job's.
    if (ChooseCatalog(*EditCatName)) EditCatNameChange(EditCatName->Text());
}

void TCatalogTab::CatalogOpenExecute() {
    ChooseCatalog(*Edit8);
    if (!Edit8->Text().empty()) EnableCatalogActions(true);
}

void TCatalogTab::CatalogCloseExecute() {
    if (CatalogReading) return;
    Edit8->SetText("");
    EnableCatalogActions(false);
    Rows.Clear();
    SelectedCatalogZip.clear();
    RefreshGrid();
}

void TCatalogTab::CatalogAddZipExecute() {
    if (CatalogReading) return;
    if (Edit8->Text().empty()) CatalogOpenExecute();
    const std::string catalogue = Edit8->Text();
    if (catalogue.empty()) return;
    if (!job::AppendToCatalog(catalogue, "")) {
        Label28->SetCaption("Cannot open the catalog: " + catalogue);
        return;
    }
    gui::TFileDialogRequest request;
    request.Owner = form_.Handle();
    request.DefaultExt = "zip";
    request.Filter = "zip files|*.zip;*.0*";
    request.MultiSelect = true;
    if (form_.RestoreTab) request.InitialDir = form_.RestoreTab->JobDestinationFolder();
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted) return;
    {
        TFlagGuard reading(CatalogReading);
        fullReports_ = 0;
        for (const std::string& zipFile : answer.Files) {
            Rows.Clear();
            RefreshGrid();
            Label28->SetCaption("Reading content of: " + zipFile);
            gui::ProcessMessages();
            std::string lines;
            try {
                unzipper2_->SetZipName(zipFile);
                Label28->SetCaption("Writing content of: " + zipFile + " to: " + catalogue);
                Progress(0, unzipper2_->Count());
                lines = job::CatalogLinesOfZip(*unzipper2_, BaseName(zipFile));
                Progress(unzipper2_->Count(), unzipper2_->Count());
            } catch (const std::exception& error) {
                form_.AddToLog("The zip file " + zipFile +
                               " could not be read for the catalog: " + error.what());
                continue;
            }
            if (!job::AppendToCatalog(catalogue, lines))
                form_.AddToLog("Could not write to the catalog: " + catalogue);
        }
        unzipper2_->ClearZip();
    }
    Label28->SetCaption("");
    LoadAfterWork(catalogue);
}

// The restore tab's open dialog with the row's zip as the file name; the user finds its folder.
void TCatalogTab::RestoreOpenZipfileExecute() {
    if (SelectedCatalogZip.empty() || !form_.RestoreTab) return;
    form_.PageControl1->SetActivePage(form_.TabSheet4);
    if (form_.PageControl1->OnChange) form_.PageControl1->OnChange();
    gui::TFileDialogRequest request;
    request.Owner = form_.Handle();
    request.DefaultExt = "zip";
    request.Filter = "zip files|*.zip;*.0*";
    request.FileName = SelectedCatalogZip;
    request.InitialDir = form_.RestoreTab->JobDestinationFolder();
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted || answer.Files.empty()) return;
    form_.RestoreTab->OpenArchive(answer.Files[0]);
}

void TCatalogTab::UnZipper2TotalPercentDone(int percent) {
    // A reader that keeps reporting completion without end is stopped.
    if (percent >= 100 && ++fullReports_ >= 100'000) throw job::EInfiniteRun();
    if (ProgressBar4->Max() != 100) ProgressBar4->SetMax(100);
    ProgressBar4->SetPosition(percent);
    gui::PumpIfDue(kPumpMs);
}

// The copy is made and the user asked; false when either does not happen. The catalogue
// stays as it is then.
bool TCatalogTab::BackUpAndConfirm(const std::string& file, const std::string& text) {
    if (!Exists(file)) {
        Label28->SetCaption("The catalog file does not exist: " + file);
        return false;
    }
    const std::string backup = BackupName(file);
    if (!job::CopyFileThreaded(file, backup, false)) {
        Label28->SetCaption("Could not copy the catalog to: " + backup);
        return false;
    }
    return form_.ShowBox(text, gui::TMsgButtons::OKCancel, gui::TMsgIcon::Warning, 2) == gui::mrOk;
}

// Replaces the catalogue with what `write` makes of it, through a temporary file. Lines a job
// appended while `write` pumped are taken over as they are before the file is replaced (no
// message runs between that last read and the replacement); a failure leaves the file as it
// was and is told to the Catalog tab's status and the log when `shown`.
bool TCatalogTab::RewriteCatalog(
    const std::string& file, const std::function<bool(job::CatalogFileReader&, const gui::TPutBytes&)>& write,
    bool shown) {
    ++rewriting_;
    const bool written = ReplaceCatalog(file, write, shown);
    if (--rewriting_ == 0)
        for (const TLanded& landed : std::exchange(landedLater_, {}))
            RenameInCatalogs(landed);
    return written;
}

bool TCatalogTab::ReplaceCatalog(
    const std::string& file, const std::function<bool(job::CatalogFileReader&, const gui::TPutBytes&)>& write,
    bool shown) {
    std::string error;
    bool written = false;
    try {
        written = gui::ReplaceFileStreamed(file, [&](const gui::TPutBytes& put) {
            job::CatalogFileReader reader(file);
            if (!reader.Good()) {
                error = reader.Error();
                return false;
            }
            if (!write(reader, put)) {
                error = reader.Error();
                return false;
            }
            std::string_view line;
            while (reader.Next(line))
                if (!put(line) || !put("\r\n")) return false;
            if (!reader.Good()) error = reader.Error();
            return reader.Good();
        });
    } catch (const std::bad_alloc&) {
        error = "Not enough memory to rewrite the catalog: " + file;
    }
    if (written) return true;
    if (error.empty()) error = "The catalog could not be rewritten: " + file;
    if (shown) Label28->SetCaption(error);
    form_.AddToLog(error);
    return false;
}

void TCatalogTab::CatalogRemoveZipExecute() {
    const std::string catalogue = Edit8->Text();
    if (CatalogReading || catalogue.empty() || SelectedCatalogZip.empty()) return;
    bool rewritten = false;
    {
        TFlagGuard reading(CatalogReading);
        Progress(0, Rows.Count());
        const std::string text = "Removing: " + SelectedCatalogZip + " from catalog: " + catalogue;
        Label28->SetCaption(text);
        if (BackUpAndConfirm(catalogue, text)) {
            const job::CatalogZipFilter filter(SelectedCatalogZip);
            rewritten =
                RewriteCatalog(catalogue, [&](job::CatalogFileReader& reader, const gui::TPutBytes& put) {
                    bool ok = true;
                    ReadAllLines(
                        reader, *ProgressBar4,
                        [&](std::string_view line) {
                            if (ok && filter.Keeps(line)) ok = put(line) && put("\r\n");
                        },
                        [] { return false; });
                    return ok;
                });
        }
        if (rewritten) {
            Label28->SetCaption("");
            Progress(0, 1);
        }
    }
    LoadAfterWork(rewritten ? catalogue : std::string());
}

void TCatalogTab::RemoveDupFromCatExecute() {
    RemoveCatalogDuplicates();
}

void TCatalogTab::RemoveCatalogDuplicates() {
    const std::string catalogue = Edit8->Text();
    if (CatalogReading || catalogue.empty()) return;
    bool confirmed = false;
    std::string failure;
    {
        TFlagGuard reading(CatalogReading);
        Progress(0, Rows.Count());
        const std::string text = "Removing duplicates:  from catalog:  " + catalogue;
        Label28->SetCaption(text);
        confirmed = BackUpAndConfirm(catalogue, text);
        if (confirmed) failure = RewriteWithoutDuplicates(catalogue);
    }
    // The rows were rebuilt for the rewrite: the grid shows the file again either way.
    if (LoadAfterWork(confirmed ? catalogue : std::string()) && !failure.empty())
        Label28->SetCaption(failure);
}

// The rows rebuilt from the file by the load's rules, then written in row order; what went
// wrong, or nothing.
std::string TCatalogTab::RewriteWithoutDuplicates(const std::string& catalogue) {
    int damaged = 0;
    const bool rewritten =
        RewriteCatalog(catalogue, [&](job::CatalogFileReader& reader, const gui::TPutBytes& put) {
            Rows.Clear();
            RefreshGrid();
            Rows.Folders = CBShowFolders->Checked();
            Rows.Duplicates = false;
            ReadAllLines(
                reader, *ProgressBar4, [this](std::string_view line) { Rows.AddLine(line); },
                [] { return false; });
            if (!reader.Good()) return false;
            damaged = Rows.Damaged();
            Progress(0, Rows.Count());
            int64_t last = gui::CurrentClock().MonotonicMs();
            std::string line;
            for (int row = 0; row < Rows.Count(); ++row) {
                line.clear();
                Rows.AppendLine(row, line);
                if (!put(line)) return false;
                if ((row + 1) % static_cast<int>(kLinesPerLook) == 0 && PumpDue(last)) {
                    ProgressBar4->SetPosition(row + 1);
                    gui::ProcessMessages();
                }
            }
            return true;
        });
    if (!rewritten) return Label28->Caption();
    if (damaged > 0) form_.AddToLog(std::to_string(damaged) + " damaged lines skipped in " + catalogue);
    return {};
}

TCatalogTab::CellLook TCatalogTab::CellLookOf(int col, int row) const {
    if (row == 0) {
        const int sort = Rows.SortColumn();
        const bool sortColumn = col == sort || (col <= 1 && sort == 1);
        return {sortColumn ? kLime : gui::clBtnFace, gui::clBlack, kColumnTitles[std::clamp(col, 0, 4)]};
    }
    const int entry = Rows.RowOfGridRow(row);
    if (entry < 0) return {kWhite, gui::clWindowText, ""};
    const bool selected = Rows.Selected(entry);
    return {selected ? kNavy : kWhite,
            selected ? static_cast<gui::TColor>(GetSysColor(COLOR_HIGHLIGHTTEXT)) : gui::clWindowText,
            col == 0 ? "" : Rows.CellText(col, entry, form_.Locale)};
}

void TCatalogTab::DrawGrid2DrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect, unsigned) {
    const CellLook look = CellLookOf(col, row);
    if (row == 0 && DrawGrid2->FixedRows() > 0) {
        // Columns 0 and 1 share one header cell titled "Name": the grid draws it once.
        const RECT cell = rect;
        canvas.Brush.Color = look.Brush;
        canvas.Pen.Color = gui::clBlack;
        canvas.Font.Color = look.Font;
        canvas.Rectangle(cell.left, cell.top, cell.right, cell.bottom);
        canvas.TextRect(RECT{cell.left + 1, cell.top + 1, cell.right - 1, cell.bottom - 1}, cell.left + 3,
                        cell.top + 2, look.Text);
        return;
    }
    canvas.Brush.Color = look.Brush;
    canvas.Font.Color = look.Font;
    canvas.FillRect(rect);
    const int entry = Rows.RowOfGridRow(row);
    if (entry < 0) return;
    if (col == 0) {
        const bool folder = Rows.Name(entry).empty();
        canvas.DrawImage(gui::SystemSmallImages(), gui::SmallIconIndex(Rows.Name(entry), folder),
                         rect.left + 2, rect.top);
    } else {
        canvas.TextRect(rect, rect.left + 2, rect.top + 1, look.Text);
    }
    if (row == DrawGrid2->Row()) {
        canvas.Pen.Color = kNavy;
        canvas.FrameRowCell(rect, col == 0, col == 4);
    }
}

void TCatalogTab::ApplySelection(int gridRow, bool shift, bool ctrl) {
    const int entry = Rows.RowOfGridRow(gridRow);
    if (entry < 0) return;
    if (ctrl) {
        Rows.SetSelected(entry, !Rows.Selected(entry));
    } else if (shift && Anchor >= 1) {
        // Every row from the anchor to this one takes the state opposite to this row's.
        const bool state = !Rows.Selected(entry);
        for (int r = std::min(Anchor, gridRow); r <= std::max(Anchor, gridRow); ++r) {
            const int other = Rows.RowOfGridRow(r);
            if (other >= 0) Rows.SetSelected(other, state);
        }
    }
    Anchor = gridRow;
    DrawGrid2->Invalidate();
}

void TCatalogTab::DrawGrid2SelectCell(int, int row, bool& canSelect) {
    canSelect = true;
    // A click's own Ctrl and Shift, whatever keys the grid saw before it.
    if (const std::optional<gui::TShiftState> press = DrawGrid2->PressShiftState()) {
        ShiftDown = (*press & gui::ssShift) != 0;
        CtrlDown = (*press & gui::ssCtrl) != 0;
    }
    const int entry = Rows.RowOfGridRow(row);
    if (entry < 0) return;
    Memo3->SetText(Rows.Path(entry) + Rows.Name(entry));
    SelectedCatalogZip = Rows.Zip(entry);
    ApplySelection(row, ShiftDown, CtrlDown);
}

void TCatalogTab::DrawGrid2MouseDown(int x, int y) {
    int col = -1, row = -1;
    if (!DrawGrid2->MouseToCell(x, y, col, row)) return;
    RequestedSortColumn = std::max(col, 1);
    MouseRow = row;
    if (row == 0) DrawGrid2DblClick();
    ShowPosition();
}

// On the header it sorts by the clicked column; on a data row it opens that row's zip, whichever
// column was clicked.
void TCatalogTab::DrawGrid2DblClick() {
    if (CatalogReading) return;
    if (MouseRow == 0) {
        if (RequestedSortColumn == Rows.SortColumn()) return;
        TFlagGuard reading(CatalogReading);
        SortRows(RequestedSortColumn);
        return;
    }
    if (DrawGrid2->Row() >= 1 && RestoreOpenZipfile->Enabled()) RestoreOpenZipfile->Execute();
}

void TCatalogTab::MoveTo(int gridRow, bool shift) {
    const int previous = std::max(DrawGrid2->Row(), 1);
    gridRow = std::clamp(gridRow, 1, Rows.Count());
    DrawGrid2->SetRow(gridRow);
    if (gridRow < DrawGrid2->TopRow()) DrawGrid2->SetTopRow(gridRow);
    if (gridRow >= DrawGrid2->TopRow() + DrawGrid2->VisibleRowCount())
        DrawGrid2->SetTopRow(std::max(1, gridRow - DrawGrid2->VisibleRowCount() + 1));
    if (shift) {
        if (Anchor < 1) Anchor = previous;
        ApplySelection(gridRow, true, false);
    }
    const int entry = Rows.RowOfGridRow(gridRow);
    if (entry >= 0) {
        Memo3->SetText(Rows.Path(entry) + Rows.Name(entry));
        SelectedCatalogZip = Rows.Zip(entry);
    }
    DrawGrid2->Invalidate();
}

void TCatalogTab::DrawGrid2KeyDown(WORD& key, gui::TShiftState shift) {
    if (CatalogReading || Rows.Count() < 1) return;
    ShiftDown = (shift & gui::ssShift) != 0;
    CtrlDown = (shift & gui::ssCtrl) != 0;
    const int current = std::max(DrawGrid2->Row(), 1);
    const int page = std::max(DrawGrid2->VisibleRowCount(), 1);
    switch (key) {
    case VK_PRIOR:
        MoveTo(current - page, ShiftDown);
        break;
    case VK_NEXT:
        MoveTo(current + page, ShiftDown);
        break;
    case VK_HOME:
        MoveTo(1, ShiftDown);
        break;
    case VK_END:
        MoveTo(Rows.Count(), ShiftDown);
        break;
    case VK_UP:
        MoveTo(current - 1, ShiftDown);
        break;
    case VK_DOWN:
        MoveTo(current + 1, ShiftDown);
        break;
    case VK_LEFT:
    case VK_RIGHT: {
        const int columns = DrawGrid2->ColCount();
        const int left = (DrawGrid2->LeftCol() + (key == VK_LEFT ? columns - 1 : 1)) % columns;
        DrawGrid2->SetLeftCol(left);
        DrawGrid2->SetCol(left);
        break;
    }
    case VK_SPACE:
        DrawGrid2->SetCol(DrawGrid2->Col() == DrawGrid2->LeftCol()
                              ? std::min(DrawGrid2->Col() + 1, DrawGrid2->ColCount() - 1)
                              : std::max(DrawGrid2->Col() - 1, 0));
        break;
    default:
        return;
    }
    key = 0;
    ShowPosition();
}

void TCatalogTab::DrawGrid2KeyUp(WORD& key, gui::TShiftState) {
    if (key == VK_SHIFT) ShiftDown = false;
    if (key == VK_CONTROL) CtrlDown = false;
}

void TCatalogTab::SpeedButton2Click() {
    const std::optional<int> found = Rows.GoTo(EditCatGoTo->Text(), form_.Locale);
    if (!found) return;
    MoveTo(*found, false);
    DrawGrid2->SetFocus();
    ShowPosition();
}

void TCatalogTab::CBShowFoldersClick() {
    ReadCatalogFile(Edit8->Text());
}

bool TCatalogTab::ReadCatalogs() {
    form_.Session.Run.CatalogList.Clear();
    form_.Session.Run.CatZipList.clear();
    CatZipList.Clear();
    const std::string names = JobCatalogNames();
    const std::string own = job::CatalogNaming::OwnCatalog(names);
    job::JobCatalogReader reader(form_.Session.Run.CatalogList, CatZipList);
    // False, logged, when the file is there but cannot be read whole: the job must not take
    // it for an empty catalogue.
    auto readFile = [&](const std::string& file, const std::string& status, bool ownCatalogue) {
        job::CatalogFileReader lines(file);
        if (lines.Missing()) return true;
        if (lines.Good()) {
            form_.Label1->SetCaption(status + file);
            const int damagedBefore = reader.Damaged;
            try {
                ReadAllLines(
                    lines, *form_.ProgressBar1,
                    [&](std::string_view line) {
                        if (ownCatalogue)
                            reader.OwnLine(line);
                        else
                            reader.ZipNameLine(line);
                    },
                    [] { return false; });
            } catch (const std::bad_alloc&) {
                form_.AddToLog("Not enough memory to read the catalog: " + file);
                return false;
            }
            if (reader.Damaged > damagedBefore)
                form_.AddToLog(std::to_string(reader.Damaged - damagedBefore) + " damaged lines skipped in " +
                               file);
        }
        if (lines.Good()) return true;
        form_.AddToLog(lines.Error());
        return false;
    };
    bool read = true;
    for (const std::string& file : job::CatalogNaming::NameList(names, CatalogFolder()))
        if (read && !gui::SameTextI(file, own)) read = readFile(file, "Reading filenames from: ", false);
    if (read && !own.empty()) read = readFile(own, "Reading catalog from: ", true);
    if (!read) {
        form_.Session.Run.CatalogList.Clear();
        CatZipList.Clear();
        return false;
    }
    reader.Finish();
    form_.Session.Run.CatZipList = CatZipList.Sorted();
    return true;
}

// The zip's entries as catalogue lines; empty, logged, when it cannot be read.
std::string TCatalogTab::LinesOfZip(const std::string& zipPath) {
    if (!Exists(zipPath)) return {};
    try {
        zip::TUnZipper reader(*files_);
        reader.SetZipName(zipPath);
        return job::CatalogLinesOfZip(reader, BaseName(zipPath));
    } catch (const std::exception& error) {
        form_.AddToLog("The zip file " + zipPath + " could not be read for the catalog: " + error.what());
        return {};
    }
}

void TCatalogTab::AppendToTargets(const std::vector<std::string>& targets, const std::string& lines) {
    for (const std::string& target : targets)
        if (!job::AppendToCatalog(target, lines)) form_.AddToLog("Could not write to the catalog: " + target);
}

void TCatalogTab::AddZipToCatalog(const std::string& zipPath) {
    AppendToTargets(job::CatalogNaming::AppendTargets(JobCatalogNames(), CatalogFolder()),
                    LinesOfZip(zipPath));
}

// A job can run inside the pump of the tab's Remove zip or Remove duplicates: a rewrite of the
// same file then would be overwritten by the outer one's, and the landed zip's lines would go
// into the file it replaces. The change waits for the outer rewrite, with the targets and
// lines of now.
void TCatalogTab::ZipLanded(const std::string& builtZip, const std::string& landedZip) {
    TLanded landed{job::CatalogNaming::AppendTargets(JobCatalogNames(), CatalogFolder()), BaseName(builtZip),
                   LinesOfZip(landedZip)};
    if (rewriting_ > 0)
        landedLater_.push_back(std::move(landed));
    else
        RenameInCatalogs(landed);
}

// The lines of a volume the job did not write go; a rewrite under way first ends, as for a
// landed one.
void TCatalogTab::ZipNotWritten(const std::string& builtZip) {
    TLanded gone{
        job::CatalogNaming::AppendTargets(JobCatalogNames(), CatalogFolder()), BaseName(builtZip), {}};
    if (rewriting_ > 0)
        landedLater_.push_back(std::move(gone));
    else
        RenameInCatalogs(gone);
}

void TCatalogTab::RenameInCatalogs(const TLanded& landed) {
    const job::CatalogZipFilter filter(landed.BuiltName);
    for (const std::string& target : landed.Targets) {
        if (job::CatalogFileReader(target).Missing()) continue;
        RewriteCatalog(
            target,
            [&](job::CatalogFileReader& reader, const gui::TPutBytes& put) {
                std::string_view line;
                while (reader.Next(line))
                    if (filter.Keeps(line) && (!put(line) || !put("\r\n"))) return false;
                return true;
            },
            false);
    }
    if (!landed.Lines.empty()) AppendToTargets(landed.Targets, landed.Lines);
}

} // namespace ui
