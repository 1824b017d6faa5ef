#pragma once
// Test support for the disc library under Wine: a fresh folder with a simdrive.ini that the
// fixture DLL reads (through SIMDRIVE_INI), the fixture's command log, a port double with
// no drives (so no test touches the machine's own drives), and a manual clock.

#include "SimBus.h"
#include "SimPassThrough.h"
#include "gui/Clock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace disctest {

class SimFolder {
  public:
    SimFolder();
    ~SimFolder();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }
    // Writes simdrive.ini and points the fixture DLL at it.
    void WriteIni(const std::string& text);
    void WriteFile(const std::string& name, const std::string& bytes);
    std::string ReadFile(const std::string& name) const;
    std::string Log() const { return ReadFile("sim.log"); }

  private:
    std::string path_;
};

// A build path as Windows names it (the host's root is drive Z: under Wine).
std::string WindowsPath(const std::string& hostPath);

// Runs a program (a full command line); its standard output and error, and its exit code.
std::string RunProgram(const std::string& commandLine, unsigned long& exitCode);

// Loads the fixture DLL as the transport (false when it does not load).
bool LoadFixtureTransport();
// SimDriveControl of the loaded fixture DLL.
int FixtureControl(const std::string& command);

// An ISO-like image of `blocks` blocks whose primary volume descriptor says `volumeBlocks`.
std::string CraftedIso(uint32_t blocks, uint32_t volumeBlocks);

// Installs a port with no CD letters, and a manual clock, for the test's lifetime;
// unloads whatever transport the test loaded.
class DiscTestScope {
  public:
    DiscTestScope();
    ~DiscTestScope();
    gui::ManualClock clock;

  private:
    sim::MemoryFiles files_;
    sim::Bus emptyBus_{files_};
    std::unique_ptr<sim::SimPassThroughPort> port_;
};

// A simulated drive in this process behind the pass-through port, its ini, image, log and
// counters in memory: the internal transport reaches it with no file or library work per
// command, so tests can afford tens of thousands of commands. Declare it after the
// DiscTestScope (it replaces the scope's empty port and unloads the transport first).
class MemoryDrive {
  public:
    explicit MemoryDrive(const std::string& ini);
    ~MemoryDrive();
    std::string Log();
    // The thread of every drive-letter lookup (the emulation's table being built).
    std::vector<unsigned long> TableLookups();

  private:
    class Port;
    sim::MemoryFiles files_;
    sim::Bus bus_{files_};
    std::unique_ptr<Port> port_;
};

} // namespace disctest
