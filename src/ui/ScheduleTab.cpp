#include "ui/ScheduleTab.h"

#include "core/Messages.h"
#include "core/MvRegistry.h"
#include "core/WinFolders.h"
#include "gui/Action.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/CompareText.h"
#include "gui/Edit.h"
#include "gui/FileText.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/Panel.h"
#include "gui/Splitter.h"
#include "gui/TextTrim.h"
#include "gui/Wait.h"
#include "ui/MFo.h"

#include <algorithm>

namespace ui {

namespace {

constexpr double suggestionAhead = 0.1;    // 2.4 hours
constexpr double intervalAhead = 0.01;     // 14.4 minutes
constexpr double takeNewHeadAfter = 0.001; // the timer takes the new head of the queue soon
constexpr unsigned timeHintMessage = 65140;
constexpr char noJobMessage[] = "There is no open backup job to schedule. Open or save a job first.";
// The splitter between the runs and the schedules: not above 21 pixels, and pulled up to 42
// pixels from the panel's foot when a resize leaves it within 40.
constexpr int splitterMinTop = 21;
constexpr int splitterLowestGap = 40;
constexpr int splitterLowestPlace = 42;
constexpr int splitterHeight = 3;
constexpr int labelGap = 5;

// Clears the flag on every way out of an evaluation or a rewrite.
class TEvaluatingGuard {
  public:
    explicit TEvaluatingGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~TEvaluatingGuard() { flag_ = false; }
    TEvaluatingGuard(const TEvaluatingGuard&) = delete;
    TEvaluatingGuard& operator=(const TEvaluatingGuard&) = delete;

