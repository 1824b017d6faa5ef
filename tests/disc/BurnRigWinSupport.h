#pragma once
// A disc-writer component on a simulated drive, for the write and erase tests: three source
// files, the drive reached through the fixture library (its log and image files in a scratch
// folder) or, for tests that need tens of thousands of commands, through the internal
// transport to a drive in memory. Everything waits on the manual clock.

#include "SimDriveWinSupport.h"

#include <functional>
#include <memory>
#include <string>

#include "disc/dwBurner.h"

namespace disctest {

enum class Route { FixtureLibrary, InMemory };

struct BurnRig {
    DiscTestScope scope;
    SimFolder folder;
    std::unique_ptr<MemoryDrive> memory;
    std::unique_ptr<disc::TDiscBurner> burner;
    int doneCalls = 0;
    std::string error;
    bool onGuiThread = false;
    int eraseCalls = 0;
    bool eraseError = false;

    // beforeLoad runs once the source files exist and before the drive loads its disc (to
    // make the files that Prefill names).
    explicit BurnRig(const std::string& media, const std::string& extra = "", const std::string& prefill = "",
                     Route route = Route::FixtureLibrary,
                     const std::function<void(SimFolder&)>& beforeLoad = {});
    ~BurnRig();
    void Add(const std::string& name);
    // Runs BurnCD and waits for the report.
    bool Burn(const std::function<void()>& afterStart = {});
    // Runs EraseDisc and, when it started, waits for OnEraseDone.
    bool Erase(uint8_t kind, const std::function<void()>& afterStart = {});
    std::string Log();
    // Commands to the drive at 0:0:0 whose CDB starts with these hex bytes ("5b ", "2a ").
    size_t Count(const std::string& cdbStart);
    // A fresh tree holding the last session's files.
    void ImportLast();
    bool Verify(const std::string& name);
    // Leaves the disc image where the native peer test reads it (the Windows build folder's
    // "peer-images"); Unpublish at the start of a test removes the last run's, so a failed run
    // leaves none to be taken for its own.
    void Publish(const std::string& name);
    static void Unpublish(const std::string& name);
};

} // namespace disctest
