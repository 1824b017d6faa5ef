#pragma once
// What an in-process program test hosts the program in: the manual clock and a recording
// shell put in place, a temporary program folder (also the temp path) and Windows folder, and
// a registry in memory. The test makes the program from the environment and keeps its own
// differences.
#include "FakeRegistry.h"
#include "WinTestSupport.h"
#include "core/ProgramEnvironment.h"
#include "gui/Clock.h"
#include "gui/Shell.h"

namespace testsupport {

template <class Shell = gui::TRecordingShell> struct ProgramSite {
    ProgramSite() { Prepare(); }
    explicit ProgramSite(gui::DateTime clockStart) : clock(clockStart) { Prepare(); }
    // The owner ends its program first.
    ~ProgramSite() {
        DrainQueue();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
    }
    ProgramSite(const ProgramSite&) = delete;
    ProgramSite& operator=(const ProgramSite&) = delete;

    gui::ManualClock clock;
    Shell shell;
    TempFolder programFolder, windowsFolder;
    FakeRegistry registry;
    core::ProgramEnvironment environment;

  private:
    void Prepare() {
        DrainQueue();
        gui::SetClock(&clock);
        gui::SetShell(&shell);
        environment.programPath = programFolder / "tarnwick.exe";
        environment.windowsFolder = windowsFolder.Path().substr(0, windowsFolder.Path().size() - 1);
        environment.systemTempPath = programFolder.Path();
        environment.registry = &registry;
    }
};

} // namespace testsupport
