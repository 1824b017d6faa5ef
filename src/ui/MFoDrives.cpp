// The drives tab: the drives the disc library found, the write speeds the chosen drive takes,
// what it reads and writes (cached in the program-folder settings file per drive), both
// erases, eject, and the disc side's settings. The transport is loaded for each action and
// unloaded after it; no action starts while a write, an erase or a burn runs.
#include "core/DateText.h"
#include "core/FuncMin.h"
#include "core/Settings.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/Canvas.h"
#include "gui/CheckBox.h"
#include "gui/ComboBox.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/Memo.h"
#include "gui/PageControl.h"
#include "gui/Prompter.h"
#include "gui/Screen.h"
#include "gui/Wait.h"
#include "ui/DriveDetector.h"
#include "ui/MFo.h"
#include "ui/MFoDiscs.h"
#include "ui/SmallDialogs.h"

#include <cctype>

namespace ui {

namespace {
constexpr char readingProperties[] = "Reading properties";
constexpr char slowDrives[] =
    "Some CD/DVD devices are responding very slow if they are empty, you may try to "
    "place a CD/DVD in your drive to speed up the process";
constexpr int capabilityBits = 19;

struct GridRow {
    const char* readText;
    int readBit;
    const char* writeText;
    int writeBit;
};
constexpr GridRow capabilityRows[] = {
    {"Read CDR", 0, "Write CDR", 9},
    {"Read CDRW", 1, "Write CDRW", 10},
    {"Read DVD", 3, "", -1},
    {"Read DVD-R", 4, "Write DVD-R", 12},
    {"Read DVD-RW", 5, "Write DVD-RW", 13},
    {"Read DVD+R", 7, "Write DVD+R", 15},
    {"Read DVD+RW", 8, "Write DVD+RW", 16},
    {"Read DVD-RAM", 6, "Write DVD-RAM", 14},
};

bool WholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])) &&
            !(i == 0 && text[i] == '-' && text.size() > 1))
            return false;
    return true;
}

// The drive as the speed rules use it: every request goes to the frame's component in use now.
class BurnerSpeed final : public job::SpeedDrive {
  public:
    explicit BurnerSpeed(TDiscTab& tab) : tab_(tab) {}
    int MaxWriteSpeed() override { return tab_.Burner1()->GetMaxWriteSpeed(); }
    void SetWriteSpeed(int speed) override {
        tab_.Burner1()->SetWriteSpeed(static_cast<uint16_t>(speed < 0 ? 0 : speed > 65535 ? 65535 : speed));
    }
    int WriteSpeed() override { return tab_.Burner1()->WriteSpeed(); }
    int CurrentWriteSpeed() override { return tab_.Burner1()->GetCurrentWriteSpeed(); }

  private:
    TDiscTab& tab_;
};
} // namespace

TDiscTab::TDiscTab(TMF& form, std::unique_ptr<TFrameCDB> frame) : form_(form) {
    if (frame) {
        reports_ = frame->Reports();
        frame_ = std::move(frame);
    } else {
        reports_ = std::make_shared<FrameReports>();
        reports_->MainWindow = [&form] { return form.Handle(); };
        frame_ = MakeFrame(reports_);
    }
    reports_->OnDebugLine = [this](const std::string& line, bool toProgramLog) {
        form_.Memo1->AddLine(line);
        if (toProgramLog) form_.AddToLog(line);
    };
    LastGoodSpeed = form_.CreationSettings().lastGoodSpeed;
    Build();
    form_.OnWriteDone = [this](bool failed) { WMWriteDone(failed); };
    form_.OnEraseDone = [this](bool failed) { WMEraseDone(failed); };
    form_.OnBurnStatusTick = [this] { UpdateBurnStatus(); };
    form_.OnDiscBusy = [this] { return Busy(); };
    form_.OnShowDriveSpeeds = [this] { ShowDriveSpeeds(); };
}

