// "Run as service": installs and starts the companion service, which then provides the
// program, or stops it and takes it out of the automatic start. The service's automatic
// start is written only once it runs, and a start that fails puts back what was taken for
// it (the program's own start at logon), so a failed install never leaves the machine
// without either. Every wait is bounded: the service routines follow checkpoints only while
// they advance.
#include "core/Messages.h"
#include "core/MvRegistry.h"
#include "gui/Application.h"
#include "gui/Menu.h"
#include "gui/Shell.h"
#include "gui/Wait.h"
#include "job/ServiceCtrl.h"
#include "ui/MFo.h"
#include "ui/ScheduleTab.h"
#include "ui/SmallDialogs.h"

namespace ui {

namespace {
constexpr int serviceSettleMs = 5000;

void PumpedWait(int milliseconds) {
    gui::Wait(milliseconds, false);
}
} // namespace

void TMF::BuildServiceMenu() {
    RunAsService1 = &Find<gui::TMenuItem>("Files").Add("RunAsService1", "Run as &service");
    RunAsService1->AutoCheck = true;
    RunAsService1->SetChecked(RunAsServiceSet);
    RunAsService1->OnClick = [this] { RunAsService1Click(); };
}

void TMF::WriteServiceStart(int start) {
    try {
        core::TRegistry registry;
        registry.SetRootKey(ServiceKeyRoot);
        if (registry.OpenKey(ServiceKeyPath, false)) registry.WriteInteger("Start", start);
    } catch (const core::ERegistryException& error) {
        AddToLog(error.what());
    }
}

void TMF::RunAsService1Click() {
    // Installing ends this process and stopping closes it: not under a running job.
    if (Session.Running()) {
        RunAsService1->SetChecked(!RunAsService1->Checked());
        ShowBox("A backup job is running, run as service can be changed when it has ended",
                gui::TMsgButtons::OK, gui::TMsgIcon::Exclamation, 1);
        return;
    }
    ShowBox(core::LoadMessage(65037) + core::LoadMessage(65038), gui::TMsgButtons::OK,
            gui::TMsgIcon::Exclamation, 1);
    try {
        if (RunAsService1->Checked())
            InstallService();
        else
            RemoveService();
    } catch (const std::exception& error) {
        AddToLog(error.what());
    }
    if (!IconHidden)
        Tray.Add(Handle(), LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)),
                 gui::Application().Title());
    if (AppMsg1) AppMsg1->ShowMsg("", "", false);
}

void TMF::InstallService() {
    if (AppMsg1) AppMsg1->ShowMsg("Tarnwick", "Starting service it may take 20 sec.", false);
    job::ServiceStart("", ServiceName, PumpedWait);

    // The program's own start at logon goes: the service starts it from now on.
    std::string runValue;
    const HKEY runRoot = ScheduleTab->RunKeyRoot;
    const std::string runPath = ScheduleTab->RunKeyPath;
    try {
        core::TRegistry registry;
        registry.SetRootKey(runRoot);
        if (registry.OpenKey(runPath, false) && registry.ValueExists("Tarnwick")) {
            runValue = registry.ReadString("Tarnwick");
            registry.DeleteValue("Tarnwick");
        }
    } catch (const core::ERegistryException& error) {
        AddToLog(error.what());
    }
    const bool startedAutomatic = ScheduleTab->Startautomatic1 && ScheduleTab->Startautomatic1->Checked();
    if (ScheduleTab->Startautomatic1) ScheduleTab->Startautomatic1->SetChecked(false);
    ScheduleTab->AutoStartExecute();

    auto handOver = [this] {
        if (!job::ServiceRunning("", ServiceName)) return false;
        WriteServiceStart(2);
        Tray.Remove();
        gui::Application().Halt(0);
        return true;
    };
    gui::Wait(serviceSettleMs, false);
    if (handOver()) return;
    const std::string folder = environment_.ProgramFolder();
    gui::Shell().StartHidden(folder + "quilletsrv.exe", "/INSTALL", folder);
    gui::Wait(serviceSettleMs, false);
    job::ServiceStart("", ServiceName, PumpedWait);
    gui::Wait(serviceSettleMs, false);
    if (handOver()) return;

    // Not running: the program starts itself at logon as before.
    try {
        core::TRegistry registry;
        registry.SetRootKey(runRoot);
        if (!runValue.empty() && registry.OpenKey(runPath, true)) registry.WriteString("Tarnwick", runValue);
    } catch (const core::ERegistryException& error) {
        AddToLog(error.what());
    }
    if (ScheduleTab->Startautomatic1) ScheduleTab->Startautomatic1->SetChecked(startedAutomatic);
    Startautomatic = startedAutomatic;
    RunAsService1->SetChecked(false);
    AddToLog("Service " + ServiceName + " could not be started");
}

void TMF::RemoveService() {
    if (AppMsg1) AppMsg1->ShowMsg("Tarnwick", "Stoping service it may take 10 sec.", false);
    job::ServiceStop("", ServiceName, PumpedWait);
    WriteServiceStart(3);
    gui::Wait(serviceSettleMs, false);
    if (!job::ServiceStopped("", ServiceName)) return;
    if (ScheduleTab->Startautomatic1) ScheduleTab->Startautomatic1->SetVisible(true);
    Find<gui::TMenuItem>("Exit1").SetVisible(true);
    RunningAsService = false;
    flags_.AutoStarted = false;
    Close();
}

} // namespace ui
