#include "SimDriveWinSupport.h"

#include <windows.h>

#include "disc/dwASPI.h"
#include "disc/dwDrvLib.h"
#include "disc/dwSPTI.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace disctest {

namespace {
std::atomic<int> folderCounter{0};
} // namespace

SimFolder::SimFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "twdisc-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount()) + "-" + std::to_string(++folderCounter);
    CreateDirectoryA(path_.c_str(), nullptr);
}

SimFolder::~SimFolder() {
    SetEnvironmentVariableA("SIMDRIVE_INI", nullptr);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA(File(found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

void SimFolder::WriteIni(const std::string& text) {
    WriteFile("simdrive.ini", text);
    SetEnvironmentVariableA("SIMDRIVE_INI", File("simdrive.ini").c_str());
}

void SimFolder::WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(File(name), std::ios::binary);
    out << bytes;
}

std::string SimFolder::ReadFile(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string WindowsPath(const std::string& hostPath) {
    std::string path = hostPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return !hostPath.empty() && hostPath[0] == '/' ? "Z:" + path : path;
}

std::string RunProgram(const std::string& commandLine, unsigned long& exitCode) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0)
            output.append(chunk, got);
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return output;
}

bool LoadFixtureTransport() {
    return disc::LoadASPI(false, WindowsPath(TW_SIMDRIVE_DLL));
}

int FixtureControl(const std::string& command) {
    auto control = reinterpret_cast<int(__cdecl*)(const char*)>(reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(disc::Transport().Library), "SimDriveControl")));
    return control ? control(command.c_str()) : -1;
}

std::string CraftedIso(uint32_t blocks, uint32_t volumeBlocks) {
    std::string image(size_t(blocks) * 2048, '\0');
    char* pvd = &image[16 * 2048];
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
    pvd[6] = 1;
    for (int i = 0; i < 4; ++i) {
        pvd[80 + i] = static_cast<char>(volumeBlocks >> (8 * i));
        pvd[87 - i] = static_cast<char>(volumeBlocks >> (8 * i));
    }
    char* terminator = &image[17 * 2048];
    terminator[0] = static_cast<char>(0xFF);
    std::memcpy(terminator + 1, "CD001", 5);
    return image;
}

namespace {
// The library-wide query state starts each test as a fresh process has it: a media type left
// by an earlier test's disc would steer this test's queries.
void ResetQueryState() {
    disc::LastMediaType = disc::mtUnknown;
    std::memset(disc::DiscInformationBuffer, 0, sizeof disc::DiscInformationBuffer);
}
} // namespace

DiscTestScope::DiscTestScope() : port_(std::make_unique<sim::SimPassThroughPort>(emptyBus_)) {
    ResetQueryState();
    disc::SetPassThroughPort(port_.get());
    gui::SetClock(&clock);
}

DiscTestScope::~DiscTestScope() {
    disc::UnloadASPI();
    disc::ShutEmulationTable();
    disc::CloseAfterCommand = true;
    ResetQueryState();
    disc::SetPassThroughPort(nullptr);
    gui::SetClock(nullptr);
}

namespace {
const char* const kMemoryIni = "mem/simdrive.ini";
} // namespace

class MemoryDrive::Port : public sim::SimPassThroughPort {
  public:
    using SimPassThroughPort::SimPassThroughPort;
    unsigned DriveType(char letter) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            threads.push_back(GetCurrentThreadId());
        }
        return SimPassThroughPort::DriveType(letter);
    }
    std::mutex mutex;
    std::vector<unsigned long> threads;
};

MemoryDrive::MemoryDrive(const std::string& ini) {
    files_.WriteText(kMemoryIni, ini);
    bus_.Open(kMemoryIni);
    port_ = std::make_unique<Port>(bus_);
    disc::UnloadASPI();
    disc::ShutEmulationTable();
    disc::SetPassThroughPort(port_.get());
}

MemoryDrive::~MemoryDrive() {
    disc::UnloadASPI();
    disc::ShutEmulationTable();
    disc::SetPassThroughPort(nullptr);
}

std::string MemoryDrive::Log() {
    std::string text;
    files_.ReadText("mem/sim.log", text);
    return text;
}

std::vector<unsigned long> MemoryDrive::TableLookups() {
    std::lock_guard<std::mutex> lock(port_->mutex);
    return port_->threads;
}

} // namespace disctest