TDiscTab::~TDiscTab() {
    reports_->OnDebugLine = nullptr;
    form_.OnWriteDone = nullptr;
    form_.OnEraseDone = nullptr;
    form_.OnBurnStatusTick = nullptr;
    form_.OnDiscBusy = nullptr;
    form_.OnShowDriveSpeeds = nullptr;
    frame_.reset();
}

void TDiscTab::Build() {
    gui::TTabSheet& page = *form_.TabSheet5;
    const core::FormCreationSettings& settings = form_.CreationSettings();
    cbDrives = &form_.Create<gui::TComboBox>(page, "cbDrives", gui::TBounds{8, 8, 300, 21});
    cbSpeed = &form_.Create<gui::TComboBox>(page, "cbSpeed", gui::TBounds{8, 36, 180, 21});
    Label21 = &form_.Create<gui::TLabel>(page, "Label21", gui::TBounds{196, 40, 200, 16}, "Write speed");
    MaxPrefSpeed = &form_.Create<gui::TEdit>(page, "MaxPrefSpeed", gui::TBounds{8, 64, 40, 21},
                                             settings.maxPreferedSpeed);
    Label8 = &form_.Create<gui::TLabel>(page, "Label8", gui::TBounds{320, 8, 200, 16}, "");
    Label20 = &form_.Create<gui::TLabel>(page, "Label20", gui::TBounds{320, 26, 200, 16}, "");
    // Both grids are 4 x 8; the second has marks in its first row only and is sized to show it.
    DGDevprob = &form_.Create<gui::TDrawGrid>(page, "DGDevprob", gui::TBounds{8, 92, 284, 172}, 4, 8, 0);
    DGDevProbUW = &form_.Create<gui::TDrawGrid>(page, "DGDevProbUW", gui::TBounds{300, 92, 250, 42}, 4, 8, 0);
    Button6 = &form_.Create<gui::TButton>(page, "Button6", gui::TBounds{8, 272, 100, 25}, "Quick Erase");
    Button7 = &form_.Create<gui::TButton>(page, "Button7", gui::TBounds{112, 270, 100, 25}, "Complete Erase");
    Button10 = &form_.Create<gui::TButton>(page, "Button10", gui::TBounds{216, 270, 80, 25}, "Eject");
    btBurnFileToCD = &form_.Create<gui::TButton>(page, "btBurnFileToCD", gui::TBounds{300, 270, 120, 25},
                                                 "Burn file to disc");
    EditRestSpace = &form_.Create<gui::TEdit>(page, "EditRestSpace", gui::TBounds{300, 150, 60, 21},
                                              std::to_string(settings.restSpaceOnCD));
    CBinternalAspi = &form_.Create<gui::TCheckBox>(page, "CBinternalAspi", gui::TBounds{300, 178, 230, 17},
                                                   "Use internal ASPI driver.");
    cbDoNotOpenCD = &form_.Create<gui::TCheckBox>(page, "cbDoNotOpenCD", gui::TBounds{300, 198, 260, 17},
                                                  "Do not open drive when burning is finished.");
    CBLeaveCDopen = &form_.Create<gui::TCheckBox>(page, "CBLeaveCDopen", gui::TBounds{300, 218, 260, 17},
                                                  "Leave drive open");
    EditTempPath = &form_.Create<gui::TEdit>(page, "EditTempPath", gui::TBounds{8, 300, 300, 21},
                                             form_.Flags().TempPath);
    SpeedButton3 =
        &form_.Create<gui::TSpeedButton>(page, "SpeedButton3", gui::TBounds{312, 300, 23, 21}, "...");
    SelectTmpFolder = &form_.Create<gui::TAction>(form_, "SelectTmpFolder", "Select Tmp Folder");
    CheckBox11 =
        &form_.Create<gui::TCheckBox>(page, "CheckBox11", gui::TBounds{344, 302, 160, 17}, "Use temp file");
    CheckBox11->SetChecked(settings.useTempFile);
    CBinternalAspi->SetChecked(settings.useInternalASPI);
    cbDoNotOpenCD->SetChecked(settings.doNotOpenDrive);
    CBLeaveCDopen->SetChecked(settings.leaveDriveOpen);

    cbDrives->OnChange = [this] { cbDrivesChange(); };
    cbSpeed->OnDropDown = [this] { cbSpeedDropDown(); };
    MaxPrefSpeed->OnChange = [this] { MaxPrefSpeedChange(); };
    EditRestSpace->OnExit = [this] { EditRestSpaceExit(); };
    EditTempPath->OnExit = [this] { EditTempPathExit(); };
    EditTempPath->OnKeyPress = [this](char& key) {
        if (key == '\r') EditTempPathExit();
    };
    SelectTmpFolder->OnExecute = [this] { SelectTmpFolderExecute(); };
    SpeedButton3->OnClick = [this] { SelectTmpFolder->Execute(); };
    CheckBox11->OnClick = [this] { CheckBox11Click(); };
    CBinternalAspi->OnClick = [this] { CBinternalAspiClick(); };
    cbDoNotOpenCD->OnClick = [this] { form_.Creation().doNotOpenDrive = cbDoNotOpenCD->Checked(); };
    CBLeaveCDopen->OnClick = [this] { form_.Creation().leaveDriveOpen = CBLeaveCDopen->Checked(); };
    Button6->OnClick = [this] { Button6Click(); };
    Button7->OnClick = [this] { Button7Click(); };
    Button10->OnClick = [this] { Button10Click(); };
    btBurnFileToCD->OnClick = [this] { btBurnFileToCDClick(); };
    DGDevprob->OnDrawCell = [this](gui::TCanvas& canvas, int col, int row, const RECT& rect, auto) {
        DGDevprobDrawCell(canvas, col, row, rect);
    };
    DGDevProbUW->OnDrawCell = [this](gui::TCanvas& canvas, int col, int row, const RECT& rect, auto) {
        DGDevProbUWDrawCell(canvas, col, row, rect);
    };
}

