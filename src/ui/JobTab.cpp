// The Backup tab's controls, menus and handlers. Every handler changes Session.Job first and
// the controls follow; the record is what the job file, the start and the timer read.
#include "ui/JobTab.h"

#include "core/DateText.h"
#include "core/PathText.h"
#include "core/ProgramBox.h"
#include "core/Scramble.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/ComboBox.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/Panel.h"
#include "gui/Prompter.h"
#include "gui/Screen.h"
#include "gui/TrackBar.h"
#include "gui/Wait.h"
#include "job/JobDisc.h"
#include "job/JobEditRules.h"
#include "job/JobStart.h"
#include "job/JobStartRules.h"
#include "job/JobStore.h"
#include "ui/CatalogTab.h"
#include "ui/MFo.h"
#include "ui/MFoDiscs.h"
#include "ui/SmallDialogs.h"

#include <windows.h>

#include <algorithm>

namespace ui {

namespace {
constexpr char newJobName[] = "New Job.dat";
constexpr char jobFilter[] = "Backup jobs|*.dat";
constexpr int includePanelMinWidth = 85;
// How long the writer may take to answer TEST UNIT READY when the destination is left.
constexpr int eraseReadyMs = 3000;
const char* const zipSizes[] = {"100", "120", "510", "530", "532", "650", "700", "1000", "2000", "4095"};

} // namespace

TJobTab::TJobTab(TMF& form) : form_(form) {
    Build();
    BuildMenus();
    WireLists();
    ShowOptions();
    form_.OnJobShown = [this] { ShowJob(); };
    form_.OnShowFreeSpace = [this] { ShowDestinationFreeSpace(); };
    form_.OnShowFreeBytes = [this](int64_t bytes) { ShowFreeSpace(bytes); };
    form_.OnDropFiles = [this](const std::vector<std::string>& files) {
        if (Editable()) DropFiles(files);
    };
}

void TJobTab::Build() {
    gui::TTabSheet& page = *form_.TabSheet1;
    const int pageWidth = form_.ClientWidth() - 16, pageHeight = form_.ClientHeight() - 80;
    const int listTop = 4, listHeight = pageHeight - 140, half = (pageWidth - 4) / 2;

    Panel12 = &form_.Create<gui::TPanel>(page, "Panel12", gui::TBounds{4, listTop, half, listHeight});
    Panel13 = &form_.Create<gui::TPanel>(*Panel12, "Panel13", gui::TBounds{0, 0, half, 22});
    Label6 = &form_.Create<gui::TLabel>(*Panel13, "Label6", gui::TBounds{4, 4, 150, 16}, "Files to backup");
    SBFilestoBackup = &form_.Create<gui::TSpeedButton>(*Panel13, "SBFilestoBackup",
                                                       gui::TBounds{half - 26, 0, 24, 22}, "+");
    ListBox1 = &form_.Create<gui::TListBox>(*Panel12, "ListBox1", gui::TBounds{0, 22, half, listHeight - 22},
                                            true, true);
    Panel14 = &form_.Create<gui::TPanel>(page, "Panel14",
                                         gui::TBounds{8 + half, listTop, pageWidth - half - 4, listHeight});
    Panel15 = &form_.Create<gui::TPanel>(*Panel14, "Panel15", gui::TBounds{0, 0, pageWidth - half - 4, 22});
    Label16 =
        &form_.Create<gui::TLabel>(*Panel15, "Label16", gui::TBounds{4, 4, 150, 16}, "Files to exclude");
    SBFilesToExcl = &form_.Create<gui::TSpeedButton>(*Panel15, "SBFilesToExcl",
                                                     gui::TBounds{pageWidth - half - 30, 0, 24, 22}, "+");
    ListBox3 = &form_.Create<gui::TListBox>(
        *Panel14, "ListBox3", gui::TBounds{0, 22, pageWidth - half - 4, listHeight - 22}, true, true);

    int row = listTop + listHeight + 6;
    RadioButton1 =
        &form_.Create<gui::TRadioButton>(page, "RadioButton1", gui::TBounds{4, row, 50, 18}, "&All", true);
    RadioButton2 =
        &form_.Create<gui::TRadioButton>(page, "RadioButton2", gui::TBounds{58, row, 80, 18}, "Cha&nged");
    CheckBox3 = &form_.Create<gui::TCheckBox>(page, "CheckBox3", gui::TBounds{146, row, 56, 18}, "After:");
    Edit1 = &form_.Create<gui::TEdit>(page, "Edit1", gui::TBounds{204, row - 2, 140, 21});
    CheckBox1 =
        &form_.Create<gui::TCheckBox>(page, "CheckBox1", gui::TBounds{356, row, 100, 18}, "Clear Ab&it");

    row += 28;
    Label8 = &form_.Create<gui::TLabel>(page, "Label8", gui::TBounds{4, row + 3, 66, 16}, "Destination:");
    Edit7 = &form_.Create<gui::TEdit>(page, "Edit7", gui::TBounds{72, row, 260, 21});
    SpeedButton1 =
        &form_.Create<gui::TSpeedButton>(page, "SpeedButton1", gui::TBounds{334, row, 23, 21}, "...");
    ComboBox2 = &form_.Create<gui::TComboBox>(page, "ComboBox2", gui::TBounds{360, row, 69, 21});
    Label3 = &form_.Create<gui::TLabel>(page, "Label3", gui::TBounds{436, row + 3, pageWidth - 436, 16}, "");

    row += 28;
    Label5 = &form_.Create<gui::TLabel>(page, "Label5", gui::TBounds{4, row + 3, 66, 16}, "Zip name:");
    Edit2 = &form_.Create<gui::TEdit>(page, "Edit2", gui::TBounds{72, row, 160, 21});
    Label4 = &form_.Create<gui::TLabel>(page, "Label4", gui::TBounds{240, row + 3, 50, 16}, "Size MB:");
    ComboBox1 = &form_.Create<gui::TComboBox>(page, "ComboBox1", gui::TBounds{292, row, 64, 21}, true);
    for (const char* size : zipSizes)
        ComboBox1->Items().Add(size);
    Label9 = &form_.Create<gui::TLabel>(page, "Label9", gui::TBounds{364, row + 3, 36, 16}, "Fast");
    TrackBar1 = &form_.Create<gui::TTrackBar>(page, "TrackBar1", gui::TBounds{400, row - 2, 110, 26});
    Label7 = &form_.Create<gui::TLabel>(page, "Label7", gui::TBounds{512, row + 3, 40, 16}, "Small");

    row += 28;
    EraseCD = &form_.Create<gui::TCheckBox>(page, "EraseCD", gui::TBounds{4, row, 70, 18}, "Erase");
    FullEraseCD =
        &form_.Create<gui::TCheckBox>(page, "FullEraseCD", gui::TBounds{80, row, 90, 18}, "Full erase");
    Button3 =
        &form_.Create<gui::TButton>(page, "Button3", gui::TBounds{pageWidth - 92, row - 4, 88, 25}, "&Start");
    Button3->SetAction(form_.Startbackup);

    // While a job runs (or a burn or erase) nothing here changes the job it reads: a control
    // can still report a change it had, such as the exit of a field that loses the focus as
    // it is disabled.
    RadioButton1->OnClick = WhenEditable([this] { form_.Session.Job.ChangedOnly = false; });
    RadioButton2->OnClick = WhenEditable([this] { form_.Session.Job.ChangedOnly = true; });
    CheckBox1->OnClick = WhenEditable([this] { form_.Session.Job.ClearArchiveBit = CheckBox1->Checked(); });
    CheckBox1->OnExit = CheckBox1->OnClick;
    CheckBox3->OnClick = WhenEditable([this] { form_.Session.Job.UseAfterDate = CheckBox3->Checked(); });
    CheckBox3->OnExit = CheckBox3->OnClick;
    Edit1->OnExit = [this] { Edit1Exit(); };
    Edit7->OnChange = WhenEditable([this] { form_.Session.Job.Destination = Edit7->Text(); });
    Edit7->OnExit = [this] { Edit7Exit(); };
    Edit7->OnDblClick = [this] { SelectDest->Execute(); };
    SpeedButton1->OnClick = Edit7->OnDblClick;
    ComboBox2->OnDropDown = [this] { ComboBox2->SetDroppedWidth(260); };
    ComboBox2->OnCloseUp = [this] { ComboBox2CloseUp(); };
    ComboBox2->OnExit = ComboBox2->OnCloseUp;
    Edit2->OnChange = [this] { Edit2Change(); };
    ComboBox1->OnChange = WhenEditable([this] { form_.Session.Job.ZipSizeText = ComboBox1->Text(); });
    ComboBox1->OnCloseUp = ComboBox1->OnChange;
    TrackBar1->OnChange = [this] { TrackBar1Change(); };
    EraseCD->OnClick = WhenEditable([this] { form_.Session.Job.EraseCD = EraseCD->Checked(); });
    FullEraseCD->OnClick = WhenEditable([this] { form_.Session.Job.FullEraseCD = FullEraseCD->Checked(); });
    Panel12->OnResize = [this] {
        if (Panel12->Width() < includePanelMinWidth) Panel12->SetWidth(includePanelMinWidth);
    };
    TrackBar1->SetRange(2, job::CompressionMaximum(form_.CreationSettings().maxZipFactor));
    TrackBar1->SetPosition(6);
    TrackBar1->SetHint(job::CompressionHint(6));
}

void TJobTab::BuildMenus() {
    auto action = [this](const char* name, const char* caption, std::function<void()> execute) {
        gui::TAction* made = &form_.Create<gui::TAction>(form_, name, caption);
        made->OnExecute = WhenEditable(std::move(execute));
        return made;
    };
    OpenJob = action("OpenJob", "&Open Backup Job", [this] { OpenJobExecute(); });
    SaveJob = action("SaveJob", "&Save Backup Job", [this] { SaveJobExecute(); });
    SaveJobAs = action("SaveJobAs", "Save Backup Job &As...", [this] { SaveJobAsExecute(); });
    NewJob = action("NewJob", "&New Backup Job", [this] { NewJobExecute(); });
    SelectDest = action("SelectDest", "&Destination Path", [this] { SelectDestExecute(); });
    SetPassWord = action("SetPassWord", "Use &Password", [this] { SetPassWordExecute(); });
    MakeCatalog = action("MakeCatalog", "&Make File Catalog", [this] {
        MakeCatalog->SetChecked(!MakeCatalog->Checked());
        form_.Session.Job.MakeCatalog = MakeCatalog->Checked();
    });
    UseLastruntime = action("UseLastruntime", "Use &Last Runtime As Newer Than", [this] {
        UseLastruntime->SetChecked(!UseLastruntime->Checked());
        form_.Session.Job.Uselasttime1 = UseLastruntime->Checked();
    });
    Includedriveinfo =
        action("Includedriveinfo", "&Include Drive Info As Folder", [this] { IncludedriveinfoExecute(); });
    IncludeFulldriveInfo = action("IncludeFulldriveInfo", "Include F&ull Drive Info In Zip File",
                                  [this] { IncludeFulldriveInfoExecute(); });
    InclRegistry = action("InclRegistry", "&Include Registry", [this] { AddPseudoEntry("%REGISTRY%"); });
    IncludeCatalog = action("IncludeCatalog", "I&nclude File Catalog", [this] {
        AddPseudoEntry("%CATALOG%");
        MakeCatalog->SetChecked(true);
        form_.Session.Job.MakeCatalog = true;
    });
    SelectDir = action("SelectDir", "&Add F&older", [this] { AddFolder(true); });
    AddExcludeFolder = action("AddExcludeFolder", "Add F&older", [this] { AddFolder(false); });
    RemoveFolder = action("RemoveFolder", "&Remove", [this] { RemoveSelected(true); });

    gui::TMenuItem& files = form_.Find<gui::TMenuItem>("Files");
    files.Add("NewJob1", "&New Backup Job").SetAction(NewJob);
    files.Add("OpenJob1", "&Open Backup Job").SetAction(OpenJob);
    files.Add("SaveJob1", "&Save Backup Job").SetAction(SaveJob);
    files.Add("SaveJobAs1", "Save Backup Job &As...").SetAction(SaveJobAs);

    PopupMenuIncl = &form_.Create<gui::TPopupMenu>(form_, "PopupMenuIncl");
    PopupMenuIncl->Add("Addfolder1", "Add F&older").SetAction(SelectDir);
    PopupMenuIncl->Add("AddFile1", "Add &Files").OnClick = [this] { AddFiles(true); };
    PopupMenuIncl->Add("Add1", "&Add").OnClick = [this] {
        EditedIncludeIndex = -1;
        EditEntry(true);
    };
    PopupMenuIncl->Add("Change1", "&Change").OnClick = [this] {
        EditedIncludeIndex = -1;
        for (int index = 0; index < ListBox1->Items().Count() && EditedIncludeIndex < 0; ++index)
            if (ListBox1->Selected(index)) EditedIncludeIndex = index;
        EditEntry(true);
    };
    PopupMenuIncl->Add("Remove1", "&Remove").SetAction(RemoveFolder);
    PopupMenuIncl->Add("InclRegistry1", "&Include Registry").SetAction(InclRegistry);
    PopupMenuIncl->Add("IncludeCatalog1", "I&nclude File Catalog").SetAction(IncludeCatalog);

    PopupMenuExcl = &form_.Create<gui::TPopupMenu>(form_, "PopupMenuExcl");
    PopupMenuExcl->Add("AddExclFolder1", "Add F&older").SetAction(AddExcludeFolder);
    PopupMenuExcl->Add("ExcludeFiles1", "Add &Files").OnClick = [this] { AddFiles(false); };
    PopupMenuExcl->Add("Exclude1", "&Add").OnClick = [this] {
        EditedExcludeIndex = -1;
        EditEntry(false);
    };
    PopupMenuExcl->Add("Change3", "&Change").OnClick = [this] {
        EditedExcludeIndex = -1;
        for (int index = 0; index < ListBox3->Items().Count() && EditedExcludeIndex < 0; ++index)
            if (ListBox3->Selected(index)) EditedExcludeIndex = index;
        EditEntry(false);
    };
    PopupMenuExcl->Add("Remove3", "&Remove").OnClick = [this] { RemoveSelected(false); };

    auto popupAt = [this](gui::TPopupMenu* menu, int extraLeft) {
        RECT window{};
        GetWindowRect(form_.Handle(), &window);
        menu->Popup(window.left + 50 + extraLeft, window.top + 210);
    };
    SBFilestoBackup->OnClick = [this, popupAt] { popupAt(PopupMenuIncl, 0); };
    SBFilesToExcl->OnClick = [this, popupAt] { popupAt(PopupMenuExcl, Panel13->Width()); };

    // The job menu: the lists, the destination and the options saved with the job.
    gui::TMenuItem& backup = form_.Find<gui::TMenuItem>("Backup1");
    backup.Add("Startbackup1", "&Start").SetAction(form_.Startbackup);
    backup.Add("Filestobackup1", "&Files to backup...").OnClick = SBFilestoBackup->OnClick;
    backup.Add("Filestoexclude1", "Files to &exclude...").OnClick = SBFilesToExcl->OnClick;
    backup.Add("SelectDest1", "&Destination Path").SetAction(SelectDest);
    backup.AddSeparator();
    auto option = [this, &backup](const char* name, const char* caption, bool job::JobDefinition::*field) {
        gui::TMenuItem* item = &backup.Add(name, caption);
        item->OnClick = WhenEditable([this, item, field] {
            item->SetChecked(!item->Checked());
            form_.Session.Job.*field = item->Checked();
        });
        return item;
    };
    Testarchiveafterbackup1 = option("Testarchiveafterbackup1", "&Verify Zip file after backup",
                                     &job::JobDefinition::Testarchiveafterbackup1);
    OverwriteExistingZipFile1 = &backup.Add("OverwriteExistingZipFile1", "&Overwrite Existing Zip Files");
    OverwriteExistingZipFile1->OnClick = WhenEditable([this] { OverwriteExistingZipFile1Click(); });
    Allfilenames1 = option("Allfilenames1", "&All filenames", &job::JobDefinition::Allfilenames1);
    IncludeDateTime1 =
        option("IncludeDateTime1", "&Include Date/Time", &job::JobDefinition::IncludeDateTime1);
    backup.Add("MakeCatalog1", "&Make File Catalog").SetAction(MakeCatalog);
    Includefolderinformation = option("Includefolderinformation", "Include fol&der information",
                                      &job::JobDefinition::Includefolderinformation);
    Includefolderinformation->Hint = "Uncheck this to avoid empty folders in the zip file.";
    Optimizeusedspace = &backup.Add("Optimizeusedspace", "Optimize used space");
    Optimizeusedspace->OnClick = WhenEditable([this] { OptimizeusedspaceClick(); });
    Splitlargefiles = &backup.Add("Splitlargefiles", "Split large files");
    Splitlargefiles->OnClick = WhenEditable([this] { SplitlargefilesClick(); });
    OEMConvert = option("OEMConvert", "&XP compatible filenames", &job::JobDefinition::OEMConvert);
    backup.Add("Uselasttime1", "Use &Last Runtime As Newer Than").SetAction(UseLastruntime);
    backup.Add("Includedriveinfoasfolder1", "&Include Drive Info As Folder").SetAction(Includedriveinfo);
    backup.Add("IncludefulldriveinfoinZipfile1", "Include F&ull Drive Info In Zip File")
        .SetAction(IncludeFulldriveInfo);
    backup.Add("Usepassword1", "Use &Password").SetAction(SetPassWord);
    backup.AddSeparator();
    Showonjobstart1 = &backup.Add("Showonjobstart1", "Show on &job start");
    Showonjobstart1->SetChecked(form_.Showonjobstart);
    Showonjobstart1->OnClick = [this] {
        Showonjobstart1->SetChecked(!Showonjobstart1->Checked());
        form_.Showonjobstart = Showonjobstart1->Checked();
        form_.SaveSettings();
    };
}

void TJobTab::WireLists() {
    for (bool include : {true, false}) {
        gui::TListBox& list = List(include);
        list.OnDblClick = [this, include] { EditEntry(include); };
        list.OnMouseDown = [this, include](gui::TMouseButton, gui::TShiftState, int x, int y) {
            EditedIndex(include) = List(include).ItemAtPos(x, y);
        };
        list.OnKeyDown = [this, include](WORD& key, gui::TShiftState) { ListKeyDown(include, key); };
        list.OnMouseMove = [this, include](gui::TShiftState, int, int) {
            DropOnIncludeList = include;
            DropOnExcludeList = !include;
            List(include).SetCursor(gui::TCursor::crDrag);
        };
        list.OnMouseUp = [this](gui::TMouseButton, gui::TShiftState, int, int) {
            DropOnIncludeList = DropOnExcludeList = false;
        };
    }
    auto noAccept = [this](gui::TShiftState, int, int) { DropOnIncludeList = DropOnExcludeList = false; };
    for (gui::TControl* control :
         std::initializer_list<gui::TControl*>{Panel12, Panel13, Panel14, Panel15, form_.PageControl1, Edit7,
                                               Edit2, Edit1, ComboBox1, TrackBar1}) {
        control->OnMouseMove = noAccept;
        if (control != form_.PageControl1) control->SetCursor(gui::TCursor::crNoDrop);
    }
}

void TJobTab::ListKeyDown(bool include, unsigned short& key) {
    if (!Editable()) return;
    gui::TListBox& list = List(include);
    if (key == VK_DELETE) {
        RemoveSelected(include);
    } else if (key == VK_RETURN) {
        EditedIndex(include) = -1;
        for (int index = 0; index < list.Items().Count() && EditedIndex(include) < 0; ++index)
            if (list.Selected(index)) EditedIndex(include) = index;
        EditEntry(include);
    } else if (key == VK_INSERT) {
        EditedIndex(include) = -1;
        EditEntry(include);
    }
}

void TJobTab::ListChanged(bool include) {
    std::vector<std::string>& items = include ? form_.Session.Job.IncludeList : form_.Session.Job.ExcludeList;
    items = List(include).Items().ToVector();
    List(include).WidenFor(items);
}

bool TJobTab::AddEntry(bool include, const std::string& text) {
    if (job::IsRefusedListItem(text)) {
        form_.AddToLog("Not a list entry: " + text);
        return false;
    }
    List(include).Items().Add(text);
    return true;
}

bool TJobTab::Entry(const std::string& caption, std::string& text, bool masked) {
    return form_.EntryForm(caption, text, masked);
}

void TJobTab::EditEntry(bool include) {
    if (!Editable()) return;
    gui::TListBox& list = List(include);
    int& index = EditedIndex(include);
    if (list.Items().Count() == 0 || index < 0 || index >= list.Items().Count()) {
        std::string text;
        if (Entry("Add files or folders, * alloved", text, false) && !text.empty() && AddEntry(include, text))
            ListChanged(include);
        return;
    }
    std::string text = list.Items()[index];
    if (!Entry("Change file description", text, false) || text.empty()) return;
    if (job::IsRefusedListItem(text)) {
        AddEntry(include, text);
        return;
    }
    // A sorted list: the changed entry goes to its place.
    list.Items().Delete(index);
    index = list.Items().Add(text);
    ListChanged(include);
}

void TJobTab::AddFolder(bool include) {
    gui::TFolderRequest request;
    request.Owner = form_.Handle();
    request.Caption = include ? "Select a folder to backup" : "Select a folder to exclude";
    gui::TFolderAnswer answer;
    form_.RunModal([&] {
        answer = gui::Prompter().BrowseForFolder(request);
        return answer.Accepted ? gui::mrOk : gui::mrCancel;
    });
    if (!answer.Accepted || answer.Folder.empty()) return;
    if (AddEntry(include, job::FolderEntry(answer.Folder))) ListChanged(include);
}

void TJobTab::AddFiles(bool include) {
    if (!Editable()) return;
    gui::TFileDialogRequest request;
    request.Owner = form_.Handle();
    request.MultiSelect = true;
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted) return;
    std::vector<std::string> added;
    for (const std::string& file : answer.Files)
        if (!job::IsRefusedListItem(file)) added.push_back(file);
    List(include).Items().AddStrings(added);
    ListChanged(include);
}

