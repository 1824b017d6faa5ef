// What the copy thread costs over the system's copy: the same volume copied with CopyFile
// and with CopyFileThreaded (the thread, its two synchronized steps, the GUI side's pumped
// wait), in the temporary folder, alternately, best of five each. The thread's settling wait
// runs on a manual clock: it is a fixed pause the program always makes, not the copy's cost.
// Prints MB/s of each and the ratio; the target is the thread at 0.8 of CopyFile or better.
// TW_BENCH_MB sets the size (default 64).
#include "gui/Application.h"
#include "gui/Clock.h"
#include "job/FCopy2.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Copy> double Timed(const std::string& target, Copy copy) {
    DeleteFileA(target.c_str()); // freeing the last run's pages is not this run's cost
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const bool copied = copy();
    QueryPerformanceCounter(&end);
    if (!copied) {
        std::fprintf(stderr, "copy to %s failed\n", target.c_str());
        std::exit(1);
    }
    return Seconds(start, end);
}

} // namespace

int main() {
    const char* sizeText = std::getenv("TW_BENCH_MB");
    const int megabytes = sizeText ? std::max(1, std::atoi(sizeText)) : 64;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string base = std::string(temp) + "tw_copy_bench_" + std::to_string(GetCurrentProcessId());
    const std::string source = base + ".src", target = base + ".dst";

    std::vector<char> piece(1 << 20);
    uint32_t seed = 1;
    const HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    for (int i = 0; i < megabytes; ++i) {
        for (char& byte : piece) {
            seed = seed * 1103515245u + 12345u;
            byte = static_cast<char>(seed >> 16);
        }
        DWORD written = 0;
        WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr);
    }
    CloseHandle(file);

    gui::ManualClock clock;
    gui::SetClock(&clock);
    gui::Application();
    double plain = 1e9, threaded = 1e9;
    for (int round = 0; round < 5; ++round) {
        plain = std::min(
            plain, Timed(target, [&] { return CopyFileA(source.c_str(), target.c_str(), FALSE) != 0; }));
        threaded =
            std::min(threaded, Timed(target, [&] { return job::CopyFileThreaded(source, target, false); }));
    }
    gui::SetClock(nullptr);
    DeleteFileA(source.c_str());
    DeleteFileA(target.c_str());

    std::printf("CopyFile           %8.1f MB/s\n", megabytes / plain);
    std::printf("CopyFileThreaded   %8.1f MB/s\n", megabytes / threaded);
    std::printf("ratio              %8.2f (target >= 0.80)\n", plain / threaded);
    return 0;
}
