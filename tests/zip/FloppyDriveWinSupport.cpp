#include "FloppyDriveWinSupport.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

namespace ziptest {

namespace {

// The mount manager's request that maps a drive letter to a Unix folder (Wine only).
constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct TUnixDrive {
    ULONG size, type, fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset, deviceOffset, labelOffset;
};

std::string UnixName(const std::string& folder) {
    using TToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<TToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    const std::wstring wide(folder.begin(), folder.end());
    char* unixName = toUnix(wide.c_str());
    if (!unixName) return {};
    std::string result = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

} // namespace

TFloppyDriveWin::TFloppyDriveWin(char letter) : letter_(letter) {}

TFloppyDriveWin::~TFloppyDriveWin() {
    if (defined_) Define({}, DRIVE_NO_ROOT_DIR);
}

bool TFloppyDriveWin::Insert(const std::string& folder) {
    const std::string unixFolder = UnixName(folder);
    if (unixFolder.empty()) return false;
    defined_ = Define(unixFolder, DRIVE_REMOVABLE) || defined_;
    return defined_;
}

bool TFloppyDriveWin::Define(const std::string& unixFolder, unsigned type) {
    std::vector<char> request(sizeof(TUnixDrive) + unixFolder.size() + 1, 0);
    auto* drive = reinterpret_cast<TUnixDrive*>(request.data());
    drive->size = static_cast<ULONG>(request.size());
    drive->type = type;
    drive->letter = static_cast<WCHAR>(letter_ | 0x20);
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

} // namespace ziptest