bool TDiscTab::Busy() {
    return Writing || DiscBusy || BurnActive || frame_->Burner1.Erasing || frame_->Burner1.Writing();
}

bool TDiscTab::JobBusy() const {
    return form_.Session.Running();
}

// Marks the job as starting, which keeps a job and the schedule from starting meanwhile; only
// a mark made here is taken back.
void TDiscTab::SetJobBusy(bool busy) {
    job::JobSession& session = form_.Session;
    if (busy && session.State == job::JobState::Idle) {
        session.State = job::JobState::Starting;
        markedBusy_ = true;
    } else if (!busy && markedBusy_) {
        if (session.State == job::JobState::Starting) session.State = job::JobState::Idle;
        markedBusy_ = false;
    }
}

bool TDiscTab::OnlyOwnMark() const {
    return markedBusy_ && form_.Session.State == job::JobState::Starting;
}

// The window's actions, and the start (Button3's action) and eject with them: no job starts
// and no tray opens under a write or an erase.
void TDiscTab::SetActionsEnabled(bool enabled) {
    if (enabled)
        form_.EnableActions();
    else
        form_.DisableActions();
    form_.Startbackup->SetEnabled(enabled);
    Button10->SetEnabled(enabled);
}

std::string TDiscTab::DriverPath() const {
    const std::string beside = form_.Environment().ProgramFolder() + "WNASPI32.DLL";
    return GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES ? beside : std::string();
}

bool TDiscTab::InitTransport() {
    BurnerUse burner = Burner1();
    if (burner->ASPIInitialized()) return true;
    const std::string device = burner->DeviceId;
    burner->DoDebug = false;
    const bool loaded = burner->InitASPI(CBinternalAspi->Checked(), DriverPath());
    burner->DoDebug = true;
    if (loaded && !device.empty()) burner->SetDeviceID(device);
    return loaded;
}

