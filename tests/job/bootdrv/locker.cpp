// Holds a file open with no sharing until the ready file it made is deleted, as a program
// using a DLL does: the system then refuses to create or replace the file.
//   locker FILE READYFILE
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: locker FILE READYFILE\n");
        return 2;
    }
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "locker: cannot open %s\n", argv[1]);
        return 1;
    }
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(ready);
    while (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES)
        Sleep(50);
    CloseHandle(held);
    return 0;
}
