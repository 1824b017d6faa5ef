#pragma once
// The disc side of the main window: the disc-writer frame and its replacement after every
// write and erase (write done, erase done), the drives tab (drives, speeds, capabilities
// cached in the settings, erases, eject, the disc side's settings), the burn status line, the
// import of the disc's earlier sessions, and burning one chosen file. It owns the flags a
// write runs by; every use of the disc component goes through Burner1(), which keeps the
// frame alive for as long as the use lasts.

#include "job/DiscSpeed.h"
#include "job/DiscWriteState.h"
#include "ui/CDBunit.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gui {
class TAction;
class TButton;
class TSpeedButton;
class TCanvas;
class TCheckBox;
class TComboBox;
class TDrawGrid;
class TEdit;
class TLabel;
} // namespace gui

namespace ui {

class TMF;
class TDiscTab;
class FileBurn;

// A use of the frame's component. While one lasts, a write or erase done that arrives in a
// pumping call of the component is put off and posted again when the last use ends.
class BurnerUse {
  public:
    BurnerUse(TDiscTab& tab, TFrameCDB& frame);
    ~BurnerUse();
    BurnerUse(const BurnerUse&) = delete;
    BurnerUse& operator=(const BurnerUse&) = delete;
    disc::TDiscBurner* operator->() { return &frame_.Burner1; }
    disc::TDiscBurner& operator*() { return frame_.Burner1; }

  private:
    TDiscTab& tab_;
    TFrameCDB& frame_;
};

class TDiscTab : public job::DiscWriteState {
  public:
    // frame: the frame the program made before the main form (none: one is made here).
    TDiscTab(TMF& form, std::unique_ptr<TFrameCDB> frame);
    ~TDiscTab();
    TDiscTab(const TDiscTab&) = delete;
    TDiscTab& operator=(const TDiscTab&) = delete;

    BurnerUse Burner1();
    TFrameCDB& FrameCDB() { return *frame_; }
    // The frame now: never none, also not while the one before it ends.
    const TFrameCDB* CurrentFrame() const { return frame_.get(); }
    std::shared_ptr<FrameReports> Reports() { return reports_; }
    static std::unique_ptr<TFrameCDB> MakeFrame(std::shared_ptr<FrameReports> reports);

    // Controls under their published names.
    gui::TComboBox* cbDrives = nullptr;
    gui::TComboBox* cbSpeed = nullptr;
    gui::TEdit* MaxPrefSpeed = nullptr;
    gui::TLabel* Label8 = nullptr;  // max write speed
    gui::TLabel* Label20 = nullptr; // max read speed
    gui::TLabel* Label21 = nullptr;
    gui::TDrawGrid* DGDevprob = nullptr;
    gui::TDrawGrid* DGDevProbUW = nullptr;
    gui::TButton* Button6 = nullptr;  // quick erase
    gui::TButton* Button7 = nullptr;  // complete erase
    gui::TButton* Button10 = nullptr; // eject
    gui::TButton* btBurnFileToCD = nullptr;
    gui::TEdit* EditRestSpace = nullptr;
    gui::TEdit* EditTempPath = nullptr;
    gui::TSpeedButton* SpeedButton3 = nullptr;
    gui::TAction* SelectTmpFolder = nullptr;
    gui::TCheckBox* CheckBox11 = nullptr; // "Use temp file"
    gui::TCheckBox* CBinternalAspi = nullptr;
    gui::TCheckBox* cbDoNotOpenCD = nullptr;
    gui::TCheckBox* CBLeaveCDopen = nullptr;

    // The state a write, an erase or a burn runs by (GUI thread only) is the base's; these
    // are the window's own.
    bool EjectAfterErase = false;
    int LastDeviceCode = 0;
    std::string LastDeviceText;
    std::string MediaKindText = "CD";
    bool SpeedListBusy = false;
    uint32_t CurDeviceCaps = 0;

    // The frame's messages: a write or an erase ended.
    void WMWriteDone(bool failed);
    void WMEraseDone(bool failed);

    // The drives tab.
    void cbDrivesChange();
    void ShowDriveSpeeds();
    void cbSpeedDropDown();
    void MaxPrefSpeedChange();
    void Button6Click() { Erase(true); }
    void Button7Click() { Erase(false); }
    void Button10Click();
    void EditRestSpaceExit();
    void EditTempPathExit();
    void SelectTmpFolderExecute();
    void CheckBox11Click();
    void CBinternalAspiClick();
    void DGDevprobDrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect);
    void DGDevProbUWDrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect);
    // A capability's mark from the frame's image list (bit < 0: none).
    void DrawMark(gui::TCanvas& canvas, int bit, const RECT& rect);

    // Write speed, status line and session import.
    int ApplyPreferredWriteSpeed();
    void UpdateBurnStatus();
    // The status tick's part when no disc routine runs: the room after a disc came or went.
    void MediaChangeTick();
    bool ImportSessionX();
    // The last ImportSessionX could not read the disc, as against finding no file system.
    bool SessionsUnread = false;
    int64_t DiscFreeBytes();
    // The speed the user chose in cbSpeed, set on the drive (none: the preferred speed).
    void ApplyChosenSpeed(bool dvd);

    // Burn one file.
    void btBurnFileToCDClick();

    // Anything of the disc side under way: a write, an erase or a burn routine.
    bool Busy();

    // The transport loaded as the drives tab says (device kept), and let go again unless a
    // write or an erase runs.
    bool InitTransport();
    void ReleaseTransport();

  private:
    friend class BurnerUse;
    friend class FileBurn;
    void Build();
    void Erase(bool quick);
    void ReplaceFrame();
    void EndUse();
    std::string DriverPath() const;
    // The component on the drive cbDrives shows, when it is on another (or none).
    void SelectShownDrive();
    // The drive's tray out and in again, as the write-done and erase-done handlers do it.
    void EjectAndReload(bool eject);
    bool ReadyWithin(int attempts);
    // A box titled "Tarnwick"; the default answer while hidden.
    int Box(const std::string& text, bool okCancel);
    void Status(const std::string& text);
    void WaitUntilRemovedThenLoad();
    bool JobBusy() const;
    void SetJobBusy(bool busy);
    bool OnlyOwnMark() const;
    void SetActionsEnabled(bool enabled);
    void BurnFile(const std::string& file);

    TMF& form_;
    std::shared_ptr<FrameReports> reports_;
    std::unique_ptr<TFrameCDB> frame_;
    std::optional<bool> deferredWriteDone_, deferredEraseDone_;
    bool statusTickRunning_ = false;
    bool readingDevices_ = false;
    bool markedBusy_ = false;
};

} // namespace ui