// A transport under a running write or erase would pull the drive from under its thread.
void TDiscTab::ReleaseTransport() {
    BurnerUse burner = Burner1();
    if (burner->Writing() || burner->Erasing) return;
    burner->DoDebug = false;
    burner->DoneASPI();
    burner->DoDebug = true;
}

void TDiscTab::SelectShownDrive() {
    const int index = cbDrives->ItemIndex();
    if (index >= 0 && cbDrives->Items().Strings(index) != Burner1()->DeviceId)
        Burner1()->SetDeviceID(cbDrives->Items().Strings(index));
}

void TDiscTab::Status(const std::string& text) {
    form_.Label1->SetCaption(text);
}

int TDiscTab::Box(const std::string& text, bool okCancel) {
    return form_.ShowBox(text, okCancel ? gui::TMsgButtons::OKCancel : gui::TMsgButtons::OK,
                         gui::TMsgIcon::Stop, okCancel ? 2 : 1);
}

void TDiscTab::cbDrivesChange() {
    if (cbDrives->Items().Count() == 0 || !cbDrives->Enabled() || readingDevices_ || Busy()) return;
    const int index = cbDrives->ItemIndex();
    if (index < 0) return;
    const std::string entry = cbDrives->Items().Strings(index);
    gui::TCursorScope hourglass;
    const bool hidden = form_.Flags().Hidden;
    auto showStatus = [&] {
        if (!hidden)
            form_.AppMsg1->ShowMsg("Tarnwick",
                                   std::string(readingProperties) + " - " + entry + "\r" + slowDrives, false);
    };
    showStatus();
    readingDevices_ = true;
    struct End {
        TDiscTab& tab;
        bool hidden;
        ~End() {
            if (!hidden) tab.form_.AppMsg1->ShowMsg("", "", false);
            tab.readingDevices_ = false;
        }
    } end{*this, hidden};
    gui::ProcessMessages();
    InitTransport();
    if (entry != Burner1()->DeviceId) {
        Burner1()->SetDeviceID(entry);
        cbSpeed->Items().Clear();
        cbSpeed->Items().Add("");
        if (Burner1()->TestUnitReady(5000)) {
            const bool dvd = Burner1()->GetMediaType() >= 4;
            BurnerSpeed drive(*this);
            for (const std::string& speed : job::ProbeSpeedEntries(drive, dvd, dvd ? job::DvdMultiple : 176))
                cbSpeed->Items().Add(speed);
        }
        gui::TIniFile& ini = form_.ProgramIni();
        showStatus();
        Burner1()->SetDeviceID(entry);
        gui::Wait(500, false);
        const uint32_t caps = Burner1()->CapabilitySet;
        if (form_.DeviceCapabilities.size() <= static_cast<size_t>(index))
            form_.DeviceCapabilities.resize(static_cast<size_t>(index) + 1, 0);
        form_.DeviceCapabilities[static_cast<size_t>(index)] = caps;
        ini.WriteString(core::ini::Devices, std::to_string(index),
                        entry + core::GetFileVersionString(form_.Environment().programPath));
        const std::string section = core::ini::DeviceCapPrefix + std::to_string(index);
        for (int bit = 0; bit < capabilityBits; ++bit)
            ini.WriteBool(section, std::to_string(bit), (caps >> bit) & 1u);
        const char letter =
            static_cast<char>(std::toupper(static_cast<unsigned char>(Burner1()->GetDriveLetter())));
        if (letter >= 'A' && letter <= 'Z') {
            std::string& writers = form_.CDDriveList;
            std::string& readers = form_.ReadonlyDriveList;
            const bool writer = (caps & WriterCapabilityBits) != 0;
            std::string& into = writer ? writers : readers;
            std::string& outOf = writer ? readers : writers;
            if (into.find(letter) == std::string::npos) into += letter;
            if (const size_t at = outOf.find(letter); at != std::string::npos) outOf.erase(at, 1);
        }
    }
    form_.SelectedDrive = index;
    if (static_cast<size_t>(index) < form_.DeviceCapabilities.size())
        CurDeviceCaps = form_.DeviceCapabilities[static_cast<size_t>(index)];
    ShowDriveSpeeds();
    ReleaseTransport();
}

