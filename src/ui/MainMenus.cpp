// The menu commands of no single tab, what a tab change does per page, the switching of the
// job actions while a job, burn or erase runs, the program log's copy and the log opener.
// Commands the user gives run in a user-command scope: their questions show even while the
// program is hidden, since the user is there to answer them.
#include "core/Messages.h"
#include "core/PathText.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/ComboBox.h"
#include "gui/CompareText.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/Memo.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/Prompter.h"
#include "gui/Shell.h"
#include "ui/CatalogTab.h"
#include "ui/JobTab.h"
#include "ui/MFo.h"
#include "ui/MFoDiscs.h"
#include "ui/MFoRestore.h"
#include "ui/SmallDialogs.h"

#include <windows.h>

namespace ui {

void TMF::BuildMainMenus() {
    auto action = [this](const char* name, const char* caption, std::function<void()> execute) {
        gui::TAction* made = &Create<gui::TAction>(*this, name, caption);
        made->OnExecute = std::move(execute);
        return made;
    };
    SaveLog = action("SaveLog", "&Save log...", [this] { SaveLogExecute(); });
    OpenLogFile = action("OpenLogFile", "&Open log file...", [this] { OpenLogFileExecute(); });
    HelpIndhold = action("HelpIndhold", "&Contents", [this] {
        gui::Shell().Help(Handle(), environment_.ProgramFolder() + "Quillet.hlp", HELP_FINDER, 0);
    });
    inclSysState = action("inclSysState", "Include &system state backup",
                          [this] { JobTab->AddPseudoEntry("%SYSTEMSTATE%"); });
    JobTab->PopupMenuIncl->Add("inclSysState1", "Include &system state backup").SetAction(inclSysState);

    gui::TMenuItem& log = Find<gui::TMenuItem>("Log1");
    log.Add("SaveLog1", "&Save log...").SetAction(SaveLog);
    log.Add("OpenLogFile1", "&Open log file...").SetAction(OpenLogFile);
    gui::TMenuItem& files = Find<gui::TMenuItem>("Files");
    gui::TMenuItem& showHint = files.Add("Showhint1", "Show &hints");
    showHint.SetChecked(Showhint);
    showHint.OnClick = [this, &showHint] {
        showHint.SetChecked(!showHint.Checked());
        Showhint = showHint.Checked();
        SetShowHint(Showhint);
        SaveSettings();
    };
    gui::TMenuItem& help = MainMenu1->Add("Help1", "&Help");
    help.Add("HelpIndhold1", "&Contents").SetAction(HelpIndhold);
    help.Add("WebSite1", "&Web site").OnClick = [] { gui::Shell().Open(TAboutDlg::WebSite); };
    help.Add("About1", "&About...").SetAction(AboutDlgShow);

    BuildServiceMenu();
}

void TMF::PageControl1Change() {
    LogViewStale = true;
    if (flags_.Hidden) flags_.Hidden = Handle() != GetForegroundWindow();
    gui::TTabSheet* page = PageControl1->ActivePage();
    SetDragAcceptFiles(page == TabSheet1);
    if (page == TabSheet1) {
        UpdateTrayTip(core::JobBaseName(flags_.JobName));
        UpdateCaption();
        // The controls first: a job, or a read-only job file, keeps them disabled.
        JobTab->ShowEditable();
        if (JobTab->RadioButton1->CanFocus())
            JobTab->RadioButton1->SetFocus();
        else if (JobTab->Button3->CanFocus())
            JobTab->Button3->SetFocus();
    } else if (page == TabSheet4) {
        if (RestoreTab && RestoreTab->DrawGrid1->CanFocus()) RestoreTab->DrawGrid1->SetFocus();
        UpdateTrayTip(core::JobBaseName(OpenZipName));
        UpdateCaption();
    } else if (page == TabSheetCat) {
        UpdateCaption();
        if (CatalogTab) {
            if (CatalogTab->DrawGrid2->CanFocus()) CatalogTab->DrawGrid2->SetFocus();
            const bool open = !CatalogTab->Edit8->Text().empty();
            for (gui::TAction* action : {CatalogTab->RemoveDupFromCat, CatalogTab->CatalogRemoveZip,
                                         CatalogTab->CatalogAddZip, CatalogTab->RestoreOpenZipfile})
                action->SetEnabled(open);
            CatalogTab->Button9->SetEnabled(open);
        }
    } else if (page == TabSheet3) {
        if (Memo1->CanFocus()) Memo1->SetFocus();
    } else if (page == TabSheet5) {
        if (DiscTab && DiscTab->cbDrives->Items().Count() > 0 && !DiscTab->Busy()) DiscTab->cbDrivesChange();
    } else {
        UpdateTrayTip(core::JobBaseName(flags_.JobName));
        UpdateCaption();
    }
}

void TMF::SetActionsEnabled(bool enabled) {
    actionsEnabled_ = enabled;
    for (gui::TAction* action : {JobTab->OpenJob, JobTab->SaveJob, JobTab->SaveJobAs, JobTab->SelectDest,
                                 JobTab->NewJob, JobTab->MakeCatalog})
        action->SetEnabled(enabled);
    for (const char* name :
         {"Allfilenames1", "IncludeDateTime1", "OverwriteExistingZipFile1", "Filestobackup1",
          "Filestoexclude1", "Uselasttime1", "Usepassword1", "IncludefulldriveinfoinZipfile1",
          "Includedriveinfoasfolder1", "Testarchiveafterbackup1", "Includefolderinformation",
          "Optimizeusedspace", "Splitlargefiles", "OEMConvert"})
        if (auto* item = FindOrNull<gui::TMenuItem>(name)) item->SetEnabled(enabled);
    JobTab->PopupMenuIncl->SetItemsEnabled(enabled);
    JobTab->PopupMenuExcl->SetItemsEnabled(enabled);
    for (const char* name : {"cbDrives", "CBinternalAspi", "cbSpeed", "Button6", "Button7", "EditTempPath",
                             "btBurnFileToCD", "ComboBox2"})
        if (auto* control = FindOrNull<gui::TControl>(name)) control->SetEnabled(enabled);
    // The lists, options and destination of the job tab: a job in progress reads them.
    JobTab->ShowEditable();
}

void TMF::DisableActions() {
    SetActionsEnabled(false);
}

void TMF::EnableActions() {
    SetActionsEnabled(true);
    // The transport is loaded for a job, burn or erase only; it is let go when they end.
    if (DiscTab) DiscTab->ReleaseTransport();
}

void TMF::SaveLogExecute() {
    gui::TFileDialogRequest request;
    request.Save = true;
    request.Owner = Handle();
    request.Filter = core::LoadMessage(65078) + " (*.txt)|*.TXT";
    request.FileName = saveLogName_;
    if (!saveLogName_.empty() && saveLogName_.find('\\') != std::string::npos)
        request.InitialDir = saveLogName_.substr(0, saveLogName_.find_last_of('\\') + 1);
    else
        request.InitialDir = core::UserDialogFolder(folders_, environment_.ProgramFolder());
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted || answer.Files.empty()) return;
    const std::string& file = answer.Files.front();
    saveLogName_ = file;
    // A copy onto itself would truncate the log it copies.
    if (gui::SameTextI(file, ProgramLogPath())) {
        AddToLog("The log cannot be saved over itself: " + file);
        return;
    }
    if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES &&
        ShowBox("The file: " + file + " exists, overwrite?", gui::TMsgButtons::YesNo, gui::TMsgIcon::Stop,
                2) != gui::mrYes)
        return;
    if (!CopyFileA(ProgramLogPath().c_str(), file.c_str(), FALSE)) AddToLog("Log not saved: " + file);
}

void TMF::OpenLogFileExecute() {
    gui::TFileDialogRequest request;
    request.Owner = Handle();
    request.DefaultExt = "txt";
    request.Filter = core::LoadMessage(65086) + "|*.txt";
    request.InitialDir =
        (folders_.perUserDataOn && !folders_.dataDir.empty() ? folders_.dataDir
                                                             : environment_.ProgramFolder()) +
        "Log\\";
    const gui::TFileDialogAnswer answer = gui::Prompter().FileDialog(request);
    if (!answer.Accepted || answer.Files.empty()) return;
    if (!gui::Shell().Open(answer.Files.front())) AddToLog("Could not open " + answer.Files.front());
}

} // namespace ui
