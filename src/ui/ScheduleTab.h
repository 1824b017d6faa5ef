#pragma once
// The Schedule tab: the kind buttons, weekday boxes, date and time fields, Add, Remove and
// "Remove old jobs", the two lists ("Jobs to run:" and "Schedules:") and the "S&tart Automatic"
// option. It owns the schedule list, reads and writes the ".sch" and ".sac" files and runs the
// evaluation (src/job/Schedules) for the main form, which calls it at creation, on show, on
// close and from the timer's minute work.
//
// Both files are replaced whole through a temporary file in their folder, so a crash or a full
// disk leaves the old file standing. The evaluation writes no log line on success: it runs
// every half hour for months.

#include "job/Schedules.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace gui {
class TAction;
class TButton;
class TCheckBox;
class TEdit;
class TLabel;
class TListBox;
class TMenuItem;
class TRadioButton;
class TSplitter;
} // namespace gui

namespace ui {

class TMF;

class TScheduleTab {
  public:
    explicit TScheduleTab(TMF& form);
    ~TScheduleTab();
    TScheduleTab(const TScheduleTab&) = delete;
    TScheduleTab& operator=(const TScheduleTab&) = delete;

    // Controls and actions under their published names.
    gui::TRadioButton* RadioButton6 = nullptr;  // Once
    gui::TRadioButton* RadioButton7 = nullptr;  // Monthly
    gui::TRadioButton* RadioButton8 = nullptr;  // Weekly
    gui::TRadioButton* RadioButton9 = nullptr;  // Daily
    gui::TRadioButton* RadioButton10 = nullptr; // Every
    std::array<gui::TCheckBox*, 7> Weekdays{};  // CheckBox4 (Monday) .. CheckBox10 (Sunday)
    gui::TEdit* Edit4 = nullptr;                // date
    gui::TEdit* Edit5 = nullptr;                // time or interval
    gui::TLabel* Label12 = nullptr;             // the time field's caption
    gui::TLabel* Label13 = nullptr;             // "Jobs to run:"
    gui::TLabel* Label14 = nullptr;             // "Schedules:"
    gui::TListBox* ListBox4 = nullptr;          // the runs
    gui::TSplitter* Splitter1 = nullptr;        // between the runs and the schedules
    gui::TButton* Button4 = nullptr;            // Add
    gui::TButton* Button5 = nullptr;            // Remove
    gui::TButton* Button8 = nullptr;            // Remove old jobs
    gui::TAction* SaveSchedule = nullptr;
    gui::TAction* RemoveSchedule = nullptr;
    gui::TAction* ClearJobToRun = nullptr;
    gui::TAction* AutoStart = nullptr;
    gui::TMenuItem* Startautomatic1 = nullptr;

    // The schedule list (the file's lines after the header, sorted) and each row's line.
    std::vector<std::string> JobList;
    std::vector<int> RowLines;
    bool ScheduleEvaluating = false;
    // Where "S&tart Automatic" writes; tests point it at a key of their own.
    HKEY RunKeyRoot = HKEY_LOCAL_MACHINE;
    std::string RunKeyPath = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

    std::string ScheduleFile() const;
    std::string RunQueueFile() const;
    // The schedule file's last write time (a file time); -1 when it does not exist.
    int64_t ScheduleFileAge() const;
    // The saved queue from the ".sac", when there is one (at creation, before the first evaluation).
    void LoadSavedRunQueue();
    void EvaluateSchedules();

    void SaveScheduleExecute();
    void RemoveScheduleExecute();
    void ClearJobToRunExecute();
    void AutoStartExecute();
    void RadioButton6Click();
    void RadioButton7Click();
    void RadioButton8Click();
    void RadioButton9Click();
    void RadioButton10Click();
    void CheckBox4Click();
    void Splitter1CanResize(int& newSize, bool& accept);
    void Splitter1Moved();
    void Panel6Resize();

  private:
    enum class TFileRead { Read, Missing, Unreadable };
    TFileRead ReadScheduleFile(std::string& text) const;
    bool MayRewriteScheduleFile();
    void Build();
    bool WriteScheduleFile();
    void AfterChange();
    bool AnyWeekday() const;
    void EnableField(gui::TEdit& field, bool enabled);
    void SuggestDate();
    void SuggestTime(bool interval);
    void SetTimeHint(const std::string& suffix);

    TMF& form_;
    bool scheduleFileUnreadable_ = false;
    std::set<std::string> reportedLinesWithoutJob_;
};

} // namespace ui
