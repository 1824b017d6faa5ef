// The Catalog tab's load on the real form under Wine: TMF's catalogue read (rows, dedupe, the
// path sort, grid refresh, pumping on its time budget) of a 200,000-line catalogue against
// reading the same file into a string list. Prints both and their ratio (target at most 12).
#include "gui/StringList.h"
#include "ui/CatalogTab.h"
#include "ui/Program.h"

#include <windows.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

// No user folders: every file of the run stays in the scratch folder.
class NoUserFolders final : public core::RegistryLookup {
  public:
    std::optional<std::string> ReadString(core::RegistryRoot, const std::string&,
                                          const std::string&) override {
        return std::nullopt;
    }
};

std::string ScratchFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string folder =
        std::string(base) + "twcatbench" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// 30 % of the lines repeat an earlier path, 10 % are folders.
void WriteCatalogue(const std::string& path) {
    std::mt19937 random(7);
    std::vector<std::string> paths;
    std::string text;
    for (int i = 0; i < 200'000; ++i) {
        std::string folder = "C:\\Users\\Someone\\Documents\\Folder" + std::to_string(random() % 5000) + "\\",
                    name;
        if (i % 10 < 3 && i % 10 != 9 && !paths.empty()) {
            const std::string& earlier = paths[random() % paths.size()];
            folder = earlier.substr(0, earlier.rfind('\\') + 1);
            name = earlier.substr(earlier.rfind('\\') + 1);
        } else if (i % 10 != 9) {
            name = "File" + std::to_string(random()) + ".doc";
            paths.push_back(folder + name);
        }
        text += folder + '"' + name + '"' + std::to_string(static_cast<int32_t>(random())) + "\"20250310" +
                std::to_string(100 + i / 5000) + ".zip\"" + std::to_string(i % 5000) + "\r\n";
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

template <typename Work> double Seconds(Work work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main() {
    const std::string folder = ScratchFolder();
    core::ProgramEnvironment environment = core::ProgramEnvironment::FromProcess();
    environment.programPath = folder + "tarnwick.exe";
    environment.params.clear();
    NoUserFolders noUserFolders;
    environment.registry = &noUserFolders;
    ui::TProgram program(environment);
    if (!program.Start()) return 1;
    ui::TCatalogTab& tab = *program.MainForm()->CatalogTab;
    const std::string catalogue = folder + "bench.cat";
    WriteCatalogue(catalogue);

    int lines = 0;
    const double plain = Seconds([&] {
        gui::TStringList list;
        list.LoadFromFile(catalogue);
        lines = list.Count();
    });
    const double load = Seconds([&] { tab.ReadCatalogFile(catalogue); });
    std::printf("string list LoadFromFile, %d lines: %8.3f s\n", lines, plain);
    std::printf("TMF catalogue read, %d rows:       %8.3f s\n", tab.Rows.Count(), load);
    std::printf("ratio read / LoadFromFile:              %8.2f (target <= 12)\n", load / plain);

    for (const char* name : {"bench.cat", "tarnwick.log", "tarnwick.ini", "tarnwick.sac"})
        DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
