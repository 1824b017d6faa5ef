// Catalogue reads on the real form under Wine: the job's reading (every line into the run's
// CatalogList and CatZipList) and the Catalog tab's load (rows, dedupe, the path sort, grid,
// pumping on its time budget), with their time and the process's peak memory.
//
//   catalog_bench.exe                      smoke run: TW_CATALOG_BENCH_LINES lines (default
//                                          200,000) generated, read by both, and the load set
//                                          against reading the file into a string list
//                                          (target at most 12)
//   catalog_bench.exe generate FILE LINES  writes a catalogue of that many lines
//   catalog_bench.exe job|browser FILE     one reading of FILE in a fresh process, so the
//                                          peak memory printed is that reading's;
//   catalog_bench.exe duplicates FILE      the load with "Duplicates" checked (a row per line)
//   catalog_bench.exe dedupe FILE          Remove duplicates, answered OK (rewrites FILE)
//
// A generated catalogue is one that grew by runs: every file of the set is catalogued once per
// run (12 runs), in volumes of 5,000 entries; a tenth of the lines are folders. At 12 million
// lines it is about 1 GB. bench/catalog_vs_sort.sh sets the readings against `sort -u`.
#include "gui/CheckBox.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/ScriptedPrompter.h"
#include "gui/StringList.h"
#include "ui/CatalogTab.h"
#include "ui/MFo.h"
#include "ui/Program.h"

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr int kRuns = 12;

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

// Written in 4 MiB pieces, so a catalogue of any size costs no memory to make.
bool WriteCatalogue(const std::string& path, long long lines) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const long long files = std::max<long long>(lines / kRuns, 1);
    std::mt19937 random(7);
    std::string text;
    bool ok = true;
    for (long long i = 0; i < lines && ok; ++i) {
        const long long run = i / files, entry = i % files;
        // The same file in every run: its folder and name come from its number.
        std::mt19937 named(static_cast<uint32_t>(entry * 2654435761u));
        text += "C:\\Users\\Someone\\Documents\\Projects\\Folder" + std::to_string(named() % 20000) + "\\";
        text += '"';
        if (entry % 10 != 9) text += "File" + std::to_string(named()) + ".doc";
        text += '"';
        text += std::to_string(static_cast<int32_t>(random()));
        text += "\"2025" + std::to_string(1001 + run) + std::to_string(100 + entry / 5000) + ".zip\"";
        text += std::to_string(entry % 5000);
        text += "\r\n";
        if (text.size() >= (4u << 20) || i + 1 == lines) {
            DWORD written = 0;
            ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                 written == text.size();
            text.clear();
        }
    }
    return CloseHandle(file) && ok;
}

template <typename Work> double Seconds(Work work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PrintPeak() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        std::printf("peak working set %.0f MB, peak private bytes %.0f MB\n",
                    static_cast<double>(counters.PeakWorkingSetSize) / 1e6,
                    static_cast<double>(counters.PeakPagefileUsage) / 1e6);
}

class Bench {
  public:
    Bench() : folder_(ScratchFolder()) {
        environment_ = core::ProgramEnvironment::FromProcess();
        environment_.programPath = folder_ + "tarnwick.exe";
        environment_.params.clear();
        environment_.registry = &noUserFolders_;
        program_ = std::make_unique<ui::TProgram>(environment_);
    }
    ~Bench() {
        program_.reset();
        for (const char* name : {"tarnwick.log", "tarnwick.ini", "tarnwick.sac", "bench.cat"})
            DeleteFileA((folder_ + name).c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    bool Start() {
        if (!program_->Start()) return false;
        // The start-up sequence (its notices and boxes) must not run inside a long reading's pump.
        program_->MainForm()->StartUpDone = true;
        return true;
    }
    ui::TCatalogTab& Tab() { return *program_->MainForm()->CatalogTab; }
    const std::string& Folder() const { return folder_; }

    void Job(const std::string& file) {
        ui::TMF& form = *program_->MainForm();
        form.Session.Job.CatalogNames = file;
        form.Session.Run.CatName = file;
        bool read = false;
        const double seconds = Seconds([&] { read = Tab().ReadCatalogs(); });
        std::printf("job read%s: %zu paths, %zu zip names: %8.2f s\n", read ? "" : " FAILED",
                    form.Session.Run.CatalogList.Size(), form.Session.Run.CatZipList.size(), seconds);
    }
    void Browser(const std::string& file, bool duplicates) {
        Tab().CBShowDuplicates->SetChecked(duplicates);
        const double seconds = Seconds([&] { Tab().ReadCatalogFile(file); });
        std::printf("browser load: %d rows: %8.2f s (%s)\n", Tab().Rows.Count(), seconds,
                    Tab().Label28->Caption().c_str());
    }

    // Remove duplicates as the user runs it, answered OK: the ".bak" copy, the rewrite and the
    // load of the rewritten file.
    void Dedupe(const std::string& file) {
        gui::TScriptedPrompter prompter;
        gui::TPrompterScope scope{prompter};
        prompter.AnswerMessage(gui::mrOk);
        program_->Flags().Hidden = false;
        Tab().CBShowDuplicates->SetChecked(false);
        Tab().Edit8->SetText(file);
        const double seconds = Seconds([&] { Tab().RemoveDupFromCatExecute(); });
        std::printf("remove duplicates: %d rows left: %8.2f s (%s)\n", Tab().Rows.Count(), seconds,
                    Tab().Label28->Caption().c_str());
    }

  private:
    std::string folder_;
    NoUserFolders noUserFolders_;
    core::ProgramEnvironment environment_;
    std::unique_ptr<ui::TProgram> program_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "generate") == 0)
        return WriteCatalogue(argv[2], std::atoll(argv[3])) ? 0 : 1;
    Bench bench;
    if (!bench.Start()) return 1;
    if (argc == 3) {
        if (std::strcmp(argv[1], "job") == 0)
            bench.Job(argv[2]);
        else if (std::strcmp(argv[1], "dedupe") == 0)
            bench.Dedupe(argv[2]);
        else
            bench.Browser(argv[2], std::strcmp(argv[1], "duplicates") == 0);
        PrintPeak();
        return 0;
    }
    const char* size = std::getenv("TW_CATALOG_BENCH_LINES");
    const long long lines = size && *size ? std::atoll(size) : 200'000;
    const std::string catalogue = bench.Folder() + "bench.cat";
    if (!WriteCatalogue(catalogue, lines)) return 1;
    int listed = 0;
    const double plain = Seconds([&] {
        gui::TStringList list;
        list.LoadFromFile(catalogue);
        listed = list.Count();
    });
    bench.Job(catalogue);
    const double load = Seconds([&] { bench.Tab().ReadCatalogFile(catalogue); });
    std::printf("string list LoadFromFile, %d lines: %8.3f s\n", listed, plain);
    std::printf("browser load, %d rows:             %8.3f s\n", bench.Tab().Rows.Count(), load);
    std::printf("ratio load / LoadFromFile:              %8.2f (target <= 12)\n", load / plain);
    PrintPeak();
    return 0;
}
