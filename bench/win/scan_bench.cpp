// Selecting a whole tree against a plain walk of it. The tree: TW_SCAN_BENCH_FILES files
// (default 20,000; the target figure is for 100,000) in one folder per 20 files, made once
// under the temporary folder and kept for later runs. The selection runs as a job does:
// folder information on, five exclude entries that match nothing, the queue drained, the
// duplicate pass, the counts, big files first, pumping as the product pumps. The walk is a
// recursive FindFirstFileA over the same folders. Target: the selection at most 1.5 times the
// walk. Each figure is the best of three runs.
#include "gui/Application.h"
#include "gui/Wait.h"
#include "job/DirectoryListerWin.h"
#include "job/FileScan.h"
#include "job/WindowlessHost.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class BenchHost final : public job::WindowlessHost {
  public:
    void Wait(int milliseconds) override { gui::Wait(milliseconds, false); }
    void Pump() override { gui::ProcessMessages(); }
    void PumpIfDue() override { gui::PumpIfDue(20); }
    bool Hidden() override { return false; }
};

double Seconds(const LARGE_INTEGER& start) {
    LARGE_INTEGER end, frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string MakeTree(int files) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "tw_scan_bench_" + std::to_string(files) + "\\";
    const std::string done = root + "complete.mark";
    if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) return root;
    CreateDirectoryA(root.c_str(), nullptr);
    const int folders = std::max(1, files / 20);
    // Two levels: a few dozen top folders holding the others.
    for (int folder = 0; folder < folders; ++folder) {
        const std::string top = root + "Top" + std::to_string(folder % 50) + "\\";
        CreateDirectoryA(top.c_str(), nullptr);
        const std::string path = top + "Folder " + std::to_string(folder) + "\\";
        CreateDirectoryA(path.c_str(), nullptr);
        for (int file = folder; file < files; file += folders) {
            const HANDLE handle = CreateFileA((path + "Document " + std::to_string(file) + ".dat").c_str(),
                                              GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            WriteFile(handle, "data", 4, &written, nullptr);
            CloseHandle(handle);
        }
    }
    CloseHandle(CreateFileA(done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return root;
}

long Walk(const std::string& folder) {
    long count = 0;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
                count += Walk(folder + found.cFileName + "\\");
        } else {
            ++count;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

} // namespace

int main() {
    gui::TApplication::Instance();
    const char* size = std::getenv("TW_SCAN_BENCH_FILES");
    const int files = size ? std::max(20, std::atoi(size)) : 20'000;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const std::string root = MakeTree(files);
    std::printf("tree of %d files ready in %.1f s\n", files, Seconds(start));

    double walk = 1e9, select = 1e9;
    long walked = 0;
    size_t listed = 0;
    for (int run = 0; run < 3; ++run) {
        QueryPerformanceCounter(&start);
        walked = Walk(root);
        walk = std::min(walk, Seconds(start));

        BenchHost host;
        job::JobRun jobRun;
        jobRun.ExcludeList = {"C:\\Nowhere\\", "*.tmp", "~*", "*\\Cache\\", "pagefile.sys"};
        jobRun.Excludes = job::ExcludeRules(jobRun.ExcludeList);
        jobRun.Optimizeusedspace = true;
        job::SystemDirectoryLister lister;
        QueryPerformanceCounter(&start);
        job::FileScan scan(jobRun, host, lister);
        scan.ScanItem(root + "*.*");
        scan.DrainQueue();
        scan.RemoveDuplicates();
        scan.LogSelectionCounts();
        scan.OrderBySize(0);
        select = std::min(select, Seconds(start));
        listed = jobRun.FilestoZipList.size();
    }
    std::printf("plain FindFirstFileA walk: %ld files, %.3f s\n", walked, walk);
    std::printf("selection: %zu lines, %.3f s\n", listed, select);
    std::printf("ratio %.2f (target <= 1.5)\n", select / walk);
    return 0;
}
