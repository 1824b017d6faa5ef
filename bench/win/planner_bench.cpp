// The planner's cost beside the zip component's. The component alone zips TW_PLANNER_BENCH_FILES
// stored 1 KiB files (default 20,000, made once under the temporary folder and kept) named in
// its list; then the planner feeds the same files one per call, with its pre-zip test of each,
// its .csv lines and pumping as the product pumps. Target: planner and component at most 1.5
// times the component alone (best of three runs each). Then the size estimate: the bytes it
// reads of files of several sizes (target: at most 9,000,000 per file) and its time.
#include "gui/Application.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Wait.h"
#include "job/VolumePlannerWin.h"
#include "job/WindowlessHost.h"
#include "zip/ExtractFilesWin.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Seconds(const LARGE_INTEGER& start) {
    LARGE_INTEGER end, frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string FixedDrive(const std::string&) {
    return "Fixed";
}

void WriteFileOf(const std::string& path, size_t size, uint32_t seed) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::vector<char> block(1 << 20);
    for (size_t done = 0; done < size;) {
        const size_t n = std::min(block.size(), size - done);
        // Text-like: half repeats, half noise, so deflate has work of both kinds.
        for (size_t i = 0; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            block[i] = (i & 64) ? static_cast<char>('a' + (i % 26)) : static_cast<char>(seed >> 16);
        }
        DWORD written = 0;
        WriteFile(handle, block.data(), static_cast<DWORD>(n), &written, nullptr);
        done += n;
    }
    CloseHandle(handle);
}

std::vector<std::string> MakeFiles(const std::string& root, int files) {
    std::vector<std::string> paths;
    const std::string done = root + "complete.mark";
    const bool made = GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES;
    CreateDirectoryA(root.c_str(), nullptr);
    for (int file = 0; file < files; ++file) {
        const std::string folder = root + "F" + std::to_string(file / 500) + "\\";
        if (file % 500 == 0 && !made) CreateDirectoryA(folder.c_str(), nullptr);
        paths.push_back(folder + "Document " + std::to_string(file) + ".txt");
        if (!made) WriteFileOf(paths.back(), 1024, static_cast<uint32_t>(file));
    }
    CloseHandle(CreateFileA(done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return paths;
}

class BenchHost final : public job::WindowlessHost, public job::WinPlannerFiles {
  public:
    BenchHost(job::PlannerFileOptions options, zip::TZipper& zipper)
        : WinPlannerFiles(std::move(options), *this), zipper_(zipper) {}
    void AddToZipFiles(const std::string& path) override { zipper_.FilesList.Add(path); }
    void PumpIfDue() override { gui::PumpIfDue(20); }
    void Wait(int milliseconds) override { gui::Wait(milliseconds, false); }

  private:
    zip::TZipper& zipper_;
};

double ZipAlone(const std::vector<std::string>& paths, const std::string& out) {
    zip::TWinExtractFileSystem input;
    zip::TWinZipperFileSystem output{FixedDrive};
    zip::TZipper zipper{input, output};
    zipper.PackLevel = 0;
    zipper.SetZipName(out);
    for (const std::string& path : paths)
        zipper.FilesList.Add(path);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    zipper.Zip();
    const double seconds = Seconds(start);
    DeleteFileA(out.c_str());
    return seconds;
}

double ZipPlanned(const std::vector<std::string>& paths, const std::string& out, const std::string& csv) {
    zip::TWinExtractFileSystem input;
    zip::TWinZipperFileSystem output{FixedDrive};
    zip::TZipper zipper{input, output};
    zipper.PackLevel = 0;
    zipper.SetZipName(out);
    job::VolumePlan plan;
    for (const std::string& path : paths)
        plan.FilestoZipList.push_back({path, 1024});
    plan.MaxZipSize = job::LargestVolumeSize;
    plan.ZipBudget = plan.MaxZipSize;
    plan.FilesToBak = static_cast<int>(paths.size());
    plan.ZipPackLevel = 0;
    plan.DoCatalog = true;
    plan.ZipFileName = "bench.zip";
    job::PlannerFileOptions options;
    options.ZipPackLevel = 0;
    options.CsvFileName = csv;
    BenchHost host(options, zipper);
    job::VolumePlanner planner(plan, host, host);
    zipper.OnEndZip = [&](zip::TZipper&, const std::string& name, uint32_t uncompressed, uint32_t compressed,
                          uint32_t current) {
        planner.Zipper1EndZip(name, uncompressed, compressed, current);
    };
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    planner.StartVolume();
    zipper.Zip();
    const double seconds = Seconds(start);
    if (plan.FilesCopyed != static_cast<int>(paths.size()))
        std::printf("planned %d of %zu files\n", plan.FilesCopyed, paths.size());
    DeleteFileA(out.c_str());
    DeleteFileA(csv.c_str());
    return seconds;
}

} // namespace

int main() {
    gui::Application();
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope scope{prompter};
    const char* count = std::getenv("TW_PLANNER_BENCH_FILES");
    const int files = count ? std::max(20, std::atoi(count)) : 20'000;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "tw_planner_bench_" + std::to_string(files) + "\\";
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const std::vector<std::string> paths = MakeFiles(root, files);
    std::printf("%d files of 1 KiB ready in %.1f s\n", files, Seconds(start));

    double alone = 1e9, planned = 1e9;
    for (int run = 0; run < 3; ++run) {
        alone = std::min(alone, ZipAlone(paths, root + "alone.zip"));
        planned = std::min(planned, ZipPlanned(paths, root + "planned.zip", root + "planned.csv"));
    }
    std::printf("zip component alone, stored: %.3f s\n", alone);
    std::printf("planner and zip component:   %.3f s\n", planned);
    std::printf("ratio %.2f (target <= 1.5)\n", planned / alone);

    // The estimate reads whole files up to 9,000,000 bytes and samples larger ones.
    for (const int64_t size :
         {int64_t(5'000'000), int64_t(9'000'000), int64_t(9'000'001), int64_t(64'000'000)}) {
        const std::string path = root + "estimate " + std::to_string(size) + ".bin";
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            WriteFileOf(path, static_cast<size_t>(size), 7);
        const HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        int64_t bytesRead = 0;
        const job::BlockReader read = [&](int64_t offset, uint8_t* buffer, size_t wanted) -> size_t {
            LARGE_INTEGER at;
            at.QuadPart = offset;
            DWORD got = 0;
            if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
                !ReadFile(file, buffer, static_cast<DWORD>(wanted), &got, nullptr))
                return 0;
            bytesRead += got;
            return got;
        };
        QueryPerformanceCounter(&start);
        const int64_t estimate = job::EstimateCompressedSize(size, 6, job::LargestVolumeSize, read);
        const double seconds = Seconds(start);
        CloseHandle(file);
        std::printf("estimate of %lld bytes: %lld, read %lld bytes (target <= 9000000) in %.3f s\n",
                    static_cast<long long>(size), static_cast<long long>(estimate),
                    static_cast<long long>(bytesRead), seconds);
    }
    return 0;
}