void TJobTab::RemoveSelected(bool include) {
    if (!Editable()) return;
    gui::TListBox& list = List(include);
    for (int index = list.Items().Count() - 1; index >= 0; --index)
        if (list.Selected(index)) list.Items().Delete(index);
    ListChanged(include);
}

void TJobTab::AddPseudoEntry(const std::string& entry) {
    if (!Editable()) return;
    ListBox1->Items().Add(entry);
    ListChanged(true);
}

void TJobTab::DropFiles(const std::vector<std::string>& files) {
    const bool include = DropOnIncludeList, exclude = DropOnExcludeList;
    DropOnIncludeList = DropOnExcludeList = false;
    if (!include && !exclude) return;
    std::vector<std::string> added;
    for (const std::string& file : files)
        if (!job::IsRefusedListItem(file)) added.push_back(file);
    List(include).Items().AddStrings(added);
    ListChanged(include);
}

bool TJobTab::DiscBusy() const {
    return form_.OnDiscBusy && form_.OnDiscBusy();
}

bool TJobTab::Editable() const {
    return JobIdle() && !DiscBusy();
}

// The job actions are on and no job runs; a write or erase that ended may still be finishing.
bool TJobTab::JobIdle() const {
    return form_.ActionsEnabled() && !form_.Session.Running();
}

