#include "core/Program.h"

#include "core/Switches.h"
#include "core/WinFolders.h"
#include "gui/Application.h"

namespace core {

TProgram::TProgram(ProgramEnvironment environment) : environment_(std::move(environment)) {}

TProgram::~TProgram() {
    gui::Application().IsHidden = nullptr;
    gui::Application().MainForm = nullptr;
    mainForm_.reset();
    guard_.reset();
}

bool TProgram::Start() {
    gui::TApplication& application = gui::Application();
    guard_ = std::make_unique<TInstanceGuard>(application, flags_, environment_.programPath);
    if (flags_.SecondInstance) return false;

    ReadSwitches();
    application.SetTitle("Tarnwick");
    mainForm_ = std::make_unique<TMF>(environment_, flags_);
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
    flags_.HideWindow = FindSwitch(params, 'H', jobName);
    flags_.JobNamedOnStart = FindSwitch(params, '=', jobName);
    if (flags_.JobNamedOnStart) flags_.JobName = jobName;
    flags_.AutoStarted = FindSwitch(params, 'A', jobName);
    flags_.ExtraStartTick = flags_.AutoStarted;
    if (FindSwitch(params, 'D', jobName)) flags_.ExtraStartTick = true;
    flags_.DetailLog = FindSwitch(params, 'L', jobName);
    flags_.CloseAfterJob = FindSwitch(params, 'C', jobName);
    FindSwitch(params, 'I', jobName); // recognised; no effect
    flags_.VerifyWrittenZip = FindSwitch(params, 'V', jobName);
}

void TProgram::ReadStartSettingsAndTempFolder() {
    gui::TIniFile& userFile = mainForm_->UserIni();
    const std::string systemTemp = environment_.systemTempPath;
    const StartSettings start = ReadStartSettings(userFile, flags_.JobName, systemTemp);
    flags_.JobName = start.jobName;
    flags_.TempPath = start.tempPath;
    mainForm_->Showonjobstart = start.showOnJob;
    mainForm_->Showhint = start.showHint;

    WinFolderOps folders;
    if (!flags_.TempPath.empty() && !folders.DirectoryExists(flags_.TempPath)) {
        folders.ForceDirectories(flags_.TempPath);
        if (!folders.DirectoryExists(flags_.TempPath)) {
            flags_.TempPath = systemTemp;
            if (!folders.DirectoryExists(flags_.TempPath)) folders.ForceDirectories(flags_.TempPath);
            userFile.WriteString(ini::Files, "TempPath", flags_.TempPath);
        }
    }
}

int TProgram::Run() {
    gui::Application().Run();
    return 0;
}

int RunProgram(ProgramEnvironment environment) {
    TProgram program(std::move(environment));
    if (!program.Start()) return 0;
    return program.Run();
}

} // namespace core
