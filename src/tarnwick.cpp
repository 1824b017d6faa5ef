// The program file: everything lives in the libraries, so tests host the same objects.
#include "core/Program.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return core::RunProgram(core::ProgramEnvironment::FromProcess());
}