void TDiscTab::ShowDriveSpeeds() {
    // The drive list follows what the start-up found.
    std::vector<std::string> shown;
    for (int i = 0; i < cbDrives->Items().Count(); ++i)
        shown.push_back(cbDrives->Items().Strings(i));
    if (shown != form_.DeviceNames) {
        cbDrives->Items().Clear();
        for (const std::string& name : form_.DeviceNames)
            cbDrives->Items().Add(name);
        if (!form_.DeviceNames.empty())
            cbDrives->SetItemIndex(form_.SelectedDrive < 0 ? 0 : form_.SelectedDrive);
    }
    if (form_.SelectedDrive >= 0 &&
        static_cast<size_t>(form_.SelectedDrive) < form_.DeviceCapabilities.size())
        CurDeviceCaps = form_.DeviceCapabilities[static_cast<size_t>(form_.SelectedDrive)];
    const int widths[] = {100, 40, 100, 20}, narrow[] = {100, 40, 70, 17};
    for (int col = 0; col < 4; ++col) {
        DGDevprob->SetColWidths(col, widths[col]);
        DGDevProbUW->SetColWidths(col, narrow[col]);
    }
    disc::TDiscBurner& burner = frame_->Burner1;
    const char separator = form_.Locale.decimalSeparator;
    Label8->SetCaption("Max Write Speed: " +
                       core::SpeedText(burner.DeviceMaxWriteSpeed, disc::LastMediaType, separator).text);
    Label20->SetCaption("Max Read Speed: " +
                        core::SpeedText(burner.DeviceMaxReadSpeed, disc::LastMediaType, separator).text);
    DGDevprob->Invalidate();
    DGDevProbUW->Invalidate();
}

void TDiscTab::DGDevprobDrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect) {
    if (row < 0 || row >= 8) return;
    const GridRow& line = capabilityRows[row];
    canvas.Brush.Color = gui::SystemColor(COLOR_BTNFACE);
    canvas.Font.Color = gui::clWindowText;
    const int bit = col == 1 ? line.readBit : col == 3 ? line.writeBit : -1;
    canvas.TextRect(rect, rect.left + 2, rect.top + 1,
                    col == 0   ? line.readText
                    : col == 2 ? line.writeText
                               : "");
    DrawMark(canvas, bit, rect);
}

void TDiscTab::DGDevProbUWDrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect) {
    canvas.Brush.Color = gui::SystemColor(COLOR_BTNFACE);
    canvas.Font.Color = gui::clWindowText;
    const bool first = row == 0;
    canvas.TextRect(rect, rect.left + 2, rect.top + 1,
                    first && col == 0   ? "Underrun Protection"
                    : first && col == 2 ? "Write test"
                                        : "");
    DrawMark(canvas, !first ? -1 : col == 1 ? 18 : col == 3 ? 11 : -1, rect);
}

void TDiscTab::DrawMark(gui::TCanvas& canvas, int bit, const RECT& rect) {
    if (bit < 0 || !frame_->ImageList1) return;
    canvas.DrawImage(frame_->ImageList1, (CurDeviceCaps >> bit) & 1u ? 0 : 1, rect.left + 2, rect.top + 1);
}

