// Replaces files at the next boot as the restore does, with each "entry" copied from a source
// file instead of extracted, for checks that boot a scratch prefix afterwards.
//   bootdrv nt|9x|me TEMPPATH WINDOWSFOLDER TARGET=SOURCE...
// Prints one line per log text and message, then "scheduled: N".
#include "job/BootReplaceWin.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

class CopyHost : public job::TBootReplaceHost {
  public:
    void Status(const std::string&) override {}
    void Log(const std::string& text) override { std::printf("log: %s\n", text.c_str()); }
    bool Ask(const std::string& text) override {
        std::printf("ask: %s\n", text.c_str());
        return true;
    }
    void Inform(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
    void ExtractEntry(int index, const std::string& folder) override {
        const std::string& target = targets[static_cast<size_t>(index)];
        CopyFileA(sources[static_cast<size_t>(index)].c_str(),
                  (folder + target.substr(target.find_last_of('\\') + 1)).c_str(), FALSE);
    }
    void ExtractRestoreData(const std::vector<job::TRebootEntry>&, const std::string&) override {}
    std::vector<std::string> targets, sources;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bootdrv nt|9x|me TEMPPATH WINDOWSFOLDER TARGET=SOURCE...\n");
        return 2;
    }
    const std::string os = argv[1];
    CopyHost host;
    std::vector<job::TRebootEntry> list;
    for (int i = 4; i < argc; ++i) {
        const std::string pair = argv[i];
        const size_t equals = pair.find('=');
        if (equals == std::string::npos) return 2;
        host.targets.push_back(pair.substr(0, equals));
        host.sources.push_back(pair.substr(equals + 1));
        list.push_back({host.targets.back(), i - 4});
    }
    job::TBootReplaceSetup setup;
    setup.os = os == "9x" ? job::TBootOs::Win9x : os == "me" ? job::TBootOs::WinMe : job::TBootOs::NT;
    setup.tempPath = argv[2];
    setup.windowsFolder = argv[3];
    setup.systemTempPath = argv[2];
    const int scheduled = job::ReplaceAtNextBoot(host, list, setup);
    std::printf("scheduled: %d\n", scheduled);
    return 0;
}
