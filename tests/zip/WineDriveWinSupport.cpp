#include "WineDriveWinSupport.h"
#include "WinTestSupport.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

namespace wintest {

namespace {

// Wine's mount manager request that maps a drive letter to a Unix folder.
constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct TUnixDrive {
    ULONG size, type, fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset, deviceOffset, labelOffset;
};

} // namespace

bool DefineUnixDrive(char letter, const std::string& unixFolder, unsigned driveType) {
    std::vector<char> request(sizeof(TUnixDrive) + unixFolder.size() + 1, 0);
    auto* drive = reinterpret_cast<TUnixDrive*>(request.data());
    drive->size = static_cast<ULONG>(request.size());
    drive->type = unixFolder.empty() ? DRIVE_NO_ROOT_DIR : driveType;
    drive->letter = static_cast<WCHAR>(letter | 0x20);
    drive->mountPointOffset = unixFolder.empty() ? 0 : sizeof(TUnixDrive);
    std::memcpy(request.data() + sizeof(TUnixDrive), unixFolder.c_str(), unixFolder.size());
    const HANDLE manager =
        CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, request.data(),
                                    static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return ok != 0;
}

std::string UnixPathOf(const std::string& windowsPath) {
    using TGetUnixName = char*(CDECL*)(LPCWSTR);
    const auto getUnixName = reinterpret_cast<TGetUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (getUnixName == nullptr) return {};
    const std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unixPath = getUnixName(wide.c_str());
    if (unixPath == nullptr) return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

TWineDrive::TWineDrive(unsigned driveType, char letter) : type_(driveType) {
    folder_ = testsupport::TempFolder::Make("tw-drive-");
    const std::string unixPath = UnixPathOf(folder_);
    if (unixPath.empty()) return;
    if (letter != 0) {
        letter_ = letter;
        defined_ = DefineUnixDrive(letter_, unixPath, type_);
        return;
    }
    constexpr int kLetters = 'Y' - 'M' + 1;
    const int start = static_cast<int>(GetCurrentProcessId() % kLetters);
    for (int i = 0; i < kLetters && !defined_; ++i) {
        letter_ = static_cast<char>('M' + (start + i) % kLetters);
        defined_ =
            GetDriveTypeA(Root().c_str()) == DRIVE_NO_ROOT_DIR && DefineUnixDrive(letter_, unixPath, type_);
    }
}

TWineDrive::~TWineDrive() {
    if (defined_) DefineUnixDrive(letter_, {}, DRIVE_NO_ROOT_DIR);
    testsupport::TempFolder::RemoveTree(folder_);
}

bool TWineDrive::Insert(const std::string& folder) {
    const std::string unixPath = UnixPathOf(folder);
    defined_ = !unixPath.empty() && DefineUnixDrive(letter_, unixPath, type_);
    return defined_;
}

} // namespace wintest