void TDiscTab::cbSpeedDropDown() {
    if (SpeedListBusy) return;
    gui::TCursorScope hourglass;
    const std::string label = Label21->Caption();
    const gui::TColor colour = Label21->FontColor();
    Label21->SetCaption(readingProperties);
    Label21->SetFontColor(gui::clRed);
    SpeedListBusy = true;
    struct End {
        TDiscTab& tab;
        std::string label;
        gui::TColor colour;
        ~End() {
            tab.Label21->SetCaption(label);
            tab.Label21->SetFontColor(colour);
            tab.SpeedListBusy = false;
        }
    } end{*this, label, colour};
    gui::ProcessMessages();
    if (Busy()) return;
    InitTransport();
    // Outside a job nothing may have chosen a drive yet: the list is the shown drive's.
    SelectShownDrive();
    const int old = cbSpeed->ItemIndex();
    cbSpeed->Items().Clear();
    cbSpeed->Items().Add("");
    if (Burner1()->TestUnitReady(5000) || Burner1()->GetMediaType() == disc::mtDVDRAM) {
        const bool dvd = Burner1()->GetMediaType() >= 4;
        BurnerSpeed drive(*this);
        for (const std::string& speed : job::ProbeSpeedEntries(drive, dvd, dvd ? 706 : 176))
            cbSpeed->Items().Add(speed);
    }
    ReleaseTransport();
    cbSpeed->SetItemIndex(old < 0 || old >= cbSpeed->Items().Count() ? 0 : old);
}

void TDiscTab::MaxPrefSpeedChange() {
    std::string text = MaxPrefSpeed->Text();
    if (!WholeNumber(text)) {
        text = "0";
        MaxPrefSpeed->SetText(text);
    }
    form_.Creation().maxPreferedSpeed = text;
    form_.ProgramIni().WriteString(core::ini::Settings, "MaxPreferedSpeed", text);
}

void TDiscTab::EditRestSpaceExit() {
    if (!WholeNumber(EditRestSpace->Text())) EditRestSpace->SetText("0");
    form_.Creation().restSpaceOnCD = std::stoi(EditRestSpace->Text());
}

// A folder that cannot be made keeps the one before.
void TDiscTab::EditTempPathExit() {
    std::string& temp = form_.Flags().TempPath;
    const std::string old = temp;
    auto withBackslash = [](std::string path) {
        if (path.empty() || path.back() != '\\') path += '\\';
        return path;
    };
    std::string wanted = withBackslash(EditTempPath->Text());
    if (!core::DirectoryExists(wanted)) core::ForceDirectories(wanted);
    if (!core::DirectoryExists(wanted)) {
        wanted = withBackslash(old);
        if (!core::DirectoryExists(wanted)) core::ForceDirectories(wanted);
    }
    temp = wanted;
    form_.UserIni().WriteString(core::ini::Files, "TempPath", temp);
    EditTempPath->SetText(temp);
}

void TDiscTab::SelectTmpFolderExecute() {
    gui::TFolderRequest request;
    request.Owner = form_.Handle();
    request.Caption = "Select the temporary folder";
    request.StartFolder = form_.Flags().TempPath;
    gui::TFolderAnswer answer;
    form_.RunModal([&] {
        answer = gui::Prompter().BrowseForFolder(request);
        return answer.Accepted ? gui::mrOk : gui::mrCancel;
    });
    if (!answer.Accepted || answer.Folder.empty()) return;
    std::string folder = answer.Folder;
    if (folder.size() == 3 && folder[1] == ':' && folder[2] == '\\') folder.pop_back();
    EditTempPath->SetText(folder);
    EditTempPathExit();
}

void TDiscTab::CheckBox11Click() {
    form_.Creation().useTempFile = CheckBox11->Checked();
    form_.Session.Run.UseTempFileNow = CheckBox11->Checked();
    form_.ProgramIni().WriteBool(core::ini::Settings, "UseTempFile", CheckBox11->Checked());
}

void TDiscTab::CBinternalAspiClick() {
    const bool internal = CBinternalAspi->Checked();
    form_.Creation().useInternalASPI = internal;
    form_.ProgramIni().WriteBool(core::ini::Settings, "UseInternalASPI", internal);
    if (Busy()) return;
    ReleaseTransport();
    bool loaded = false;
    {
        BurnerUse burner = Burner1();
        burner->DoDebug = false;
        loaded = burner->InitASPI(internal, DriverPath()) && burner->ASPIInitialized();
        burner->DoDebug = true;
    }
    if (loaded)
        form_.AspiLoaded = true;
    else
        Status("Error initializing ASPI Layer, you can not use your CD / DVD drive.");
    ReleaseTransport();
}