std::function<void()> TJobTab::WhenEditable(std::function<void()> handler) {
    return [this, handler = std::move(handler)] {
        if (Editable()) handler();
    };
}

// A read-only job file keeps its controls disabled; a job, burn or erase disables them all.
void TJobTab::ShowEditable() {
    const bool editable = JobIdle();
    SetJobControlsEnabled(editable && !form_.Session.Job.ReadOnly);
    SpeedButton1->SetEnabled(editable && !form_.Session.Job.ReadOnly);
    for (gui::TControl* control : std::initializer_list<gui::TControl*>{EraseCD, FullEraseCD})
        control->SetEnabled(editable);
    if (form_.CatalogTab)
        for (gui::TControl* control : std::initializer_list<gui::TControl*>{
                 form_.CatalogTab->CBCatalog, form_.CatalogTab->EditCatName, form_.CatalogTab->SpButCat})
            control->SetEnabled(editable);
    // The programs before and after the job are the job's too.
    if (form_.PrePostRun) form_.PrePostRun->SetEnabled(editable);
}

bool TJobTab::Ask(const std::string& text) {
    return form_.ShowBox(text, gui::TMsgButtons::YesNo, gui::TMsgIcon::Warning, 2) == gui::mrYes;
}

void TJobTab::SelectDestExecute() {
    if (!Editable() || form_.Session.Job.ReadOnly) return;
    gui::TFolderRequest request;
    request.Owner = form_.Handle();
    request.Caption = "Select the destination folder";
    gui::TFolderAnswer answer;
    form_.RunModal([&] {
        answer = gui::Prompter().BrowseForFolder(request);
        return answer.Accepted ? gui::mrOk : gui::mrCancel;
    });
    if (!answer.Accepted) return;
    Edit7->SetText(job::DriveRootCut(answer.Folder));
    form_.Session.Job.Destination = Edit7->Text();
    gui::ProcessMessages();
    Edit7Exit();
}

