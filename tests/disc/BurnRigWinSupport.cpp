#include "BurnRigWinSupport.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "gui/Wait.h"

#include <gtest/gtest.h>

namespace disctest {

using namespace disc;

BurnRig::BurnRig(const std::string& media, const std::string& extra, const std::string& prefill, Route route,
                 const std::function<void(SimFolder&)>& beforeLoad) {
    folder.WriteFile("a.zip", std::string(100000, 'a'));
    folder.WriteFile("b.txt", "bee");
    folder.WriteFile("c.bin", std::string(70000, 'c'));
    if (beforeLoad) beforeLoad(folder);
    const std::string ini =
        "[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=E\nDisc=d0\n"
        "BusyPolls=0\nTestWrite=1\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\n["
        "Disc:d0]\nMedia=" +
        media + "\nImage=d0.img\nPrefill=" + prefill + "\n" + extra;
    if (route == Route::InMemory) {
        memory = std::make_unique<MemoryDrive>(ini);
        burner = std::make_unique<TDiscBurner>();
        EXPECT_TRUE(burner->InitASPI(true, ""));
    } else {
        folder.WriteIni(ini);
        burner = std::make_unique<TDiscBurner>();
        EXPECT_TRUE(burner->InitASPI(false, WindowsPath(TW_SIMDRIVE_DLL)));
    }
    if (!burner->DeviceList.empty()) burner->SetDeviceID(burner->DeviceList[0]);
    const DWORD gui = GetCurrentThreadId();
    burner->OnWriteDone = [this, gui](void*, const std::string& text) {
        ++doneCalls;
        error = text;
        onGuiThread = GetCurrentThreadId() == gui;
    };
    burner->OnEraseDone = [this](void*, bool withError) {
        ++eraseCalls;
        eraseError = withError;
    };
}

BurnRig::~BurnRig() {
    burner.reset();
}

void BurnRig::Add(const std::string& name) {
    burner->Image.InsertFile(folder.File(name), "\\");
}

bool BurnRig::Burn(const std::function<void()>& afterStart) {
    const int before = doneCalls;
    const bool started = burner->BurnCD();
    if (afterStart) afterStart();
    for (long spins = 0; started && doneCalls == before && spins < 20000000; ++spins)
        gui::Wait(1, false);
    EXPECT_EQ(doneCalls, before + 1);
    return started;
}

bool BurnRig::Erase(uint8_t kind, const std::function<void()>& afterStart) {
    const int before = eraseCalls;
    const bool started = burner->EraseDisc(kind);
    if (started && afterStart) afterStart();
    for (long spins = 0; started && eraseCalls == before && spins < 20000000; ++spins)
        gui::Wait(1, false);
    if (started) {
        EXPECT_EQ(eraseCalls, before + 1);
    }
    return started;
}

std::string BurnRig::Log() {
    return memory ? memory->Log() : folder.Log();
}

size_t BurnRig::Count(const std::string& cdbStart) {
    const std::string log = Log(), command = " 0:0:0 " + cdbStart;
    size_t count = 0;
    for (size_t at = log.find(command); at != std::string::npos; at = log.find(command, at + 1))
        ++count;
    return count;
}

void BurnRig::ImportLast() {
    burner->Image.ClearAll(65535, 8191);
    burner->ImportSession(-1, nullptr);
}

bool BurnRig::Verify(const std::string& name) {
    TFEntry* entry = burner->Image.FindFile(burner->Image.Root(), name);
    return entry && burner->VerifyFile(entry, folder.File(name));
}

namespace {
std::filesystem::path PeerImages() {
    return std::filesystem::path(WindowsPath(TW_BINARY_DIR)) / "peer-images";
}
} // namespace

void BurnRig::Unpublish(const std::string& name) {
    std::filesystem::remove(PeerImages() / name);
    std::filesystem::remove(PeerImages() / (name + ".start"));
}

void BurnRig::Publish(const std::string& name) {
    const std::filesystem::path dir = PeerImages();
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(folder.File("d0.img"), dir / name,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(dir / (name + ".start")) << burner->MultisessionStart();
}

} // namespace disctest
