#pragma once
// The program block: single-instance guard, switches, forms, the first settings read and the
// message loop, in that order. Tests host it in-process with an environment of their own.

#include "core/ProgramEnvironment.h"
#include "core/ProgramFlags.h"
#include "core/multinst.h"
#include "ui/MFo.h"

#include <memory>

namespace ui {

class TProgram {
  public:
    explicit TProgram(core::ProgramEnvironment environment);
    ~TProgram();

    // Everything before the message loop. False for a second instance, which created no
    // form and read no setting.
    bool Start();
    // The message loop, until the program ends.
    int Run();

    core::ProgramFlags& Flags() { return flags_; }
    TMF* MainForm() { return mainForm_.get(); }
    const core::ProgramEnvironment& Environment() const { return environment_; }

  private:
    void ReadSwitches();
    void ReadStartSettingsAndTempFolder();

    core::ProgramEnvironment environment_;
    core::ProgramFlags flags_;
    std::unique_ptr<core::TInstanceGuard> guard_;
    std::unique_ptr<TMF> mainForm_;
};

// WinMain's whole work.
int RunProgram(core::ProgramEnvironment environment);

} // namespace ui