void TJobTab::Edit7Exit() {
    if (!Editable() || form_.Session.Job.ReadOnly) return;
    gui::TCursorScope hourglass;
    gui::ProcessMessages();
    form_.Flags().DiscArrived = false;
    form_.Flags().DiscRemoved = false;
    std::string text = Edit7->Text();
    DestList = job::ParseDestinations(text);
    Edit7->SetText(text);
    form_.Session.Job.Destination = text;
    Destination = job::DestinationState{};
    Destination.DestPath = DestList.empty() ? std::string() : DestList.front();
    Destination.DestDrive = job::DriveOfPath(Destination.DestPath);
    job::CheckDestination(Destination, false, true,
                          [this](const std::string& line, bool) { form_.AddToLog(line); });
    SelectWriter();
    ShowDestinationFreeSpace();
}

// A writer's drive, or a writer chosen, while the disc layer is up: the job writes to disc,
// erasing first when asked and the disc in the drive can be erased. The drive is only asked
// (TEST UNIT READY, then its disc): leaving a field never loads a tray. The transport is
// loaded again when it went, and released after, as the drives tab leaves it.
void TJobTab::SelectWriter() {
    Destination.DiscWriterMode = false;
    Destination.EraseFirst = false;
    if (!form_.AspiLoaded) return;
    const std::string& path = Destination.DestPath;
    const char letter = path.size() >= 2 && path[1] == ':'
                            ? static_cast<char>(toupper(static_cast<unsigned char>(path[0])))
                            : '\0';
    const int chosen = ComboBox2->ItemIndex();
    const bool writer = (letter && form_.CDDriveList.find(letter) != std::string::npos) || chosen > 0;
    job::DiscWriter& disc = form_.JobDiscWriter();
    try {
        if (disc.Load(form_.CreationSettings().useInternalASPI) && writer) {
            const bool named = chosen > 0 && static_cast<size_t>(chosen) < form_.WriterChoices.size();
            if (disc.Select(named ? form_.WriterChoices[chosen] : std::string(), letter)) {
                Destination.DiscWriterMode = true;
                const job::DiscRoomFacts facts = disc.DiscFacts(eraseReadyMs);
                Destination.EraseFirst =
                    (EraseCD->Checked() || FullEraseCD->Checked()) && job::CanEraseFirst(facts);
                Destination.DestFreeSpace = job::DiscFreeBytes(facts);
            }
        }
    } catch (const std::exception& error) {
        form_.AddToLog("The destination is taken as a drive or folder after an error: " +
                       std::string(error.what()));
        Destination.DiscWriterMode = false;
        Destination.EraseFirst = false;
    }
    disc.Release();
}

