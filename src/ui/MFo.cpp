#include "ui/MFo.h"

#include "core/LocaleWin.h"
#include "core/Messages.h"
#include "core/MvRegistry.h"
#include "core/SystemRegistry.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/CompareText.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Memo.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/Panel.h"
#include "gui/ProgressBar.h"
#include "job/JobDiscStep.h"
#include "job/JobRunner.h"
#include "job/JobStart.h"
#include "ui/CatalogTab.h"
#include "ui/DriveDetector.h"
#include "ui/JobTab.h"
#include "ui/MFoDiscs.h"
#include "ui/MFoRestore.h"
#include "ui/ScheduleTab.h"
#include "ui/SmallDialogs.h"

namespace ui {

namespace {
constexpr int formWidth = 640;
constexpr int formHeight = 480;
} // namespace

TMF::TMF(const core::ProgramEnvironment& environment, core::ProgramFlags& flags,
         std::unique_ptr<TFrameCDB> frame)
    : gui::TForm("TMF", "Tarnwick", gui::FormBounds{CW_USEDEFAULT, CW_USEDEFAULT, formWidth, formHeight}),
      environment_(environment), flags_(flags), programIni_(environment.ProgramIniPath()) {
    Locale = core::SystemLocaleFormat();
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
    // Unexpected errors go to the log; when the log itself cannot be written, to the debugger.
    gui::Application().OnException = [this](const std::string& what) {
        try {
            AddToLog(what);
        } catch (const std::exception& error) {
            OutputDebugStringA(("Unhandled exception: " + what + " (log: " + error.what() + ")\n").c_str());
        }
    };
    OnShow = [this] { FormShow(); };
    OnActivate = [this] { FormActivate(); };
    BuildLayout();
    BuildMenus();
    BuildMenuLock();
    JobTab = std::make_unique<TJobTab>(*this);
    RestoreTab = std::make_unique<TRestoreTab>(*this);
    ScheduleTab = std::make_unique<TScheduleTab>(*this);
    CatalogTab = std::make_unique<TCatalogTab>(*this);
    ConnectJob();
    DiscTab = std::make_unique<TDiscTab>(*this, std::move(frame));
    ConnectRunner();
    FormCreate();
    CreateStartUpParts();
    BuildMainMenus();
    DoCreate();
}

TMF::~TMF() {
    DiscTab.reset();
    gui::TApplication& application = gui::Application();
    application.OnMinimize = nullptr;
    application.OnRestore = nullptr;
    application.OnActivate = nullptr;
    application.OnException = [](const std::string& what) {
        OutputDebugStringA(("Unhandled exception: " + what + "\n").c_str());
    };
    Tray.Remove();
}

// The six pages and the controls every later part relies on; each page's own controls are
// added by the part that owns the page.
void TMF::BuildLayout() {
    // Laid out for the client area the window has once its menu bar is set, which takes a
    // line off the height the window has now; without it the status lines sit under the
    // bottom edge.
    const int menuBar = GetMenu(Handle()) ? 0 : GetSystemMetrics(SM_CYMENU);
    const int clientWidth = ClientWidth(), clientHeight = ClientHeight() - menuBar;
    PageControl1 =
        &Create<gui::TPageControl>(*this, "PageControl1", gui::TBounds{0, 0, clientWidth, clientHeight - 40});
    TabSheet1 = &Create<gui::TTabSheet>(*PageControl1, "TabSheet1", "Ba&ckup");
    TabSheet4 = &Create<gui::TTabSheet>(*PageControl1, "TabSheet4", "Res&tore");
    TabSheetCat = &Create<gui::TTabSheet>(*PageControl1, "TabSheetCat", "C&atalog");
    TabSheet3 = &Create<gui::TTabSheet>(*PageControl1, "TabSheet3", "&Log");
    TabSheet2 = &Create<gui::TTabSheet>(*PageControl1, "TabSheet2", "Sch&edule");
    TabSheet5 = &Create<gui::TTabSheet>(*PageControl1, "TabSheet5", "CD/&DVD");
    PageControl1->OnChanging = [](bool& allowChange) { allowChange = true; };
    PageControl1->OnChange = [this] { PageControl1Change(); };

    const int pageWidth = clientWidth - 16, pageHeight = clientHeight - 80;
    ListBox5 =
        &Create<gui::TListBox>(*TabSheet3, "ListBox5", gui::TBounds{4, 4, pageWidth, pageHeight * 2 / 3});
    Memo1 = &Create<gui::TMemo>(*TabSheet3, "Memo1",
                                gui::TBounds{4, 8 + pageHeight * 2 / 3, pageWidth - 96, pageHeight / 3 - 8});
    Button1 = &Create<gui::TButton>(*TabSheet3, "Button1",
                                    gui::TBounds{pageWidth - 84, 8 + pageHeight * 2 / 3, 88, 25}, "&Update");
    // The schedule tab lays out its lists inside the panel.
    Panel6 = &Create<gui::TPanel>(*TabSheet2, "Panel6", gui::TBounds{4, 4, pageWidth, pageHeight}, "", false);
    ListBox2 = &Create<gui::TListBox>(*Panel6, "ListBox2", gui::TBounds{0, 0, pageWidth, pageHeight}, true);
    ProgressBar1 = &Create<gui::TProgressBar>(*this, "ProgressBar1",
                                              gui::TBounds{clientWidth - 210, clientHeight - 34, 200, 18});
    Label1 =
        &Create<gui::TLabel>(*this, "Label1", gui::TBounds{8, clientHeight - 32, clientWidth - 230, 16}, "");
    Label2 =
        &Create<gui::TLabel>(*this, "Label2", gui::TBounds{8, clientHeight - 16, clientWidth - 230, 14}, "");
    ProgressBar3 = &Create<gui::TProgressBar>(*this, "ProgressBar3",
                                              gui::TBounds{clientWidth - 210, clientHeight - 14, 200, 12});

    Startbackup = &Create<gui::TAction>(*this, "Startbackup", "&Start");
    StartRestore = &Create<gui::TAction>(*this, "StartRestore", "&Start");
    UpdateLog = &Create<gui::TAction>(*this, "UpdateLog", "&Update log");
    UpdateLog->OnExecute = [this] { UpdateLogExecute(); };
    ClearLogAction = &Create<gui::TAction>(*this, "ClearLog", "C&lear log");
    ClearLogAction->OnExecute = [this] { ClearLog(true); };
    ClosePrg = &Create<gui::TAction>(*this, "ClosePrg", "&Close");
    ClosePrg->OnExecute = [this] { ClosePrgExecute(); };
    Hideapplication = &Create<gui::TAction>(*this, "Hideapplication", "&Hide");
    Hideapplication->OnExecute = [this] { HideapplicationExecute(); };
    Button1->OnClick = [this] {
        UpdateLogExecute();
        Memo1->SetFocus();
    };
}

void TMF::BuildMenus() {
    MainMenu1 = &Create<gui::TMainMenu>(*this, "MainMenu1");
    gui::TMenuItem& files = MainMenu1->Add("Files", "&File");
    gui::TMenuItem& exit = files.Add("Exit1", "&Close");
    exit.SetAction(ClosePrg);
    auto showPage = [this](gui::TTabSheet* sheet) {
        return [this, sheet] {
            PageControl1->SetActivePage(sheet);
            PageControl1->OnChange();
        };
    };
    MainMenu1->Add("Backup1", "&Backup").OnClick = showPage(TabSheet1);
    MainMenu1->Add("Restore1", "&Restore").OnClick = showPage(TabSheet4);
    MainMenu1->Add("Catalog1", "&Catalog").OnClick = showPage(TabSheetCat);
    gui::TMenuItem& log = MainMenu1->Add("Log1", "&Log");
    log.OnClick = showPage(TabSheet3);
    log.Add("UpdateLog1", "&Update log").SetAction(UpdateLog);
    log.Add("ClearLog1", "C&lear log").SetAction(ClearLogAction);
    SetMenu(MainMenu1);

    PopupMenu1 = &Create<gui::TPopupMenu>(*this, "PopupMenu1");
    PopupMenu1->Add("Show1", "&Show").OnClick = [this] {
        if (gui::Application().IsIconic()) ShowMainWindow();
    };
    PopupMenu1->Add("Hide2", "&Hide").OnClick = [this] {
        ShowMainWindow();
        flags_.HideWindow = true;
        flags_.Hidden = true;
        gui::Application().Minimize();
    };
    PopupMenu1->Add("HideIcon1", "Hide &Icon").OnClick = [this] {
        IconHidden = true;
        flags_.HideWindow = true;
        flags_.Hidden = true;
        gui::Application().Minimize();
        Tray.Remove();
    };
    PopupMenu1->Add("Close1", "&Close").SetAction(ClosePrg);
}

void TMF::FormCreate() {
    ReadingDevices = true;
    gui::TApplication& application = gui::Application();
    application.OnMinimize = [this] { AppMinimize(); };
    application.OnRestore = [this] { AppRestore(); };
    application.OnActivate = [this] { AppActivate(); };
    Tray.Add(Handle(), LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)), application.Title());

    creation_ = ReadFormCreationSettings(programIni_, environment_.os);
    if (environment_.os.ntFamily) {
        // The crash marker only guides the start-up on the older family.
        creation_.crashed = false;
        const std::string oldService = environment_.windowsFolder + "\\QuilletSrv.exe";
        if (GetFileAttributesA(oldService.c_str()) != INVALID_FILE_ATTRIBUTES) {
            PostMessageA(Handle(), WM_START_OLD_SERVICE, 0, 0);
            PointOldServiceAt(oldService);
        }
    }
    FindUserFolders();
    if (creation_.menuPasswordDamaged)
        AddToLog("The stored menu password could not be read; the menu is not locked");

    const core::ServiceSettings service = ReadServiceSettings(programIni_, environment_.os);
    RunAsServiceSet = service.runAsService;
    RunningAsService = service.runAsService && service.runningAsService;
    if (RunningAsService) Startautomatic = false;
    core::WriteConfigData(programIni_, folders_.documentsFolder, folders_.dataDir,
                          folders_.applicationDataPath);
    HideInfo = programIni_.ReadBool(core::ini::LastState, "HideInfo", false);
    if (!flags_.Hidden) flags_.Hidden = programIni_.ReadBool(core::ini::LastState, "Hidden", false);
    ApplyHints();
    // A run missed while the program was closed is in the saved queue before the first evaluation.
    ScheduleTab->LoadSavedRunQueue();
    EvaluateSchedules();
    SetDragAcceptFiles(true);
    PageControl1->SetActivePage(TabSheet1);
    // A start with /H is never activated: the lock shows from here.
    ApplyMenuLockSettings();
}

