#include "core/MFo.h"

#include "gui/Application.h"
#include "gui/Wait.h"

namespace core {

TMF::TMF(const ProgramEnvironment& environment, ProgramFlags& flags)
    : gui::TForm("TMF", "Tarnwick", gui::FormBounds{CW_USEDEFAULT, CW_USEDEFAULT, 640, 480}),
      environment_(environment), flags_(flags), programIni_(environment.ProgramIniPath()) {
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
    FormCreate();
}

TMF::~TMF() = default;

void TMF::FormCreate() {
    creation_ = ReadFormCreationSettings(programIni_, environment_.os);
    // The per-user data folder is chosen here once the folder discovery is wired; until then
    // the user file is the program-folder file.
    if (!dataDir_.empty()) {
        userIni_ = std::make_unique<gui::TIniFile>(dataDir_ + environment_.ProgramBaseName() + ".ini");
        ReadUserOverrides(*userIni_, creation_);
    }
}

void TMF::FormCloseQuery(bool& canClose) {
    if (closing_) {
        canClose = false;
        return;
    }
    closing_ = true;
    programIni_.WriteBool(ini::Settings, "Crashed", false);
    if (flags_.SecondInstance) {
        for (int pass = 0; pass < 101; ++pass) gui::ProcessMessages();
        gui::Application().Halt(0);
    }
    SaveSettings();
    canClose = true;
    closing_ = false;
}

void TMF::SaveSettings() {
    SavedState state;
    state.jobName = flags_.JobName;
    state.autoRun = Startautomatic;
    state.showOnJob = Showonjobstart;
    state.showHint = Showhint;
    state.infiniteWait = creation_.infiniteWait;
    state.maxPreferedSpeed = creation_.maxPreferedSpeed;
    state.lastGoodSpeed = creation_.lastGoodSpeed;
    state.doNotOpenDrive = creation_.doNotOpenDrive;
    state.leaveDriveOpen = creation_.leaveDriveOpen;
    state.useInternalASPI = creation_.useInternalASPI;
    state.doNotRestarte = creation_.doNotRestarte;
    state.jobEndedThisSession = JobEndedThisSession;
    state.restSpaceText = std::to_string(creation_.restSpaceOnCD);
    state.top = Top();
    state.left = Left();
    state.height = Height();
    state.width = Width();
    state.hidden = flags_.Hidden;
    core::SaveSettings(UserIni(), programIni_, state);
}

} // namespace core
