#include "ui/DriveDetector.h"

#include "disc/dwASPI.h"
#include "disc/dwDrvLib.h"

#include <windows.h>

namespace ui {

namespace {

class DiscDriveDetector final : public DriveDetector {
  public:
    explicit DiscDriveDetector(std::string programFolder) : programFolder_(std::move(programFolder)) {}
    ~DiscDriveDetector() override { Unload(); }

    bool Load(bool preferInternal) override {
        const std::string besideProgram = programFolder_ + disc::AspiLibraryName;
        const bool present = GetFileAttributesA(besideProgram.c_str()) != INVALID_FILE_ATTRIBUTES;
        loaded_ = device_.InitASPI(preferInternal, present ? besideProgram : std::string());
        return loaded_;
    }
    bool Loaded() const override { return loaded_; }
    std::vector<std::string> Names() override {
        return loaded_ ? device_.DeviceList : std::vector<std::string>{};
    }
    DetectedDrive Select(size_t index) override {
        DetectedDrive drive;
        if (!loaded_ || index >= device_.DeviceList.size()) return drive;
        device_.SetDeviceID(device_.DeviceList[index]);
        if (!device_.DeviceSelected()) return drive;
        drive.capabilities = device_.CapabilitySet;
        const char letter = device_.GetDriveLetter();
        if (letter >= 'A' && letter <= 'Z') drive.letter = letter;
        if (letter >= 'a' && letter <= 'z') drive.letter = static_cast<char>(letter - 'a' + 'A');
        return drive;
    }
    void Unload() override {
        if (loaded_) device_.DoneASPI();
        loaded_ = false;
    }
    bool IsDiscLetter(char letter) override {
        const char root[] = {letter, ':', '\\', 0};
        return GetDriveTypeA(root) == DRIVE_CDROM;
    }

  private:
    std::string programFolder_;
    disc::TSCSIDevice device_;
    bool loaded_ = false;
};

} // namespace

std::unique_ptr<DriveDetector> MakeDiscDriveDetector(const std::string& programFolder) {
    return std::make_unique<DiscDriveDetector>(programFolder);
}

} // namespace ui