// Hints of the job, restore and schedule controls come from the message table; a label beside
// a control carries the control's hint. Controls a part has not built yet are passed over.
void TMF::ApplyHints() {
    enum class Suffix { None, DateTime, Time };
    struct HintRow {
        const char* control;
        unsigned message;
        Suffix suffix;
        std::vector<const char*> alsoOn;
    };
    static const HintRow rows[] = {
        {"CheckBox3", 65182, Suffix::DateTime, {}},
        {"CheckBox1", 65183, Suffix::None, {}},
        {"Edit1", 65152, Suffix::DateTime, {}},
        {"RadioButton1", 65153, Suffix::None, {}},
        {"RadioButton2", 65154, Suffix::None, {}},
        {"Edit2", 65155, Suffix::None, {"Label5"}},
        {"Label3", 65156, Suffix::None, {}},
        {"ComboBox1", 65157, Suffix::None, {"Label4"}},
        {"ListBox1", 65158, Suffix::None, {"Label6", "Panel13"}},
        {"ListBox3", 65159, Suffix::None, {"Label16", "Panel15"}},
        {"Edit3", 65160, Suffix::None, {"Label10", "Label17"}},
        {"CheckBox2", 65161, Suffix::None, {}},
        {"RadioButton3", 65162, Suffix::None, {}},
        {"RadioButton4", 65163, Suffix::None, {}},
        {"RadioButton5", 65164, Suffix::None, {}},
        {"RadioButton6", 65165, Suffix::None, {}},
        {"RadioButton7", 65166, Suffix::None, {}},
        {"RadioButton8", 65167, Suffix::None, {}},
        {"RadioButton9", 65136, Suffix::None, {}},
        {"CheckBox4",
         65137,
         Suffix::None,
         {"CheckBox5", "CheckBox6", "CheckBox7", "CheckBox8", "CheckBox9", "CheckBox10"}},
        {"ComboBox2", 65138, Suffix::None, {}},
        {"Edit4", 65139, Suffix::DateTime, {}},
        {"Edit5", 65140, Suffix::Time, {}},
        {"Button4", 65141, Suffix::None, {}},
        {"Button5", 65142, Suffix::None, {}},
        {"Button1", 65143, Suffix::None, {}},
        {"Edit6", 65144, Suffix::None, {}},
        {"DrawGrid1", 65145, Suffix::None, {}},
        {"CheckBox11", 65146, Suffix::None, {}},
    };
    const std::string now = DateToStrFixed(gui::CurrentClock().Now(), Locale);
    for (const HintRow& row : rows) {
        std::string hint = core::LoadMessage(row.message);
        if (row.suffix == Suffix::DateTime)
            hint += "\r" + now;
        else if (row.suffix == Suffix::Time)
            hint += "\r" + now.substr(now.find(' ') + 1);
        if (auto* control = FindOrNull<gui::TControl>(row.control)) control->SetHint(hint);
        for (const char* other : row.alsoOn)
            if (auto* control = FindOrNull<gui::TControl>(other)) control->SetHint(hint);
    }
    // The compression level's hint is shared by its two labels.
    if (auto* trackBar = FindOrNull<gui::TControl>("TrackBar1"))
        for (const char* label : {"Label9", "Label7"})
            if (auto* control = FindOrNull<gui::TControl>(label)) control->SetHint(trackBar->Hint());
}

