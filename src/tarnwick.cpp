// The program file: everything lives in the libraries, so tests host the same objects.
#include "ui/Program.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return ui::RunProgram(core::ProgramEnvironment::FromProcess());
}
