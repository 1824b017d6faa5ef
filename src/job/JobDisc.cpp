#include "job/JobDisc.h"

#include "disc/dwASPI.h"
#include "disc/dwDrvLib.h"
#include "job/DiscSpeed.h"

#include <windows.h>

#include <algorithm>

namespace job {

namespace {

constexpr int64_t blockBytes = 2'048;
constexpr int readyMs = 5'000;

class JobDisc final : public DiscWriter {
  public:
    explicit JobDisc(std::string programFolder) : programFolder_(std::move(programFolder)) {}
    ~JobDisc() override { Release(); }

    bool Load(bool preferInternal) override {
        if (loaded_) return true;
        // A driver library beside the program wins over one on the search path.
        const std::string besideProgram = programFolder_ + disc::AspiLibraryName;
        const bool present = GetFileAttributesA(besideProgram.c_str()) != INVALID_FILE_ATTRIBUTES;
        loaded_ = device_.InitASPI(preferInternal, present ? besideProgram : std::string());
        return loaded_;
    }

    bool Select(const std::string& choice, char letter) override {
        if (!loaded_) return false;
        choice_ = choice;
        letter_ = letter;
        return SelectAgain();
    }

    // One rule for the room on a disc, the drives tab's and the job's (DiscSpeed.h).
    int64_t FreeBytes() override {
        if (!Prepare()) return 0;
        DiscRoomFacts facts;
        facts.Ready = true;
        facts.FreeBlocks = device_.GetFreeBlocks();
        facts.NextWritableAddress = device_.GetNextWritableAddress();
        facts.Capacity = device_.GetDiscCapacity();
        facts.DiscStatus = device_.GetDiscStatus();
        facts.MediaType = disc::LastMediaType;
        facts.Erasable = device_.IsErasable();
        return DiscFreeBytes(facts);
    }

    int64_t CapacityAfterErase() override {
        if (!Prepare()) return -1;
        if (!device_.IsErasable() && disc::LastMediaType != disc::mtDVDRAM) return -1;
        const int64_t whole =
            static_cast<int64_t>(device_.GetFreeBlocks()) + device_.GetNextWritableAddress();
        return std::min<int64_t>(whole, device_.GetDiscCapacity()) * blockBytes;
    }

    void Release() override {
        if (loaded_) device_.DoneASPI();
        loaded_ = false;
    }

  private:
    bool SelectAgain() {
        if (!choice_.empty())
            device_.SetDeviceID(choice_);
        else if (letter_)
            device_.SelectDeviceByDriveLetter(letter_);
        return device_.DeviceSelected();
    }

    // The writer selected and ready with a disc seen, selected once more when it was not.
    bool Prepare() {
        if (!loaded_ || !device_.DeviceSelected()) return false;
        if (!device_.TestUnitReady(readyMs) || device_.GetMediaType() == disc::mtUnknown) {
            SelectAgain();
            if (!device_.TestUnitReady(readyMs)) return false;
            device_.GetMediaType();
        }
        return true;
    }

    std::string programFolder_;
    disc::TSCSIDevice device_;
    bool loaded_ = false;
    std::string choice_;
    char letter_ = 0;
};

} // namespace

std::unique_ptr<DiscWriter> MakeJobDisc(const std::string& programFolder) {
    return std::make_unique<JobDisc>(programFolder);
}

} // namespace job
