#pragma once
// Process-wide flags of the GUI thread, set by the switches, the instance hook and the
// window-state handlers. Plain values: every reader and writer runs on the GUI thread.

#include <string>

namespace core {

struct ProgramFlags {
    bool SecondInstance = false;   // another instance runs; this one creates no forms
    bool ActivatedByOther = false; // brought up by a second instance
    bool HideWindow = false;       // /H, the tray menu, the hide action
    bool JobNamedOnStart = false;  // /=, the resume offer, the backup reminder
    bool AutoStarted = false;      // /A
    bool ExtraStartTick = false;   // /D, and whenever /A is given
    bool DetailLog = false;        // /L
    bool CloseAfterJob = false;    // /C
    bool VerifyWrittenZip = false; // /V
    bool Hidden = false;           // the window is hidden or not in front: no message boxes

    bool DiscArrived = false;
    bool DiscRemoved = false;
    int MediaChangeTicks = 0;

    std::string JobName;  // the current job file
    std::string TempPath; // the temporary folder, with a trailing "\"
};

} // namespace core
