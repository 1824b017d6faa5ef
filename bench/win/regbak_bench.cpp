// What the registry backup costs against the system's own tool: a sandbox of TW_BENCH_VALUES
// values (default 50,000; strings, numbers and binaries over 2,500 keys) is written by
// BackupRegistry and exported by reg.exe, then restored unchanged (removal pass included) by
// RestoreRegistry and imported by reg.exe. Prints the seconds of each (best of three) and the
// ratios; the targets are a backup within 3 x the export and a restore within 5 x the import.
#include "RegistrySandbox.h"
#include "job/RegBak.h"
#include "job/WindowlessHost.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class QuietHost : public job::WindowlessHost {
  public:
    void AddToRestoreLog(const std::string&, bool) override { ++restoreLines; }
    bool ConfirmRestore(const std::string&) override { return true; }
    int restoreLines = 0;
};

} // namespace

int main() {
    const char* env = std::getenv("TW_BENCH_VALUES");
    const int values = env ? std::max(100, std::atoi(env)) : 50000;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "regbak_bench.txt";
    const std::string exported = std::string(temp) + "regbak_bench.reg";

    testsupport::RegistrySandbox sandbox("RegBakBench");
    const int perKey = 20;
    for (int k = 0; k < values / perKey; ++k) {
        HKEY key = nullptr;
        const std::string path =
            "Software\\Bench\\Group" + std::to_string(k % 50) + "\\Key" + std::to_string(k);
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        for (int v = 0; v < perKey; ++v) {
            const std::string name = "Value" + std::to_string(v);
            if (v % 3 == 0) {
                const std::string text = "text of value " + std::to_string(k * perKey + v);
                RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1));
            } else if (v % 3 == 1) {
                const DWORD number = static_cast<DWORD>(k * v);
                RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
            } else {
                BYTE data[64];
                for (int i = 0; i < 64; ++i)
                    data[i] = static_cast<BYTE>(i * v + k);
                RegSetValueExA(key, name.c_str(), 0, REG_BINARY, data, sizeof data);
            }
        }
        RegCloseKey(key);
    }

    double backup = 1e9, exporting = 1e9, restore = 1e9, importing = 1e9;
    for (int round = 0; round < 3; ++round) {
        QuietHost host;
        double start = Now();
        job::BackupRegistry(host, file, nullptr, false, false);
        backup = std::min(backup, Now() - start);
        start = Now();
        testsupport::RunAndWait("reg.exe export \"" + sandbox.OutsideName() + "\" \"" + exported + "\" /y");
        exporting = std::min(exporting, Now() - start);
        start = Now();
        job::RestoreRegistry(host, file);
        restore = std::min(restore, Now() - start);
        if (host.restoreLines != 0)
            std::fprintf(stderr, "an unchanged restore wrote %d log lines\n", host.restoreLines);
        start = Now();
        testsupport::RunAndWait("reg.exe import \"" + exported + "\"");
        importing = std::min(importing, Now() - start);
    }
    DeleteFileA(file.c_str());
    DeleteFileA(exported.c_str());
    std::printf("values %d\n", values);
    std::printf("BackupRegistry %.3f s, reg export %.3f s, ratio %.2f (target 3)\n", backup, exporting,
                backup / exporting);
    std::printf("RestoreRegistry %.3f s, reg import %.3f s, ratio %.2f (target 5)\n", restore, importing,
                restore / importing);
    return 0;
}
