// The start-up sequence: the disc transport and the drives (with their cache in the
// program-folder settings file), the saved window state, the offer to resume an unfinished
// job, the backup reminder, a job named on the command line and the Run value that starts
// the program at logon. It runs once, from the timer's WM_USER+121.
#include "ui/MFo.h"

#include "core/FuncMin.h"
#include "core/Messages.h"
#include "core/MvRegistry.h"
#include "core/ProgramBox.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/FileAttributes.h"
#include "gui/Label.h"
#include "gui/Menu.h"
#include "gui/Screen.h"
#include "gui/Shell.h"
#include "gui/TextTrim.h"
#include "gui/Wait.h"
#include "job/JobStartRules.h"
#include "job/RunStateWin.h"
#include "ui/DriveDetector.h"
#include "ui/ScheduleTab.h"
#include "ui/SmallDialogs.h"

#include <cmath>

namespace ui {

namespace {
constexpr char statusTitle[] = "Tarnwick";
constexpr char readingProperties[] = "Reading properties";
constexpr char slowDrives[] =
    "Some CD/DVD devices are responding very slow if they are empty, you may try to "
    "place a CD/DVD in your drive to speed up the process";
constexpr char transportError[] = "Error initializing ASPI Layer, you can not use your CD / DVD drive.";
constexpr char runKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr int capabilityBits = 19;

// Only drive letters belong in the cached drive lists; anything else there is damage.
std::string LettersOnly(const std::string& text) {
    std::string letters;
    for (char c : text)
        if (c >= 'A' && c <= 'Z') letters += c;
    return letters;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
} // namespace

void TMF::CreateStartUpParts() {
    AppMsg1 = std::make_unique<TAppMsg>(Handle());
    ChgFile1 = std::make_unique<TChgFile>(Handle());
    NoAspi1 = std::make_unique<TAspiNotOK>(Handle(), programIni_, HideInfo);
    Drives = MakeDiscDriveDetector(environment_.ProgramFolder());
    AboutDlgShow = &Create<gui::TAction>(*this, "AboutDlgShow", "&About...");
    AboutDlgShow->OnExecute = [this] { AboutDlgShowExecute(); };
    OnStartUp = [this] { StartUp(); };
    Timer1.SetInterval(1000);
    Timer1.OnTimer = [this] { Timer1Timer(); };
    Timer1.SetEnabled(true);
}

void TMF::StartUp() {
    core::SetVersionInfoLanguage(0x0409);
    core::SetVersionInfoCodePage(0x04E4);
    // Once: a request queued before the sequence ended, or one nested in its waits, does nothing.
    if (startUpRunning_ || StartUpDone) return;
    startUpRunning_ = true;
    ReadingDevices = true;
    struct EndGuard {
        TMF& form;
        ~EndGuard() {
            form.startUpRunning_ = false;
            form.ReadingDevices = false;
        }
    } endGuard{*this};
    gui::TCursorScope hourglass;
    // A program started for the tray asks nothing while it starts: questions take their defaults.
    if (flags_.HideWindow) flags_.Hidden = true;
    const bool crashed = creation_.crashed;

    if (!flags_.Hidden) AppMsg1->ShowMsg(statusTitle, readingProperties, false);
    UpdateTrayTip("Loading ASPI driver");
    LoadTransport();
    if (Drives->Loaded()) {
        DetectDrives(crashed);
        Drives->Unload();
    }
    if (!flags_.Hidden) AppMsg1->ShowMsg("", "", false);
    if (!AspiLoaded && !HideInfo && !flags_.Hidden) RunModal([this] { return NoAspi1->Execute(); });
    PostMessageA(Handle(), WM_APPLY_WINDOW_STATE, 0, 0);
    StartUpDone = true;

    if (!crashed) {
        OfferResume();
        gui::TIniFile& user = UserIni();
        Showonjobstart = user.ReadBool(core::ini::Settings, "Showonjob", true);
        Showhint = user.ReadBool(core::ini::Settings, "Showhint", true);
        SetShowHint(Showhint);
        // An absent AutoRun means a first start: the Run value below is its one-time action.
        Startautomatic = user.ReadBool(core::ini::Settings, "AutoRun", true);
        if (ScheduleTab && ScheduleTab->Startautomatic1)
            ScheduleTab->Startautomatic1->SetChecked(Startautomatic);
        RemindOfBackup();
    }
    if (Session.Job.IncludeList.empty() || flags_.JobNamedOnStart) {
        gui::Wait(1000, false);
        LoadJobNamed(flags_.JobName);
        if (OnShowFreeSpace) OnShowFreeSpace();
    }
    if (crashed) flags_.JobName.clear();
    flags_.Hidden = flags_.HideWindow;
    if (flags_.HideWindow) flags_.Hidden = Handle() != GetForegroundWindow();
    if (OnShowFreeSpace) OnShowFreeSpace();
    // After a crashed start no job runs by itself: the failure may have been that job.
    if (flags_.JobNamedOnStart && !crashed) {
        if (flags_.HideWindow) flags_.CloseAfterJob = true;
        PostMessageA(Handle(), WM_START_JOB, 0, 0);
    }
    flags_.JobNamedOnStart = false;
    PostMessageA(Handle(), WM_UPDATE_LOG, 0, 0);
    programIni_.WriteBool(core::ini::Settings, "Crashed", false);
    Label1->SetCaption("");
    WriteRunValue();
}

// AspiLoaded says whether a transport is loaded after the last attempt.
void TMF::LoadTransport() {
    bool loaded = Drives->Load(creation_.useInternalASPI);
    if (!loaded || Drives->Names().empty()) {
        if (loaded) Drives->Unload();
        gui::Wait(100, false);
        loaded = Drives->Load(true);
    }
    if (!loaded) loaded = Drives->Load(true);
    if (!loaded) loaded = Drives->Load(true);
    AspiLoaded = loaded;
    if (!loaded) Label1->SetCaption(transportError);
}

void TMF::DetectDrives(bool crashed) {
    UpdateTrayTip("Checking CD/DVD drives");
    CDDriveList.clear();
    ReadonlyDriveList.clear();
    DeviceNames = Drives->Names();
    DeviceCapabilities.assign(DeviceNames.size(), 0);
    WriterChoices = DeviceNames;
    WriterChoices.insert(WriterChoices.begin(), "Use path");
    Session.Job.WriterIndex = 0;

    // The cache holds for this program version and these drives only; with no drive there
    // is nothing to trust it for, and probing writes empty lists. A drive more in the cache
    // than now, or a cached letter that is no disc drive any more, makes it stale too: a
    // removed writer's letter taken by a memory stick must not be written to as a disc.
    const std::string versionText = core::GetFileVersionString(environment_.programPath);
    bool cached = !DeviceNames.empty() &&
                  !programIni_.ValueExists(core::ini::Devices, std::to_string(DeviceNames.size()));
    for (size_t i = 0; cached && i < DeviceNames.size(); ++i)
        cached =
            programIni_.ReadString(core::ini::Devices, std::to_string(i), "") == DeviceNames[i] + versionText;
    if (cached) {
        CDDriveList = LettersOnly(programIni_.ReadString(core::ini::Devices, "CDDriveList", ""));
        ReadonlyDriveList = LettersOnly(programIni_.ReadString(core::ini::Devices, "ReadonlyDriveList", ""));
        for (char letter : CDDriveList + ReadonlyDriveList)
            cached = cached && Drives->IsDiscLetter(letter);
    }
    if (cached) {
        for (size_t i = 0; i < DeviceNames.size(); ++i) {
            const std::string section = core::ini::DeviceCapPrefix + std::to_string(i);
            for (int bit = 0; bit < capabilityBits; ++bit)
                if (programIni_.ReadBool(section, std::to_string(bit), false))
                    DeviceCapabilities[i] |= 1u << bit;
        }
    } else {
        ProbeDrives(versionText);
    }

    if (!DeviceNames.empty()) {
        SelectedDrive = 0;
        if (OnShowDriveSpeeds) OnShowDriveSpeeds();
        if (crashed && Session.Job.WriterIndex < 1)
            for (size_t i = 0; i < DeviceCapabilities.size(); ++i)
                if (DeviceCapabilities[i] & WriterCapabilityBits) {
                    Session.Job.WriterIndex = static_cast<int>(i) + 1;
                    break;
                }
    }
    UpdateTrayTip(std::to_string(DeviceNames.size()) + " drives found");
}

void TMF::ProbeDrives(const std::string& versionText) {
    CDDriveList.clear();
    ReadonlyDriveList.clear();
    // Entries of drives that are gone would make every later cache test fail.
    for (size_t i = DeviceNames.size(); programIni_.ValueExists(core::ini::Devices, std::to_string(i)); ++i) {
        programIni_.DeleteKey(core::ini::Devices, std::to_string(i));
        programIni_.EraseSection(core::ini::DeviceCapPrefix + std::to_string(i));
    }
    for (size_t i = 0; i < DeviceNames.size(); ++i) {
        if (!flags_.Hidden)
            AppMsg1->ShowMsg(statusTitle,
                             std::string(readingProperties) + " - " + DeviceNames[i] + "\r" + slowDrives,
                             false);
        const DetectedDrive drive = Drives->Select(i);
        DeviceCapabilities[i] = drive.capabilities;
        programIni_.WriteString(core::ini::Devices, std::to_string(i), DeviceNames[i] + versionText);
        const std::string section = core::ini::DeviceCapPrefix + std::to_string(i);
        for (int bit = 0; bit < capabilityBits; ++bit)
            programIni_.WriteBool(section, std::to_string(bit), (drive.capabilities >> bit) & 1u);
        if (drive.letter)
            (drive.capabilities & WriterCapabilityBits ? CDDriveList : ReadonlyDriveList) += drive.letter;
    }
    programIni_.WriteString(core::ini::Devices, "CDDriveList", CDDriveList);
    programIni_.WriteString(core::ini::Devices, "ReadonlyDriveList", ReadonlyDriveList);
}

std::string TMF::ResumeStatePath(const std::string& extension) const {
    return core::DataFolder(DataDir(), environment_.ProgramFolder()) + environment_.ProgramBaseName() +
           extension;
}

void TMF::DiscardResumeState() {
    job::DiscardRunState(ResumeStatePath(""));
}

// The list belongs to the last fresh run; while its .run is there that run did not end, and the
// files of the volume it was building are in no backup with their archive bits cleared.
void TMF::AbandonUnfinishedRun() {
    if (FileExists(ResumeStatePath(".run")))
        job::RestoreArchiveBits(environment_.ProgramFolder() + "Att.Lst",
                                JobAttributes ? *JobAttributes : gui::SystemFileAttributes(), Host());
    DiscardResumeState();
}

void TMF::OfferResume() {
    if (flags_.HideWindow && flags_.Hidden) return;
    if (Session.Running() || !FileExists(ResumeStatePath(".run"))) return;
    // The unfinished job is the one the state was saved for, which need not be the job
    // loaded now: the question names it, and Yes makes it the job that is loaded and started.
    const std::string unfinished = job::ResumeJobName(ResumeStatePath(""));
    const std::string question =
        "Your last job: " + (unfinished.empty() ? flags_.JobName : unfinished) +
        " was not finished would you like to continue the job. The job will start at "
        "the begin of that disk or file which was cancelled";
    if (ShowBox(question, gui::TMsgButtons::YesNo, gui::TMsgIcon::Question, 2) == gui::mrYes) {
        if (!unfinished.empty()) flags_.JobName = unfinished;
        flags_.JobNamedOnStart = true;
        KeepResumeState = true;
    } else {
        AbandonUnfinishedRun();
    }
}

void TMF::RemindOfBackup() {
    std::string nags[4] = {core::LoadMessage(65148), core::LoadMessage(65149), core::LoadMessage(65150),
                           core::LoadMessage(65151)};
    gui::TIniFile& user = UserIni();
    core::JobOnStartSettings reminder = core::ReadJobOnStart(user, nags);
    ReminderJob = reminder.jobName;
    const int today = static_cast<int>(std::floor(gui::CurrentClock().Now()));
    if (reminder.lastDate != today) {
        ++reminder.daysCount;
        user.WriteInteger(core::ini::JobOnStart, "DaysCount", reminder.daysCount);
        user.WriteInteger(core::ini::JobOnStart, "LastDate", today);
    }
    CloseAfterReminderJob = false;
    if (ReminderJob.empty() || flags_.JobNamedOnStart) return;
    ExecuteAfterPending = false;
    CloseAfterReminderJob = reminder.close && flags_.AutoStarted;

    auto text = [&](int first) {
        return reminder.nags[first] + " " + std::to_string(reminder.daysCount) + " " +
               reminder.nags[first + 1] + "\r" + reminder.nags[first + 2] + " " + FirstDestination() + " " +
               reminder.nags[first + 3];
    };
    const std::string previousJob = flags_.JobName;
    const bool pastMaxDays = reminder.daysCount >= reminder.maxDays;
    const bool asked = pastMaxDays || reminder.daysCount >= reminder.doJobOnDay;
    if (asked) {
        AbandonUnfinishedRun();
        // The box names the destination of the job it offers, so that job is loaded first.
        flags_.JobName = ReminderJob;
        LoadJobNamed(ReminderJob);
        const int answer = pastMaxDays
                               ? ShowBox(text(4), gui::TMsgButtons::OK, gui::TMsgIcon::Exclamation, 1)
                               : ShowBox(text(0), gui::TMsgButtons::OKCancel, gui::TMsgIcon::Exclamation, 1);
        if (answer == gui::mrOk) flags_.JobNamedOnStart = true;
    }
    if (flags_.JobNamedOnStart) {
        ExecuteAfterPending = true;
        return;
    }
    flags_.JobName = previousJob;
    // The reminder's job must not stay in the controls under the old job's name: the next
    // save would write it over the old job's file. Without the old job, the job is empty.
    if (asked && (previousJob.empty() || !LoadJobNamed(previousJob))) {
        Session.Job = job::JobDefinition{};
        Session.LoadedJobName.clear();
        ShowJob();
        AddToLog(previousJob.empty()
                     ? std::string("No job was loaded before the backup reminder: the job is empty")
                     : "Job " + previousJob +
                           " could not be loaded again after the backup "
                           "reminder: the job is empty");
    }
    RunAfterStartPrograms();
}

void TMF::RunAfterStartPrograms() {
    gui::TIniFile& user = UserIni();
    const char* section = core::ini::ExecuteAfterJobOnStart;
    for (const char* key : {"1", "2"})
        user.WriteString(section, key, user.ReadString(section, key, ""));
    for (const std::string& key : user.ReadSection(section)) {
        const std::string value = user.ReadString(section, key, "");
        std::string program = value, parameters;
        if (!value.empty() && value[0] == '"') {
            const size_t close = value.find('"', 1);
            program = gui::Trim(value.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            if (close != std::string::npos) parameters = gui::Trim(value.substr(close + 1));
        }
        if (program.empty()) continue;
        if (!gui::Shell().Open(program, parameters)) AddToLog("Could not start " + program);
    }
}

void TMF::WriteRunValue() {
    try {
        core::TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!registry.OpenKey(runKey, true)) return;
        if (Startautomatic)
            registry.WriteString("Tarnwick", "\"" + environment_.programPath + "\" /A");
        else if (registry.ValueExists("Tarnwick"))
            registry.DeleteValue("Tarnwick");
    } catch (const core::ERegistryException& error) {
        AddToLog(std::string("The program's Run value could not be written: ") + error.what());
    }
}

bool TMF::LoadJobNamed(const std::string& name) {
    if (OnLoadJob) return OnLoadJob(name);
    // A damaged job file must not stop the start-up; the log names it.
    try {
        return LoadJob(name);
    } catch (const job::EJobFileError& error) {
        AddToLog(error.what());
        return false;
    }
}

TMF::TimerStopped::TimerStopped(TMF& form) : timer_(form.Timer1), enabled_(form.Timer1.Enabled()) {
    timer_.SetEnabled(false);
}

TMF::TimerStopped::~TimerStopped() {
    if (enabled_) timer_.SetEnabled(true);
}

int TMF::RunModal(const std::function<int()>& show) {
    TimerStopped stopped(*this);
    return show();
}

int TMF::ShowBox(const std::string& text, gui::TMsgButtons buttons, gui::TMsgIcon icon, int defaultButton) {
    if (flags_.Hidden && !InUserCommand()) {
        if (buttons == gui::TMsgButtons::YesNo) return defaultButton == 2 ? gui::mrNo : gui::mrYes;
        if (buttons == gui::TMsgButtons::OKCancel) return defaultButton == 2 ? gui::mrCancel : gui::mrOk;
        return gui::mrOk;
    }
    return core::ProgramBox(Handle(), text, buttons, icon, defaultButton);
}

void TMF::AboutDlgShowExecute() {
    TAboutDlg about(Handle(), environment_.programPath);
    RunModal([&] { return about.Execute(); });
}

} // namespace ui

namespace ui {

std::string TMF::FirstDestination() const {
    std::string field = Session.Job.Destination;
    const std::vector<std::string> destinations = job::ParseDestinations(field);
    return destinations.empty() ? std::string() : destinations.front();
}

} // namespace ui