void TDiscTab::ApplyChosenSpeed(bool dvd) {
    const std::optional<int> chosen = job::SpeedTextToKBs(cbSpeed->Text(), dvd);
    if (!chosen) {
        ApplyPreferredWriteSpeed();
        return;
    }
    BurnerUse burner = Burner1();
    burner->SetWriteSpeed(static_cast<uint16_t>(*chosen));
    const uint16_t taken = burner->GetCurrentWriteSpeed();
    if (taken != burner->WriteSpeed()) burner->SetWriteSpeed(taken);
}

int TDiscTab::ApplyPreferredWriteSpeed() {
    int preferred = 0;
    if (WholeNumber(MaxPrefSpeed->Text())) preferred = std::stoi(MaxPrefSpeed->Text());
    const bool cd = Burner1()->GetMediaType() < 4;
    BurnerSpeed drive(*this);
    CurWriteSpeed = job::ApplyPreferredWriteSpeed(drive, preferred < 0 ? 0 : preferred, cd);
    const core::SpeedTextResult text =
        core::SpeedText(CurWriteSpeed, disc::LastMediaType, form_.Locale.decimalSeparator);
    CurSpeedText = text.text;
    MediaKindText = text.mediaKind;
    return CurWriteSpeed;
}

void TDiscTab::Erase(bool quick) {
    if (Busy() || JobBusy()) return;
    cbDrivesChange();
    SetJobBusy(true);
    // The job may start again on every way out, not only when the erase was started.
    struct Clear {
        TDiscTab& tab;
        ~Clear() { tab.SetJobBusy(false); }
    } clear{*this};
    InitTransport();
    if (!Burner1()->IsErasable() && Burner1()->GetMediaType() != disc::mtDVDRAM) {
        Box("Disc is not Erasable", false);
        return;
    }
    gui::TMessageBoxRequest request;
    request.Owner = form_.Handle();
    request.Caption =
        quick ? "Want to Quick Erase the Disc ?" : "Want to Complete Erase the Disc ? (may take 10-70 mins)";
    request.Text = "All Data on the media in " + Burner1()->DeviceName + " will be lost.";
    request.Buttons = gui::TMsgButtons::YesNo;
    request.Icon = gui::TMsgIcon::Warning;
    request.DefaultButton = 2;
    if (form_.Flags().Hidden || gui::Prompter().ShowMessageBox(request) != gui::mrYes) return;
    if (Busy()) return;
    const bool dvd = Burner1()->GetMediaType() >= 4;
    ApplyChosenSpeed(dvd);
    CurWriteSpeed = Burner1()->GetCurrentWriteSpeed();
    const core::SpeedTextResult text =
        core::SpeedText(CurWriteSpeed, disc::LastMediaType, form_.Locale.decimalSeparator);
    CurSpeedText = text.text;
    MediaKindText = text.mediaKind;
    Status("Erasing disc, speed: " + CurSpeedText);
    SetActionsEnabled(false);
    form_.PageControl1->SetActivePage(form_.TabSheet1);
    EjectAfterErase = true;
    const int reported = reports_->EraseReports;
    if (!Burner1()->EraseDisc(quick ? disc::ekQuick : disc::ekFull)) {
        // A start the drive refused comes as an erase done with its error, which ends it.
        if (reports_->EraseReports != reported) return;
        // No erase began and no erase done will come: nothing to wait for.
        EjectAfterErase = false;
        SetActionsEnabled(true);
        form_.AddToLog("Disc erase failed - " + Burner1()->LastError);
        return;
    }
    gui::Wait(1000, false);
}

void TDiscTab::Button10Click() {
    if (Busy()) return;
    InitTransport();
    SelectShownDrive();
    Burner1()->SyncCache(300000, false);
    Burner1()->LockMedium(true);
    gui::Wait(1000, false);
    Burner1()->LoadEject(true);
    ReleaseTransport();
}

} // namespace ui