void TMF::FindUserFolders() {
    core::SystemRegistryLookup systemRegistry;
    core::WinFolderOps folderOps;
    core::RegistryLookup& registry = environment_.registry ? *environment_.registry : systemRegistry;
    folders_ = core::FindUserFolders(registry, folderOps,
                                     {environment_.windowsFolder, environment_.ProgramFolder(),
                                      environment_.ProgramBaseName(), creation_.useUserData});
    if (!folders_.dataDir.empty()) {
        userIni_ =
            std::make_unique<gui::TIniFile>(folders_.dataDir + environment_.ProgramBaseName() + ".ini");
        ReadUserOverrides(*userIni_, creation_);
    }
    for (const std::string& folder : folders_.failedFolders)
        AddToLog("Failed to create dir: " + folder);
}

// The older service's key, when it exists, must name the program in the Windows folder. The
// key is never created here: without the service there is nothing to point.
void TMF::PointOldServiceAt(const std::string& program) {
    core::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.OpenKey("\\System\\Controlset001\\Services\\QuilletSrv", false)) return;
    std::string current;
    try {
        current = registry.ReadString("ImagePath");
    } catch (const core::ERegistryException&) {
        // Unreadable (not a string, or gone): as good as wrong, and written anew below.
    }
    if (gui::SameTextI(current, environment_.windowsFolder + "\\QUILLETSRV.EXE")) return;
    try {
        registry.WriteString("ImagePath", program);
    } catch (const core::ERegistryException& error) {
        AddToLog(error.what());
    }
}

void TMF::EvaluateSchedules() {
    if (OnEvaluateSchedules) OnEvaluateSchedules();
}

} // namespace ui
