#include "ui/Program.h"

#include "core/Switches.h"
#include "core/WinFolders.h"
#include "gui/Application.h"
#include "ui/MFoDiscs.h"
#include "zip/ZipLibWin.h"

namespace ui {

TProgram::TProgram(core::ProgramEnvironment environment) : environment_(std::move(environment)) {}

TProgram::~TProgram() {
    gui::Application().IsHidden = nullptr;
    gui::Application().MainForm = nullptr;
    mainForm_.reset();
    guard_.reset();
}

bool TProgram::Start() {
    gui::TApplication& application = gui::Application();
    guard_ = std::make_unique<core::TInstanceGuard>(application, flags_, environment_.programPath);
    if (flags_.SecondInstance) return false;

    ReadSwitches();
    // Archives mark names in the OEM code page; the window and the disk use the ANSI one.
    zip::SetNameConverters(zip::SystemNameConverters());
    application.SetTitle("Tarnwick");
    application.HelpFile = environment_.ProgramFolder() + "Quillet.hlp";
    // The disc-writer frame exists before any form; its reports go to the main form once
    // there is one.
    auto reports = std::make_shared<FrameReports>();
    reports->MainWindow = [] {
        gui::TForm* form = gui::Application().MainForm;
        return form ? form->Handle() : HWND{};
    };
    std::unique_ptr<TFrameCDB> frame = TDiscTab::MakeFrame(reports);
    DeleteFileA((environment_.ProgramFolder() + "ziplist.lst").c_str());
    mainForm_ = std::make_unique<TMF>(environment_, flags_, std::move(frame));
    application.MainForm = mainForm_.get();
    // Unexpected errors are shown unless the window is hidden; then they are only logged.
    application.IsHidden = [this] { return flags_.Hidden; };
    ReadStartSettingsAndTempFolder();
    application.HintHidePause = 45000;
    return true;
}

void TProgram::ReadSwitches() {
    const auto& params = environment_.params;
    std::string jobName;
    flags_.HideWindow = core::FindSwitch(params, 'H', jobName);
    flags_.JobNamedOnStart = core::FindSwitch(params, '=', jobName);
    if (flags_.JobNamedOnStart) flags_.JobName = jobName;
    flags_.AutoStarted = core::FindSwitch(params, 'A', jobName);
    flags_.ExtraStartTick = flags_.AutoStarted;
    if (core::FindSwitch(params, 'D', jobName)) flags_.ExtraStartTick = true;
    flags_.DetailLog = core::FindSwitch(params, 'L', jobName);
    flags_.CloseAfterJob = core::FindSwitch(params, 'C', jobName);
    core::FindSwitch(params, 'I', jobName); // recognised; no effect
    flags_.VerifyWrittenZip = core::FindSwitch(params, 'V', jobName);
}

void TProgram::ReadStartSettingsAndTempFolder() {
    gui::TIniFile& userFile = mainForm_->UserIni();
    const std::string systemTemp = environment_.systemTempPath;
    const core::StartSettings start = core::ReadStartSettings(userFile, flags_.JobName, systemTemp);
    flags_.JobName = start.jobName;
    flags_.TempPath = start.tempPath;
    mainForm_->Showonjobstart = start.showOnJob;
    mainForm_->Showhint = start.showHint;

    core::WinFolderOps folders;
    if (!flags_.TempPath.empty() && !folders.DirectoryExists(flags_.TempPath)) {
        folders.ForceDirectories(flags_.TempPath);
        if (!folders.DirectoryExists(flags_.TempPath)) {
            flags_.TempPath = systemTemp;
            if (!folders.DirectoryExists(flags_.TempPath)) folders.ForceDirectories(flags_.TempPath);
            userFile.WriteString(core::ini::Files, "TempPath", flags_.TempPath);
        }
    }
}

int TProgram::Run() {
    gui::Application().Run();
    return 0;
}

int RunProgram(core::ProgramEnvironment environment) {
    TProgram program(std::move(environment));
    if (!program.Start()) return 0;
    return program.Run();
}

} // namespace ui