void TJobTab::ComboBox2CloseUp() {
    ComboBox2->SetDroppedWidth(69);
    if (!Editable() || form_.Session.Job.ReadOnly) return;
    const int index = ComboBox2->ItemIndex();
    form_.Session.Job.WriterIndex = std::max(index, 0);
    if (index >= 0) {
        const std::string text = job::WithWriterLetter(Edit7->Text(), ComboBox2->Items()[index]);
        if (text != Edit7->Text()) {
            Edit7->SetText(text);
            form_.Session.Job.Destination = text;
            std::string parsed = text;
            DestList = job::ParseDestinations(parsed);
            Destination.DestPath = DestList.empty() ? std::string() : DestList.front();
            Destination.DestDrive = job::DriveOfPath(Destination.DestPath);
        }
    }
    ShowDestinationFreeSpace();
}

// A disc writer's room is what the drive said when the destination was left; a drive or
// folder is asked anew.
void TJobTab::ShowDestinationFreeSpace() {
    if (form_.Flags().Hidden) return;
    if (!Destination.DiscWriterMode) Destination.DestFreeSpace = job::DriveFreeBytes(Destination.DestDrive);
    ShowFreeSpace(Destination.DestFreeSpace);
}

void TJobTab::ShowFreeSpace(int64_t bytes) {
    if (!form_.Flags().Hidden) Label3->SetCaption(job::FreeSpaceText(bytes));
}

