#pragma once
// The Backup tab: the job editor. Its controls show Session.Job, the one record of the job,
// and write each change back to it at once (typing, leaving a field, a click); ShowJob puts
// the record into the controls after a load, a new job or a save. The destination field is
// taken apart by the job start's own parser, so the tab and the start agree on it.

#include "job/DriveSpace.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gui {
class TAction;
class TButton;
class TCheckBox;
class TComboBox;
class TEdit;
class TLabel;
class TListBox;
class TMenuItem;
class TPanel;
class TPopupMenu;
class TRadioButton;
class TSpeedButton;
class TTrackBar;
} // namespace gui

namespace ui {

class TMF;

class TJobTab {
  public:
    explicit TJobTab(TMF& form);
    TJobTab(const TJobTab&) = delete;
    TJobTab& operator=(const TJobTab&) = delete;

    // Controls under their published names.
    gui::TPanel* Panel12 = nullptr; // include list and its header
    gui::TPanel* Panel13 = nullptr; // include header
    gui::TPanel* Panel14 = nullptr; // exclude list and its header
    gui::TPanel* Panel15 = nullptr; // exclude header
    gui::TLabel* Label6 = nullptr;
    gui::TLabel* Label16 = nullptr;
    gui::TSpeedButton* SBFilestoBackup = nullptr;
    gui::TSpeedButton* SBFilesToExcl = nullptr;
    gui::TListBox* ListBox1 = nullptr; // include list
    gui::TListBox* ListBox3 = nullptr; // exclude list
    gui::TRadioButton* RadioButton1 = nullptr;
    gui::TRadioButton* RadioButton2 = nullptr;
    gui::TCheckBox* CheckBox3 = nullptr;
    gui::TEdit* Edit1 = nullptr;
    gui::TCheckBox* CheckBox1 = nullptr;
    gui::TLabel* Label8 = nullptr;
    gui::TEdit* Edit7 = nullptr;
    gui::TSpeedButton* SpeedButton1 = nullptr;
    gui::TComboBox* ComboBox2 = nullptr;
    gui::TLabel* Label3 = nullptr;
    gui::TLabel* Label5 = nullptr;
    gui::TEdit* Edit2 = nullptr;
    gui::TLabel* Label4 = nullptr;
    gui::TComboBox* ComboBox1 = nullptr;
    gui::TLabel* Label9 = nullptr;
    gui::TTrackBar* TrackBar1 = nullptr;
    gui::TLabel* Label7 = nullptr;
    gui::TCheckBox* EraseCD = nullptr;
    gui::TCheckBox* FullEraseCD = nullptr;
    gui::TButton* Button3 = nullptr; // the start
    gui::TPopupMenu* PopupMenuIncl = nullptr;
    gui::TPopupMenu* PopupMenuExcl = nullptr;

    // Actions.
    gui::TAction* OpenJob = nullptr;
    gui::TAction* SaveJob = nullptr;
    gui::TAction* SaveJobAs = nullptr;
    gui::TAction* NewJob = nullptr;
    gui::TAction* SelectDest = nullptr;
    gui::TAction* SetPassWord = nullptr;
    gui::TAction* MakeCatalog = nullptr;
    gui::TAction* UseLastruntime = nullptr;
    gui::TAction* Includedriveinfo = nullptr;
    gui::TAction* IncludeFulldriveInfo = nullptr;
    gui::TAction* InclRegistry = nullptr;
    gui::TAction* IncludeCatalog = nullptr;
    gui::TAction* SelectDir = nullptr;
    gui::TAction* AddExcludeFolder = nullptr;
    gui::TAction* RemoveFolder = nullptr;

    // Option menu items that are not actions.
    gui::TMenuItem* Testarchiveafterbackup1 = nullptr;
    gui::TMenuItem* OverwriteExistingZipFile1 = nullptr;
    gui::TMenuItem* Allfilenames1 = nullptr;
    gui::TMenuItem* IncludeDateTime1 = nullptr;
    gui::TMenuItem* Includefolderinformation = nullptr;
    gui::TMenuItem* Optimizeusedspace = nullptr;
    gui::TMenuItem* Splitlargefiles = nullptr;
    gui::TMenuItem* OEMConvert = nullptr;
    gui::TMenuItem* Showonjobstart1 = nullptr;

    // Editing state.
    int EditedIncludeIndex = -1;
    int EditedExcludeIndex = -1;
    bool DropOnIncludeList = false;
    bool DropOnExcludeList = false;
    // The destination as the field last gave it.
    std::vector<std::string> DestList;
    job::DestinationState Destination;

    // The record into the controls: after a load, a new job, a save.
    void ShowJob();
    void SetJobControlsEnabled(bool value);
    // Nothing of the tab changes the job while a job, burn or erase runs.
    bool Editable() const;
    // The controls enabled as Editable and the job file allow.
    void ShowEditable();

    // Handlers.
    void Edit7Exit();
    void SelectDestExecute();
    void ComboBox2CloseUp();
    void Edit2Change();
    void Edit1Exit();
    void TrackBar1Change();
    void ShowDestinationFreeSpace();
    void ShowFreeSpace(int64_t bytes);
    void OpenJobExecute();
    void SaveJobExecute();
    void SaveJobAsExecute();
    void NewJobExecute();
    void SetPassWordExecute();
    void OverwriteExistingZipFile1Click();
    void SplitlargefilesClick();
    void OptimizeusedspaceClick();
    void IncludedriveinfoExecute();
    void IncludeFulldriveInfoExecute();
    // The entry dialog for one list: an edited index below 0 adds.
    void EditEntry(bool include);
    void AddFolder(bool include);
    void AddFiles(bool include);
    void RemoveSelected(bool include);
    void AddPseudoEntry(const std::string& entry);
    void DropFiles(const std::vector<std::string>& files);
    // The initial folder of the job dialogs.
    std::string JobFolder() const;

  private:
    void Build();
    void BuildMenus();
    void ShowOptions();
    void WireLists();
    gui::TListBox& List(bool include) const { return include ? *ListBox1 : *ListBox3; }
    int& EditedIndex(bool include) { return include ? EditedIncludeIndex : EditedExcludeIndex; }
    // The list's items into the record.
    void ListChanged(bool include);
    // Adds unless refused; false when refused.
    bool AddEntry(bool include, const std::string& text);
    void ListKeyDown(bool include, unsigned short& key);
    bool DiscBusy() const;
    bool JobIdle() const;
    std::function<void()> WhenEditable(std::function<void()> handler);
    // Save or Save As asked by the user: a failure is shown in a box as well as logged.
    bool SaveAndTell(const std::string& name);
    void SelectWriter();
    bool Ask(const std::string& text);
    // The entry form, "*" mode when masked; false when not confirmed.
    bool Entry(const std::string& caption, std::string& text, bool masked);
    void ShowZipNameColour();

    TMF& form_;
    std::string lastJobFolder_;
    bool showing_ = false;
};

} // namespace ui
