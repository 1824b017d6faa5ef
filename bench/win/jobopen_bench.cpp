// Opening a big job: the whole program hosted (as the tests host it) loads a job file of
// TW_BENCH_ITEMS include and as many exclude items (default 2,000; the target case is 10,000)
// into the Backup tab. Measured against the floor of any open: reading the file into a string
// list and filling both sorted list boxes in bulk. Prints both times (best of three) and their
// ratio; the target is at most 1.5.
#include "FakeRegistry.h"
#include "WinTestSupport.h"
#include "gui/Clock.h"
#include "gui/ListBox.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/StringList.h"
#include "ui/JobTab.h"
#include "ui/MFo.h"
#include "ui/Program.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Work> double Best(Work work) {
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        const double start = Now();
        work();
        best = std::min(best, Now() - start);
    }
    return best;
}

} // namespace

int main() {
    const char* env = std::getenv("TW_BENCH_ITEMS");
    const int items = env ? std::max(10, std::atoi(env)) : 2000;
    testsupport::TempFolder programFolder, data;

    // Lines 1-29 of a plain job, then both lists in shuffled order (the load sorts them).
    const std::string jobFile = programFolder / "Big.dat";
    {
        std::ofstream out(jobFile, std::ios::binary);
        const char* head[] = {"D:\\Backup", "0", "0", "",  "0", "Big", "6", "650", "0", "0",
                              "#####",      "1", "0", "0", "0", "1",   "1", "1",   "0", "0",
                              "0",          "0", "",  "0", "0", "10",  "",  "1",   ""};
        for (const char* line : head)
            out << line << "\r\n";
        out << "*-Include-*\r\n";
        for (int i = 0; i < items; ++i)
            out << "C:\\Data\\Folder" << (i * 7919 % 1009) << "\\file" << (i * 104729 % items) << ".txt\r\n";
        out << "*-Exclude-*\r\n";
        for (int i = 0; i < items; ++i)
            out << "C:\\Data\\Skip" << (i * 7919 % 997) << "\\*.tmp" << (i * 104729 % items) << "\r\n";
    }

    gui::ManualClock clock;
    gui::SetClock(&clock);
    gui::TRecordingShell shell;
    gui::SetShell(&shell);
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    testsupport::FakeRegistry registry;
    core::ProgramEnvironment environment;
    environment.programPath = programFolder / "tarnwick.exe";
    environment.windowsFolder = data.Path().substr(0, data.Path().size() - 1);
    environment.systemTempPath = programFolder.Path();
    environment.registry = &registry;
    std::ofstream(programFolder / "tarnwick.ini", std::ios::binary) << "[Settings]\r\nUseUserData2kXP=0\r\n";
    auto program = std::make_unique<ui::TProgram>(environment);
    if (!program->Start()) {
        std::printf("the program did not start\n");
        return 1;
    }
    ui::TMF& form = *program->MainForm();
    form.StartUpDone = true;
    program->Flags().Hidden = false;
    ui::TJobTab& tab = *form.JobTab;

    const double open = Best([&] {
        if (!form.LoadJob(jobFile)) std::printf("load failed\n");
    });
    if (tab.ListBox1->Items().Count() != items || tab.ListBox3->Items().Count() != items)
        std::printf("lists hold %d and %d items\n", tab.ListBox1->Items().Count(),
                    tab.ListBox3->Items().Count());

    // The floor: the file read into a string list, both lists filled in bulk.
    const double floor = Best([&] {
        gui::TStringList lines;
        lines.LoadFromFile(jobFile);
        std::vector<std::string> include, exclude;
        int at = 0;
        while (at < lines.Count() && lines[at] != "*-Include-*")
            ++at;
        for (++at; at < lines.Count() && lines[at] != "*-Exclude-*"; ++at)
            include.push_back(lines[at]);
        for (++at; at < lines.Count(); ++at)
            exclude.push_back(lines[at]);
        tab.ListBox1->Items().Clear();
        tab.ListBox1->Items().AddStrings(include);
        tab.ListBox3->Items().Clear();
        tab.ListBox3->Items().AddStrings(exclude);
    });

    std::printf("open a job of %d + %d items:          %8.3f s\n", items, items, open);
    std::printf("read the file + fill both lists (floor): %8.3f s\n", floor);
    std::printf("ratio open / floor:                      %8.2f (target <= 1.5)\n", open / floor);
    program.reset();
    gui::SetShell(nullptr);
    gui::SetClock(nullptr);
    return 0;
}
