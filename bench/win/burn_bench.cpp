// What writing through a drive costs over writing an ISO file: the same files burned once in
// ISO-file mode and once to the simulated drive (the fixture WNASPI32.DLL loaded from the build
// and a blank DVD+R from a simdrive.ini in the temporary folder, as the disc tests do), both
// through the component's BurnCD, its write cache and its writer thread. The target is a drive
// run at 0.5 of file mode or better. Prints MB/s of each and the ratio, and the drive run's
// phases: the wait before the first byte, the data, and the close with the wait after it.
// TW_BURN_BENCH_MB sets the data (default 16) and TW_BURN_BENCH_ROUNDS the rounds, alternating,
// best kept, each drive round on a fresh disc (default 1: a drive write holds seconds of fixed
// waits, so the smoke run stays short).
//
// A third run writes to a drive in memory behind the internal transport on the test clock, to
// tell the writer's own cost from the fixture library's (which, while a track is written, keeps
// its image and log open and its state in memory); the simulator's own bookkeeping per command
// remains in it.
//
// The drive run also holds the fixed waits the write sequence prescribes (a second before the
// data, five after the close): the whole run reaches half of file mode only for volumes of
// some gigabytes, so the data phase is reported apart.
#include "SimDriveWinSupport.h"
#include "disc/dwBurner.h"
#include "gui/Wait.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "burn_bench: %s\n", text.c_str());
    std::exit(1);
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A scratch folder in the temporary folder, emptied and removed at the end.
class Scratch {
  public:
    Scratch() {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        path_ = std::string(temp) + "tw_burn_bench_" + std::to_string(GetCurrentProcessId());
        if (!CreateDirectoryA(path_.c_str(), nullptr)) Fail("cannot create " + path_);
    }
    ~Scratch() {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA(File("*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA(File(found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(path_.c_str());
    }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
};

// `megabytes` of incompressible data in 4 MiB files.
std::vector<std::string> MakeSources(const Scratch& scratch, int megabytes) {
    std::vector<std::string> names;
    std::vector<char> chunk(1 << 20);
    uint32_t seed = 7;
    for (int left = megabytes; left > 0;) {
        names.push_back(scratch.File("Backup " + std::to_string(names.size()) + ".zip"));
        std::ofstream out(names.back(), std::ios::binary);
        for (int mb = 0; mb < 4 && left > 0; ++mb, --left) {
            for (char& c : chunk) {
                seed = seed * 1103515245u + 12345u;
                c = static_cast<char>(seed >> 16);
            }
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
        if (!out) Fail("cannot write " + names.back());
    }
    return names;
}

std::string DriveIni(const std::string& image) {
    return "[Bus]\nCompletion=sync\n[Drive0]\nAddress=0:0:0\nLetter=E\nDisc=d0\nBusyPolls=0\n"
           "Writes=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW\n[Disc:d0]\nMedia=DVD+R\nImage=" +
           image + "\n";
}

// A fresh blank disc: the fixture opens a new drive whenever SIMDRIVE_INI names another file.
void NewDisc(const Scratch& scratch, int round) {
    const std::string ini = scratch.File("simdrive" + std::to_string(round) + ".ini");
    std::ofstream(ini) << DriveIni("disc" + std::to_string(round) + ".img");
    SetEnvironmentVariableA("SIMDRIVE_INI", ini.c_str());
}

struct Timing {
    double first = 0; // BurnCD to the first byte written
    double data = 0;  // BurnCD to the last byte written
    double whole = 0; // BurnCD to OnWriteDone
    int64_t bytes = 0;
};

// One write of every source. The progress is watched between 1 ms waits, so the data phase is
// known to a millisecond.
Timing Burn(disc::TDiscBurner& burner, const std::vector<std::string>& sources) {
    burner.Image.ClearAll(65535, 8191);
    for (const std::string& source : sources)
        if (!burner.Image.InsertFile(source, "\\")) Fail("cannot add " + source);
    bool done = false;
    std::string error;
    burner.OnWriteDone = [&](void*, const std::string& text) {
        done = true;
        error = text;
    };
    Timing timing;
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    if (burner.BurnCD())
        while (!done) {
            gui::Wait(1, false);
            QueryPerformanceCounter(&now);
            const int64_t progress = burner.Progress.load();
            if (progress != timing.bytes) {
                if (timing.bytes == 0) timing.first = Seconds(start, now);
                timing.bytes = progress;
                timing.data = Seconds(start, now);
            }
        }
    QueryPerformanceCounter(&now);
    if (!done || !error.empty()) Fail("write failed: " + error + burner.LastWriteError);
    timing.whole = Seconds(start, now);
    timing.bytes = burner.Progress.load();
    if (timing.data == 0) timing.data = timing.whole;
    return timing;
}

void KeepBest(Timing& best, const Timing& run) {
    if (best.whole == 0 || run.whole < best.whole) best = run;
}

double Rate(int64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
}

// The same write to a drive in memory behind the internal transport, on the test clock: no
// fixture files per command and no real waits, so what remains is the writer's own cost.
Timing MemoryBurn(const std::vector<std::string>& sources) {
    disctest::DiscTestScope scope;
    disctest::MemoryDrive memory(DriveIni("disc.img"));
    disc::TDiscBurner burner;
    if (!burner.InitASPI(true, "") || burner.DeviceList.empty()) Fail("the drive in memory was not found");
    burner.SetDeviceID(burner.DeviceList[0]);
    return Burn(burner, sources);
}

} // namespace

int main() {
    const char* env = std::getenv("TW_BURN_BENCH_MB");
    const int megabytes = env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : 16;
    const char* roundsEnv = std::getenv("TW_BURN_BENCH_ROUNDS");
    const int rounds = roundsEnv != nullptr && std::atoi(roundsEnv) > 0 ? std::atoi(roundsEnv) : 1;
    Scratch scratch;
    const std::vector<std::string> sources = MakeSources(scratch, megabytes);

    NewDisc(scratch, 0);
    disc::TDiscBurner burner;
    if (!burner.InitASPI(false, disctest::WindowsPath(TW_SIMDRIVE_DLL)))
        Fail("the fixture library did not load from " + disctest::WindowsPath(TW_SIMDRIVE_DLL));
    if (burner.DeviceList.empty()) Fail("the simulated drive was not found");
    burner.SetDeviceID(burner.DeviceList[0]);

    Timing file, drive;
    for (int round = 0; round < rounds; ++round) {
        burner.ISOFileName = scratch.File("image.iso");
        KeepBest(file, Burn(burner, sources));
        DeleteFileA(burner.ISOFileName.c_str());
        burner.ISOFileName.clear();
        NewDisc(scratch, round + 1);
        KeepBest(drive, Burn(burner, sources));
    }
    burner.DoneASPI();
    SetEnvironmentVariableA("SIMDRIVE_INI", nullptr);
    // The memory drive holds its disc in this 32-bit process: at most 128 MB of the sources.
    const std::vector<std::string> part(sources.begin(),
                                        sources.begin() + std::min<size_t>(sources.size(), 32));
    Timing memory;
    for (int round = 0; round < rounds; ++round)
        KeepBest(memory, MemoryBurn(part));

    const double fileRate = Rate(file.bytes, file.whole), driveRate = Rate(drive.bytes, drive.whole);
    const double driveData = Rate(drive.bytes, drive.data - drive.first);
    std::printf("%d MB, best of %d: ISO file %.0f MB/s, simulated DVD+R %.0f MB/s, ratio %.2f (target 0.5 or "
                "more)\n",
                megabytes, rounds, fileRate, driveRate, driveRate / fileRate);
    std::printf(
        "  drive: %.2f s before the first byte, data at %.0f MB/s (%.2f of file mode), %.2f s from the "
        "last byte to the report\n",
        drive.first, driveData, driveData / fileRate, drive.whole - drive.data);
    const double memoryRate = Rate(memory.bytes, memory.whole);
    std::printf(
        "  drive in memory, internal transport, no real waits (%d MB): %.0f MB/s (%.2f of file mode)\n",
        static_cast<int>(memory.bytes >> 20), memoryRate, memoryRate / fileRate);
    return 0;
}