void TJobTab::Edit2Change() {
    if (!Editable()) return;
    const std::string name = Edit2->Text();
    const std::string cleaned = job::CleanZipName(name);
    if (cleaned != name) {
        // The caret stays where the user was typing, less the characters removed before it.
        const int caret = Edit2->SelStart();
        const int removed = static_cast<int>(caret - job::CleanZipName(name.substr(0, caret)).size());
        form_.ShowBox(name + ", is not a valid filename", gui::TMsgButtons::OK, gui::TMsgIcon::Stop, 1);
        Edit2->SetText(cleaned);
        Edit2->SetSelStart(caret - removed);
    }
    form_.Session.Job.ZipName = cleaned;
}

void TJobTab::Edit1Exit() {
    if (!Editable()) return;
    const std::string text = Edit1->Text();
    if (text.empty()) return;
    try {
        core::StrToDateFixed(text, form_.Locale);
        form_.Session.Job.AfterDateText = text;
    } catch (const core::EConvertError&) {
        const std::string now = core::DateToStrFixed(gui::CurrentClock().Now(), form_.Locale);
        Edit1->SetText(now);
        form_.Session.Job.AfterDateText = now;
    }
}

void TJobTab::TrackBar1Change() {
    if (!Editable()) return;
    form_.Session.Job.CompressionLevel = TrackBar1->Position();
    const std::string hint = job::CompressionHint(TrackBar1->Position());
    TrackBar1->SetHint(hint);
    Label9->SetHint(hint);
    Label7->SetHint(hint);
}

void TJobTab::ShowZipNameColour() {
    Edit2->SetColor(form_.Session.Job.OverwriteExistingZipFile1 ? gui::clRed : gui::clWindow);
}