  private:
    bool& flag_;
};

std::string WithoutDesignator(std::string text) {
    const auto upper = gui::UpperCaseI(text);
    if (upper.find("AM") != std::string::npos || upper.find("PM") != std::string::npos)
        text = text.substr(0, text.size() >= 2 ? text.size() - 2 : 0);
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

TScheduleTab::TScheduleTab(TMF& form) : form_(form) {
    Build();
    form_.OnEvaluateSchedules = [this] { EvaluateSchedules(); };
    form_.OnScheduleFileAge = [this] { return ScheduleFileAge(); };
}

TScheduleTab::~TScheduleTab() {
    form_.OnEvaluateSchedules = nullptr;
    form_.OnScheduleFileAge = nullptr;
}

void TScheduleTab::Build() {
    gui::TTabSheet& page = *form_.TabSheet2;
    const int pageWidth = form_.ClientWidth() - 16, pageHeight = form_.ClientHeight() - 80;
    auto radio = [&](const char* name, int top, const char* caption) {
        return &form_.Create<gui::TRadioButton>(page, name, gui::TBounds{4, top, 80, 18}, caption);
    };
    RadioButton6 = radio("RadioButton6", 4, "O&nce");
    RadioButton7 = radio("RadioButton7", 24, "&Monthly");
    RadioButton8 = radio("RadioButton8", 44, "&Weekly");
    RadioButton9 = radio("RadioButton9", 64, "&Daily");
    RadioButton10 = radio("RadioButton10", 84, "E&very");
    static const char* const dayNames[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                            "Friday", "Saturday", "Sunday "};
    for (int day = 0; day < 7; ++day) {
        Weekdays[static_cast<size_t>(day)] =
            &form_.Create<gui::TCheckBox>(page, "CheckBox" + std::to_string(4 + day),
                                          gui::TBounds{90, 4 + 18 * day, 86, 18}, dayNames[day]);
        Weekdays[static_cast<size_t>(day)]->OnClick = [this] { CheckBox4Click(); };
    }
    form_.Create<gui::TLabel>(page, "Label11", gui::TBounds{4, 134, 160, 14}, "D&ate");
    Edit4 = &form_.Create<gui::TEdit>(page, "Edit4", gui::TBounds{4, 150, 170, 21});
    Label12 = &form_.Create<gui::TLabel>(page, "Label12", gui::TBounds{4, 176, 160, 14}, "&Time");
    Edit5 = &form_.Create<gui::TEdit>(page, "Edit5", gui::TBounds{4, 192, 170, 21});

    SaveSchedule = &form_.Create<gui::TAction>(form_, "SaveSchedule", "&Add");
    SaveSchedule->OnExecute = [this] { SaveScheduleExecute(); };
    RemoveSchedule = &form_.Create<gui::TAction>(form_, "RemoveSchedule", "&Remove");
    RemoveSchedule->OnExecute = [this] { RemoveScheduleExecute(); };
    ClearJobToRun = &form_.Create<gui::TAction>(form_, "ClearJobToRun", "Remove old jobs");
    ClearJobToRun->OnExecute = [this] { ClearJobToRunExecute(); };
    AutoStart = &form_.Create<gui::TAction>(form_, "AutoStart", "S&tart Automatic");
    AutoStart->OnExecute = [this] { AutoStartExecute(); };
    Button4 = &form_.Create<gui::TButton>(page, "Button4", gui::TBounds{4, 224, 82, 25}, "&Add");
    Button4->SetAction(SaveSchedule);
    Button5 = &form_.Create<gui::TButton>(page, "Button5", gui::TBounds{92, 224, 82, 25}, "Remo&ve");
    Button5->SetAction(RemoveSchedule);
    Button5->SetCaption("Remo&ve");
    Button8 = &form_.Create<gui::TButton>(page, "Button8", gui::TBounds{4, 254, 170, 25}, "Remove old jobs");
    Button8->SetAction(ClearJobToRun);

    // "Jobs to run:" above the panel; in it the runs, the splitter, "Schedules:" and the schedules.
    const int listLeft = 184, listWidth = pageWidth - listLeft, panelTop = 20;
    const int panelHeight = pageHeight - panelTop, half = panelHeight / 2;
    Label13 = &form_.Create<gui::TLabel>(page, "Label13", gui::TBounds{listLeft, 4, 160, 14}, "Jobs to run:");
    gui::TPanel& panel = *form_.Panel6;
    ListBox4 = &form_.Create<gui::TListBox>(panel, "ListBox4", gui::TBounds{0, 0, listWidth, half});
    Splitter1 =
        &form_.Create<gui::TSplitter>(panel, "Splitter1", gui::TBounds{0, half, listWidth, splitterHeight},
                                      *ListBox4, gui::TSplitterKind::Horizontal);
    Splitter1->MinSize = splitterMinTop;
    Splitter1->OnCanResize = [this](int& newSize, bool& accept) { Splitter1CanResize(newSize, accept); };
    Splitter1->OnMoved = [this] { Splitter1Moved(); };
    Label14 = &form_.Create<gui::TLabel>(panel, "Label14", gui::TBounds{0, half + 8, 160, 14}, "Schedules:");
    panel.OnResize = [this] { Panel6Resize(); };
    panel.SetBounds(listLeft, panelTop, listWidth, panelHeight);
    Panel6Resize();

    if (auto* files = form_.FindOrNull<gui::TMenuItem>("Files")) {
        Startautomatic1 = &files->Add("Startautomatic1", "S&tart Automatic");
        Startautomatic1->AutoCheck = true;
        Startautomatic1->SetChecked(form_.Startautomatic);
        Startautomatic1->OnClick = [this] { AutoStartExecute(); };
    }

    RadioButton6->OnClick = [this] { RadioButton6Click(); };
    RadioButton7->OnClick = [this] { RadioButton7Click(); };
    RadioButton8->OnClick = [this] { RadioButton8Click(); };
    RadioButton9->OnClick = [this] { RadioButton9Click(); };
    RadioButton10->OnClick = [this] { RadioButton10Click(); };
    RadioButton8->SetChecked(true);
    RadioButton8Click();
}

// Not above 21 pixels; and not lower than a resize of the panel would pull it up to, so a drag
// cannot hide "Schedules:".
void TScheduleTab::Splitter1CanResize(int& newSize, bool& accept) {
    accept = true;
    newSize = std::max(std::min(newSize, form_.Panel6->Height() - splitterLowestPlace), splitterMinTop);
}

// "Schedules:" follows the splitter, the schedules fill the rest of the panel.
void TScheduleTab::Splitter1Moved() {
    gui::TPanel& panel = *form_.Panel6;
    const int width = panel.Width();
    Label14->SetTop(Splitter1->Top() + Splitter1->Height() + labelGap);
    const int listTop = Label14->Top() + Label14->Height() + 2;
    ListBox4->SetWidth(width);
    Splitter1->SetWidth(width);
    form_.ListBox2->SetBounds(0, listTop, width, std::max(panel.Height() - listTop, 0));
}

// A smaller panel pulls the splitter up so "Schedules:" stays in sight; it never goes above
// its lowest place.
void TScheduleTab::Panel6Resize() {
    const int height = form_.Panel6->Height();
    if (Splitter1->Top() > height - splitterLowestGap) {
        ListBox4->SetHeight(height - splitterLowestPlace);
        Splitter1->SetTop(height - splitterLowestPlace);
    }
    if (Splitter1->Top() < splitterMinTop) {
        ListBox4->SetHeight(splitterMinTop);
        Splitter1->SetTop(splitterMinTop);
    }
    Splitter1Moved();
}

std::string TScheduleTab::ScheduleFile() const {
    return form_.ResumeStatePath(".sch");
}

std::string TScheduleTab::RunQueueFile() const {
    return form_.ResumeStatePath(".sac");
}

int64_t TScheduleTab::ScheduleFileAge() const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(ScheduleFile().c_str(), GetFileExInfoStandard, &data)) return -1;
    // The file time itself: a DOS date read as a signed number turns negative in 2044, and a
    // local time goes back an hour when summer time ends.
    return static_cast<int64_t>(static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                data.ftLastWriteTime.dwLowDateTime);
}

void TScheduleTab::LoadSavedRunQueue() {
    std::string text;
    if (gui::ReadWholeFile(RunQueueFile(), text)) form_.SavedRunQueue = job::SplitTextLines(text);
}

TScheduleTab::TFileRead TScheduleTab::ReadScheduleFile(std::string& text) const {
    if (gui::ReadWholeFile(ScheduleFile(), text)) return TFileRead::Read;
    // Held open by another program without read sharing, or not ours to read: not a missing
    // file, which the next Add or Remove would write afresh without its schedules.
    return core::FileExists(ScheduleFile()) ? TFileRead::Unreadable : TFileRead::Missing;
}

void TScheduleTab::EvaluateSchedules() {
    if (ScheduleEvaluating) return;
    TEvaluatingGuard guard(ScheduleEvaluating);
    std::string text;
    const TFileRead read = ReadScheduleFile(text);
    if (read == TFileRead::Unreadable) {
        // What is shown stays; one line until the file can be read again.
        if (!scheduleFileUnreadable_)
            form_.AddToLog("The schedule file could not be read, the schedules shown are kept: " +
                           ScheduleFile());
        scheduleFileUnreadable_ = true;
        return;
    }
    scheduleFileUnreadable_ = false;
    form_.ListBox2->Items().Clear();
    JobList.clear();
    RowLines.clear();

    job::ScheduleInput input;
    if (read == TFileRead::Read) input.scheduleFile = text;
    input.runQueue = form_.RunQueue;
    input.savedRunQueue = form_.SavedRunQueue;
    input.nextRunTime = form_.NextRunTime;
    input.nextRunJob = form_.NextRunJob;
    input.startedRunDue = form_.StartedRunDue;
    input.now = gui::CurrentClock().Now();
    input.locale = form_.Locale;
    job::ScheduleResult result = job::EvaluateSchedules(input);
    if (!result.scheduleFileFound) return;
    for (const std::string& line : result.linesWithoutJob)
        if (reportedLinesWithoutJob_.insert(line).second)
            form_.AddToLog("A schedule without a job is left out: " + line);

    form_.RunQueue = result.runQueue;
    form_.SavedRunQueue = std::move(result.runQueue);
    ListBox4->Items().Clear();
    ListBox4->Items().AddStrings(result.runRows);
    if (!gui::ReplaceFileContents(RunQueueFile(), result.runQueueFile))
        form_.AddToLog("The saved queue of runs could not be written: " + RunQueueFile());

    JobList = std::move(result.scheduleList);
    RowLines = std::move(result.scheduleRowLines);
    form_.ListBox2->Items().AddStrings(result.scheduleRows);
}

// A file that exists but cannot be read is not rewritten from what was shown: another program
// may hold schedules the list does not know.
bool TScheduleTab::MayRewriteScheduleFile() {
    std::string text;
    if (ReadScheduleFile(text) != TFileRead::Unreadable) return true;
    form_.AddToLog("The schedule file could not be read, nothing was changed: " + ScheduleFile());
    return false;
}

// The whole file replaced at once; one more try after a second, as a file held open briefly by
// another program (a virus scanner) should not lose the change.
bool TScheduleTab::WriteScheduleFile() {
    const std::string text = job::ScheduleFileText(JobList);
    bool written = gui::ReplaceFileContents(ScheduleFile(), text);
    if (!written) {
        gui::Wait(1000, false);
        written = gui::ReplaceFileContents(ScheduleFile(), text);
    }
    if (!written)
        form_.AddToLog("The schedule file could not be written: " + ScheduleFile());
    else
        form_.ScheduleFileAge = ScheduleFileAge();
    return written;
}

void TScheduleTab::AfterChange() {
    EvaluateSchedules();
    form_.NextRunTime = gui::CurrentClock().Now() + takeNewHeadAfter;
    form_.NextRunJob.clear();
}

void TScheduleTab::SaveScheduleExecute() {
    if (ScheduleEvaluating) return;
    job::ScheduleRequest request;
    request.kind = RadioButton6->Checked()    ? job::ScheduleKind::Once
                   : RadioButton7->Checked()  ? job::ScheduleKind::Monthly
                   : RadioButton9->Checked()  ? job::ScheduleKind::Daily
                   : RadioButton10->Checked() ? job::ScheduleKind::Every
                                              : job::ScheduleKind::Weekly;
    for (size_t day = 0; day < 7; ++day)
        request.weekdays[day] = Weekdays[day]->Checked();
    request.dateText = Edit4->Text();
    request.timeText = Edit5->Text();
    request.job = form_.Flags().JobName;
    // A run needs a job file to start: none is open after a fresh install (the default name
    // has no file), after a crashed start, or while a new job is not saved yet.
    if (gui::Trim(request.job).empty() || !gui::SameTextI(form_.Session.LoadedJobName, request.job)) {
        form_.ShowBox(noJobMessage, gui::TMsgButtons::OK, gui::TMsgIcon::Exclamation, 1);
        return;
    }
    // Every field is checked before anything is added: all lines or none.
    const std::optional<std::vector<std::string>> lines = job::MakeScheduleLines(request, form_.Locale);
    if (!lines || !MayRewriteScheduleFile()) return;
    {
        TEvaluatingGuard guard(ScheduleEvaluating);
        std::vector<std::string> list = JobList;
        for (const std::string& line : *lines)
            job::InsertScheduleLine(list, line);
        JobList = std::move(list);
        WriteScheduleFile();
    }
    AfterChange();
}

void TScheduleTab::RemoveScheduleExecute() {
    if (ScheduleEvaluating || !MayRewriteScheduleFile()) return;
    {
        TEvaluatingGuard guard(ScheduleEvaluating);
        std::vector<int> selected;
        for (int row = form_.ListBox2->Items().Count() - 1; row >= 0; --row)
            if (form_.ListBox2->Selected(row)) selected.push_back(row);
        job::RemoveScheduleRows(JobList, RowLines, selected);
        for (int row : selected)
            form_.ListBox2->Items().Delete(row);
        WriteScheduleFile();
    }
    AfterChange();
}

void TScheduleTab::ClearJobToRunExecute() {
    form_.SavedRunQueue.clear();
    EvaluateSchedules();
}

void TScheduleTab::AutoStartExecute() {
    const bool on = Startautomatic1 ? Startautomatic1->Checked() : !form_.Startautomatic;
    form_.Startautomatic = on;
    bool done = false;
    try {
        core::TRegistry registry;
        registry.SetRootKey(RunKeyRoot);
        if (registry.OpenKey(RunKeyPath, true)) {
            // An absent value is as good as a deleted one.
            if (on) registry.WriteString("Tarnwick", "\"" + form_.Environment().programPath + "\" /A");
            done = on || !registry.ValueExists("Tarnwick") || registry.DeleteValue("Tarnwick");
        }
    } catch (const core::ERegistryException&) {
        done = false;
    }
    if (!done)
        form_.ShowBox("You need administrator rights to enable the auto run of Tarnwick",
                      gui::TMsgButtons::OK, gui::TMsgIcon::Stop, 1);
}

bool TScheduleTab::AnyWeekday() const {
    return std::any_of(Weekdays.begin(), Weekdays.end(), [](gui::TCheckBox* box) { return box->Checked(); });
}

void TScheduleTab::EnableField(gui::TEdit& field, bool enabled) {
    field.SetEnabled(enabled);
    if (!enabled) field.SetText("");
    field.SetColor(enabled ? gui::clWindow : gui::clBtnFace);
}

// An empty date, one that does not convert or one not later than Now becomes Now + 2.4 hours.
void TScheduleTab::SuggestDate() {
    EnableField(*Edit4, true);
    const double now = gui::CurrentClock().Now();
    bool keep = false;
    try {
        keep = !Edit4->Text().empty() && core::StrToDateFixed(Edit4->Text(), form_.Locale) > now;
    } catch (const core::EConvertError&) {
    }
    if (!keep) Edit4->SetText(core::DateToStrFixed(now + suggestionAhead, form_.Locale));
}

void TScheduleTab::SuggestTime(bool interval) {
    EnableField(*Edit5, true);
    const double now = gui::CurrentClock().Now();
    if (interval) {
        Edit5->SetText(WithoutDesignator(Edit5->Text()));
        if (!job::ParseTimeText(Edit5->Text(), form_.Locale))
            Edit5->SetText(
                WithoutDesignator(gui::UpperCaseI(job::TimeText(now + intervalAhead, form_.Locale))));
        return;
    }
    if (!job::ParseTimeText(Edit5->Text(), form_.Locale))
        Edit5->SetText(job::TimeText(now + suggestionAhead, form_.Locale));
}

void TScheduleTab::SetTimeHint(const std::string& suffix) {
    Edit5->SetHint(core::LoadMessage(timeHintMessage) + suffix);
}

void TScheduleTab::RadioButton6Click() {
    for (gui::TCheckBox* box : Weekdays)
        box->SetEnabled(false);
    SuggestDate();
    EnableField(*Edit5, false);
    Label12->SetCaption("&Time");
    SetTimeHint(job::TimeText(gui::CurrentClock().Now(), form_.Locale));
}

void TScheduleTab::RadioButton7Click() {
    for (gui::TCheckBox* box : Weekdays)
        box->SetEnabled(true);
    if (AnyWeekday()) {
        EnableField(*Edit4, false);
        SuggestTime(false);
    } else {
        SuggestDate();
        EnableField(*Edit5, false);
    }
    Label12->SetCaption("&Time");
    SetTimeHint(job::TimeText(gui::CurrentClock().Now(), form_.Locale));
}

void TScheduleTab::RadioButton8Click() {
    for (gui::TCheckBox* box : Weekdays)
        box->SetEnabled(true);
    EnableField(*Edit4, false);
    SuggestTime(false);
    Label12->SetCaption("&Time");
    SetTimeHint(job::TimeText(gui::CurrentClock().Now(), form_.Locale));
}

void TScheduleTab::RadioButton9Click() {
    for (gui::TCheckBox* box : Weekdays)
        box->SetEnabled(false);
    EnableField(*Edit4, false);
    SuggestTime(false);
    Label12->SetCaption("&Time");
    SetTimeHint(job::TimeText(gui::CurrentClock().Now() + intervalAhead, form_.Locale));
}

void TScheduleTab::RadioButton10Click() {
    for (gui::TCheckBox* box : Weekdays)
        box->SetEnabled(false);
    EnableField(*Edit4, false);
    SuggestTime(true);
    Label12->SetCaption("Ever&y");
    SetTimeHint(WithoutDesignator(
        gui::UpperCaseI(job::TimeText(gui::CurrentClock().Now() + intervalAhead, form_.Locale))));
}

void TScheduleTab::CheckBox4Click() {
    if (AnyWeekday()) {
        EnableField(*Edit4, false);
        SuggestTime(false);
    } else if (!RadioButton8->Checked() && !RadioButton9->Checked()) {
        SuggestDate();
        EnableField(*Edit5, false);
    }
}

} // namespace ui
