#include "job/DriveSpace.h"

#include "gui/CivilDate.h"
#include "gui/Clock.h"

#include <windows.h>

#include <cmath>

namespace job {

int DriveOfPath(std::string_view path) {
    if (path.empty()) return -2;
    if (path.size() == 1) return 0;
    const unsigned char letter = static_cast<unsigned char>(path[0]) & ~0x20u;
    if (path[1] != ':' || letter < 'A' || letter > 'Z') return -1;
    return letter - 64;
}

namespace {

bool AskDrive(int drive, ULARGE_INTEGER& freeBytes, ULARGE_INTEGER& totalBytes) {
    char root[] = "A:\\";
    const char* rootName = nullptr;
    if (drive >= 1 && drive <= 26) {
        root[0] = static_cast<char>('A' + drive - 1);
        rootName = root;
    }
    // An absent medium must not bring up the system's "insert a disk" box.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ULARGE_INTEGER callerFree;
    const bool answered = GetDiskFreeSpaceExA(rootName, &callerFree, &totalBytes, &freeBytes) != 0;
    SetErrorMode(oldMode);
    freeBytes = callerFree;
    return answered;
}

} // namespace

int64_t DriveFreeBytes(int drive) {
    if (drive == -1) return NetworkFreeBytes;
    if (drive < -1 || drive > 26) return 0;
    ULARGE_INTEGER freeBytes{}, totalBytes{};
    return AskDrive(drive, freeBytes, totalBytes) ? static_cast<int64_t>(freeBytes.QuadPart) : 0;
}

int64_t DriveSizeBytes(int drive) {
    if (drive == -1) return NetworkFreeBytes;
    if (drive < -1 || drive > 26) return 0;
    ULARGE_INTEGER freeBytes{}, totalBytes{};
    return AskDrive(drive, freeBytes, totalBytes) ? static_cast<int64_t>(totalBytes.QuadPart) : 0;
}

bool CheckDestination(DestinationState& state, bool warn, bool hidden,
                      const std::function<void(const std::string& text, bool boxed)>& notice) {
    state.DestDrive = DriveOfPath(state.DestPath);
    state.DestFreeSpace = DriveFreeBytes(state.DestDrive);
    if (state.DestFreeSpace > 0) {
        const std::string probe = state.DestPath + "\\io.tst";
        HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD put = 0;
        const bool written =
            file != INVALID_HANDLE_VALUE && WriteFile(file, "#", 1, &put, nullptr) && put == 1;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        DeleteFileA(probe.c_str());
        if (!written) state.DestFreeSpace = 0;
    }
    if (state.DestFreeSpace <= 0) return false;
    state.DiscWriterMode = false;
    const char root[] = {state.DestPath.empty() ? 'C' : state.DestPath[0], ':', '\\', 0};
    if (state.EraseFirst && warn && state.DestPath.size() >= 2 && state.DestPath[1] == ':' &&
        GetDriveTypeA(root) == DRIVE_CDROM && notice) {
        const std::string text =
            "The media in \r" + state.DestPath + "\ris formatted for direct access, it will not be erased.";
        if (hidden)
            notice(text, false);
        else
            notice(
                text +
                    " Replace the media with a blank media or continue without erasing the media.\r"
                    "We do not recommend using direct access on a CD media. Do not check disc erase it you "
                    "would use direct access.",
                true);
    }
    state.EraseFirst = false;
    return true;
}

namespace {

bool ValidDosDateTime(WORD date, WORD time) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int month = (date >> 5) & 15, day = date & 31, year = 1980 + (date >> 9);
    if (month < 1 || month > 12 || day < 1 || day > days[month - 1]) return false;
    if (month == 2 && day == 29 && !((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return false;
    return (time >> 11) < 24 && ((time >> 5) & 63) < 60 && (time & 31) < 30;
}

// The file's last-write time as a local DOS date-time; -1 when it has none.
int64_t FileDosDateTime(const std::string& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &date, &time))
        return -1;
    return int64_t(date) << 16 | time;
}

bool Converts(int64_t dosDateTime) {
    return dosDateTime >= 0 && ValidDosDateTime(WORD(dosDateTime >> 16), WORD(dosDateTime & 0xFFFF));
}

int64_t NowAsDos() {
    const double now = gui::CurrentClock().Now();
    const double whole = std::floor(now);
    int year = 1980, month = 1, day = 1;
    gui::CivilFromDays(static_cast<int64_t>(whole) + gui::DateTimeEpochDays, year, month, day);
    const int seconds = static_cast<int>((now - whole) * 86400.0);
    const int64_t date = int64_t(year - 1980) << 9 | month << 5 | day;
    return date << 16 | (seconds / 3600) << 11 | (seconds / 60 % 60) << 5 | (seconds % 60) / 2;
}

} // namespace

bool CheckFileDate(const std::string& fileName, uint64_t lastWriteTime, std::string& message) {
    const FILETIME written{static_cast<DWORD>(lastWriteTime), static_cast<DWORD>(lastWriteTime >> 32)};
    FILETIME local;
    WORD date = 0, time = 0;
    if (FileTimeToLocalFileTime(&written, &local) && FileTimeToDosDateTime(&local, &date, &time) &&
        Converts(int64_t(date) << 16 | time))
        return true;
    return CheckFileDate(fileName, message);
}

bool CheckFileDate(const std::string& fileName, std::string& message) {
    int64_t value = FileDosDateTime(fileName);
    if (Converts(value)) return true;
    message = "File has bad datetime: ";
    if (value < 10) value = NowAsDos();
    for (int step = 0; step < 200 && !Converts(value); ++step)
        ++value;

    HANDLE reading = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (reading == INVALID_HANDLE_VALUE) {
        message = "File skipped it can not be accessed: ";
        return false;
    }
    CloseHandle(reading);
    HANDLE writing = CreateFileA(fileName.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (writing == INVALID_HANDLE_VALUE) return false;
    FILETIME local, universal;
    const bool set =
        Converts(value) && DosDateTimeToFileTime(WORD(value >> 16), WORD(value & 0xFFFF), &local) &&
        LocalFileTimeToFileTime(&local, &universal) && SetFileTime(writing, nullptr, nullptr, &universal);
    CloseHandle(writing);
    if (!set) return false;
    if (!Converts(FileDosDateTime(fileName))) {
        message = "File skipped datetime can not be fixed: ";
        return false;
    }
    message = "Bad datetime fixed for: ";
    return true;
}

} // namespace job