void TJobTab::OverwriteExistingZipFile1Click() {
    job::JobDefinition& job = form_.Session.Job;
    if (!job.OverwriteExistingZipFile1) {
        if (!Ask("Warning, if you have backup files with same names on the destination they will be "
                 "overwritten, "
                 "continue with this settings?"))
            return;
        job.OverwriteExistingZipFile1 = true;
    } else {
        job.OverwriteExistingZipFile1 = false;
    }
    OverwriteExistingZipFile1->SetChecked(job.OverwriteExistingZipFile1);
    ShowZipNameColour();
}

void TJobTab::SplitlargefilesClick() {
    job::JobDefinition& job = form_.Session.Job;
    if (!job.Splitlargefiles &&
        !Ask("Note, enabling split large files will result in zip files\rwhich may need manual testing if "
             "required.\rYou should only enable split large files if it is necessary.\rWould you like to "
             "continue with this settings."))
        return;
    job.Splitlargefiles = !job.Splitlargefiles;
    Splitlargefiles->SetChecked(job.Splitlargefiles);
}

void TJobTab::OptimizeusedspaceClick() {
    job::JobDefinition& job = form_.Session.Job;
    if (job.Optimizeusedspace &&
        !Ask(
            "Note, disabling optimise space is not recommended.\rIf you will accept that the program starts "
            "on a "
            "new file when it encounters a file which after compression\ris bigger than the space available "
            "within the max zipfile size it is OK to say yes?\r\rWhen the optimise space is disabled the "
            "files "
            "are saved in alphabetic order, but if you have files which\rafter compression are very big, you "
            "may lose a lot of space."))
        return;
    job.Optimizeusedspace = !job.Optimizeusedspace;
    Optimizeusedspace->SetChecked(job.Optimizeusedspace);
}

void TJobTab::IncludedriveinfoExecute() {
    job::JobDefinition& job = form_.Session.Job;
    job.Includedriveinfo = !job.Includedriveinfo;
    if (job.Includedriveinfo) job.IncludeFulldriveInfo = false;
    Includedriveinfo->SetChecked(job.Includedriveinfo);
    IncludeFulldriveInfo->SetChecked(job.IncludeFulldriveInfo);
}

void TJobTab::IncludeFulldriveInfoExecute() {
    job::JobDefinition& job = form_.Session.Job;
    if (!job.IncludeFulldriveInfo) {
        if (!Ask("Note, including the full drive information in the Zip file makes the Zip file incompatible "
                 "with "
                 "some Zip programs. Include the drive information?"))
            return;
        job.IncludeFulldriveInfo = true;
        job.Includedriveinfo = false;
    } else {
        job.IncludeFulldriveInfo = false;
    }
    Includedriveinfo->SetChecked(job.Includedriveinfo);
    IncludeFulldriveInfo->SetChecked(job.IncludeFulldriveInfo);
}

void TJobTab::SetPassWordExecute() {
    // The mismatch box too runs before the timer is back.
    TMF::TimerStopped stopped(form_);
    job::JobDefinition& job = form_.Session.Job;
    std::string first;
    if (!Entry("Use encryption password", first, true)) first.clear();
    job.ZipPassword = first;
    if (!first.empty()) {
        std::string second;
        if (!Entry("Confirm encryption password", second, true)) {
            job.ZipPassword.clear();
        } else {
            const std::string roundTrip =
                core::UnscrambleText(core::ScrambleText(first, core::ScrambleKey), core::ScrambleKey);
            if (roundTrip != second) {
                job.ZipPassword.clear();
                form_.ShowBox("Password not retyped correct, password cleared please try again",
                              gui::TMsgButtons::OK, gui::TMsgIcon::Stop, 1);
            } else {
                job.ZipPassword = second;
            }
        }
    }
    SetPassWord->SetChecked(!job.ZipPassword.empty());
}

std::string TJobTab::JobFolder() const {
    return core::UserDialogFolder(form_.Folders(), form_.Environment().ProgramFolder());
}

void TJobTab::OpenJobExecute() {
    gui::TFileDialogRequest request;
    request.Owner = form_.Handle();
    request.DefaultExt = "dat";
    request.Filter = jobFilter;
    request.InitialDir = JobFolder();
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    gui::ProcessMessages();
    if (!answer.Accepted || answer.Files.empty()) return;
    const std::string& file = answer.Files.front();
    try {
        if (form_.LoadJob(file)) lastJobFolder_ = core::FolderOf(file);
    } catch (const job::EJobFileError& error) {
        form_.AddToLog(error.what());
        form_.ShowBox(error.what(), gui::TMsgButtons::OK, gui::TMsgIcon::Stop, 1);
    }
}

void TJobTab::SaveJobExecute() {
    Edit1Exit();
    const std::string& name = form_.Flags().JobName;
    if (name.empty() || name == newJobName)
        SaveJobAsExecute();
    else
        SaveAndTell(name);
}

void TJobTab::SaveJobAsExecute() {
    Edit1Exit();
    gui::TFileDialogRequest request;
    request.Save = true;
    request.Owner = form_.Handle();
    request.DefaultExt = "dat";
    request.Filter = jobFilter;
    const std::string& name = form_.Flags().JobName;
    request.FileName =
        name.substr(name.find_last_of('\\') == std::string::npos ? 0 : name.find_last_of('\\') + 1);
    request.InitialDir = lastJobFolder_.empty() ? JobFolder() : lastJobFolder_;
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted || answer.Files.empty()) return;
    if (!SaveAndTell(answer.Files.front())) return;
    lastJobFolder_ = core::FolderOf(answer.Files.front());
    gui::Wait(1000, false);
    ShowEditable();
}

