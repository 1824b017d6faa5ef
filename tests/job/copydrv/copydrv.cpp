// The copy thread's console driver, for copies onto media the Linux side makes (a tmpfs that
// fills): prints "result 1" or "result 0". With --plain it runs the system's CopyFile instead
// and prints its error too, to show what the medium does to a plain copy.
//   copydrv SOURCE TARGET [--fail-if-exists] [--plain]
#include "gui/Application.h"
#include "gui/Clock.h"
#include "job/FCopy2.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: copydrv SOURCE TARGET [--fail-if-exists] [--plain]\n");
        return 2;
    }
    bool failIfExists = false, plain = false;
    for (int i = 3; i < argc; ++i) {
        failIfExists |= std::strcmp(argv[i], "--fail-if-exists") == 0;
        plain |= std::strcmp(argv[i], "--plain") == 0;
    }
    if (plain) {
        const BOOL copied = CopyFileA(argv[1], argv[2], failIfExists);
        std::printf("result %d error %lu\n", copied ? 1 : 0, copied ? 0ul : GetLastError());
        return 0;
    }
    gui::ManualClock clock;
    gui::SetClock(&clock);
    gui::Application();
    std::printf("result %d\n", job::CopyFileThreaded(argv[1], argv[2], failIfExists) ? 1 : 0);
    gui::SetClock(nullptr);
    return 0;
}