// The user asked for the save: a file that could not be written is told, not only logged.
bool TJobTab::SaveAndTell(const std::string& name) {
    if (form_.SaveJob(name)) return true;
    form_.ShowBox("Job file not saved: " + name, gui::TMsgButtons::OK, gui::TMsgIcon::Stop, 1);
    return false;
}

void TJobTab::NewJobExecute() {
    job::JobDefinition& job = form_.Session.Job;
    job.IncludeList.clear();
    job.ExcludeList.clear();
    job.ReadOnly = false;
    form_.Flags().JobName = newJobName;
    job.Testarchiveafterbackup1 = true;
    job.Optimizeusedspace = true;
    job.OverwriteExistingZipFile1 = false;
    job.OEMConvert = form_.Environment().os.major == 5 && form_.Environment().os.minor == 1;
    job.ZipName.clear();
    job.CatalogNames.clear();
    ShowJob();
    form_.UpdateTrayTip(core::JobBaseName(form_.Flags().JobName));
    form_.UpdateCaption();
}

void TJobTab::SetJobControlsEnabled(bool value) {
    for (gui::TControl* control :
         std::initializer_list<gui::TControl*>{RadioButton1, RadioButton2, CheckBox3, CheckBox1, Edit1, Edit2,
                                               Edit7, TrackBar1, ComboBox1, ListBox1, ListBox3})
        control->SetEnabled(value);
}

// The menu's options as the record holds them; a new window shows a new job's.
void TJobTab::ShowOptions() {
    const job::JobDefinition& job = form_.Session.Job;
    Testarchiveafterbackup1->SetChecked(job.Testarchiveafterbackup1);
    OverwriteExistingZipFile1->SetChecked(job.OverwriteExistingZipFile1);
    Allfilenames1->SetChecked(job.Allfilenames1);
    IncludeDateTime1->SetChecked(job.IncludeDateTime1);
    MakeCatalog->SetChecked(job.MakeCatalog);
    Includefolderinformation->SetChecked(job.Includefolderinformation);
    Optimizeusedspace->SetChecked(job.Optimizeusedspace);
    Splitlargefiles->SetChecked(job.Splitlargefiles);
    OEMConvert->SetChecked(job.OEMConvert);
    UseLastruntime->SetChecked(job.Uselasttime1);
    Includedriveinfo->SetChecked(job.Includedriveinfo);
    IncludeFulldriveInfo->SetChecked(job.IncludeFulldriveInfo);
    SetPassWord->SetChecked(!job.ZipPassword.empty());
}

void TJobTab::ShowJob() {
    const job::JobDefinition& job = form_.Session.Job;
    ListBox1->Items().Clear();
    ListBox1->Items().AddStrings(job.IncludeList);
    ListBox1->ResetWidth();
    ListBox1->WidenFor(job.IncludeList);
    ListBox3->Items().Clear();
    ListBox3->Items().AddStrings(job.ExcludeList);
    ListBox3->ResetWidth();
    ListBox3->WidenFor(job.ExcludeList);
    EditedIncludeIndex = EditedExcludeIndex = -1;
    RadioButton1->SetChecked(!job.ChangedOnly);
    RadioButton2->SetChecked(job.ChangedOnly);
    CheckBox3->SetChecked(job.UseAfterDate);
    Edit1->SetText(job.AfterDateText);
    CheckBox1->SetChecked(job.ClearArchiveBit);
    Edit7->SetText(job.Destination);
    std::string parsed = job.Destination;
    DestList = job::ParseDestinations(parsed);
    const std::string previousPath = Destination.DestPath;
    Destination.DestPath = DestList.empty() ? std::string() : DestList.front();
    Destination.DestDrive = job::DriveOfPath(Destination.DestPath);
    // Another destination is a drive or folder until its field is left.
    if (Destination.DestPath != previousPath) Destination.DiscWriterMode = Destination.EraseFirst = false;
    if (ComboBox2->Items().ToVector() != form_.WriterChoices) {
        ComboBox2->Items().Clear();
        ComboBox2->Items().AddStrings(form_.WriterChoices);
    }
    ComboBox2->SetItemIndex(job.WriterIndex < ComboBox2->Items().Count() ? job.WriterIndex : -1);
    Edit2->SetText(job.ZipName);
    ShowZipNameColour();
    ComboBox1->SetText(job.ZipSizeText);
    TrackBar1->SetRange(2, job::CompressionMaximum(form_.CreationSettings().maxZipFactor));
    TrackBar1->SetPosition(job.CompressionLevel);
    TrackBar1->SetHint(job::CompressionHint(TrackBar1->Position()));
    EraseCD->SetChecked(job.EraseCD);
    FullEraseCD->SetChecked(job.FullEraseCD);
    if (form_.CatalogTab) {
        form_.CatalogTab->CBCatalog->SetChecked(job.CBCatalog);
        form_.CatalogTab->EditCatName->SetText(job.CatalogNames);
    }
    ShowOptions();
    ShowEditable();
    // While a job runs its own steps show the room; a disc writer is asked when the field is left.
    if (Editable() && !Destination.DiscWriterMode) ShowDestinationFreeSpace();
}

} // namespace ui
