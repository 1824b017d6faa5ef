#include "job/FCopy2.h"

#include "gui/Clock.h"
#include "gui/Wait.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <vector>

namespace job {

std::string CopySrc;
std::string CopyDst;
bool CopyFailIfExists = false;
bool CopyBusy = false;
bool CopyResult = false;
std::atomic<bool> CopyAbort{false};

namespace {

constexpr int settleMs = 2'000;

DWORD CALLBACK CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                            HANDLE, void*) {
    return CopyAbort ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

bool SizeOf(const std::string& file, int64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// What tells whether a copy wrote to a target that was there before it.
struct TargetState {
    bool Exists = false;
    DWORD Attributes = 0;
    FILETIME Written{};
    int64_t Size = 0;
    bool operator==(const TargetState& other) const {
        return Exists == other.Exists && Size == other.Size && CompareFileTime(&Written, &other.Written) == 0;
    }
};

TargetState StateOf(const std::string& file) {
    TargetState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return state;
    state.Exists = true;
    state.Attributes = data.dwFileAttributes;
    state.Written = data.ftLastWriteTime;
    state.Size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return state;
}

void DeleteTarget(const std::string& file) {
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(file.c_str());
}

bool CopyOnce(const std::string& source, const std::string& destination, bool failIfExists) {
    int64_t sourceSize = 0;
    if (!SizeOf(source, sourceSize)) return false;
    // Opened as the system's copy opens it: a source it could not read leaves the target
    // untouched.
    HANDLE probe =
        CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    const TargetState before = StateOf(destination);
    if (failIfExists && before.Exists) return false;
    // A read-only target is refused as the system refuses it (Wine's copy would replace it).
    if (before.Exists && (before.Attributes & FILE_ATTRIBUTE_READONLY)) return false;

    const BOOL copied = CopyFileExA(source.c_str(), destination.c_str(), CopyProgress, nullptr, nullptr,
                                    failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
    // Made meanwhile by someone else: not ours to delete.
    if (!copied && failIfExists && GetLastError() == ERROR_FILE_EXISTS) return false;
    int64_t targetSize = -1;
    // Wine's copy never calls the progress routine, so an abort may only show once it is done.
    const bool whole = copied && !CopyAbort && SizeOf(destination, targetSize) && targetSize == sourceSize &&
                       HoldsStartOf(destination, source, &CopyAbort);
    // What this copy wrote goes; a target it never touched (a refused overwrite) stays.
    if (!whole && (!before.Exists || !(StateOf(destination) == before))) DeleteTarget(destination);
    return whole;
}

} // namespace

bool HoldsStartOf(const std::string& file, const std::string& source, const std::atomic<bool>* abort) {
    constexpr DWORD chunk = 1 << 20;
    const auto open = [](const std::string& path) {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    };
    HANDLE held = open(file);
    if (held == INVALID_HANDLE_VALUE) return false;
    HANDLE original = open(source);
    if (original == INVALID_HANDLE_VALUE) {
        CloseHandle(held);
        return false;
    }
    std::vector<char> heldBytes(chunk), originalBytes(chunk);
    bool same = true;
    for (;;) {
        DWORD heldRead = 0, originalRead = 0;
        if ((abort && *abort) || !ReadFile(held, heldBytes.data(), chunk, &heldRead, nullptr)) {
            same = false;
            break;
        }
        if (heldRead == 0) break;
        // A short read of the source is its end: the file is then longer than the source.
        if (!ReadFile(original, originalBytes.data(), heldRead, &originalRead, nullptr) ||
            originalRead != heldRead || std::memcmp(heldBytes.data(), originalBytes.data(), heldRead) != 0) {
            same = false;
            break;
        }
    }
    CloseHandle(held);
    CloseHandle(original);
    return same;
}

FCopy::FCopy() : gui::TThread(true) {
    FreeOnTerminate = true;
    Resume();
}

void FCopy::Execute() {
    bool result = false;
    std::exception_ptr failure;
    try {
        Synchronize([this] {
            CopyBusy = true;
            source_ = CopySrc;
            destination_ = CopyDst;
            failIfExists_ = CopyFailIfExists;
        });
        result = CopyOnce(source_, destination_, failIfExists_);
        // The medium settles before the volume counts as written. A worker owns no windows,
        // so this is a plain sleep of the program's clock.
        if (!CopyAbort) gui::CurrentClock().Sleep(settleMs, false);
    } catch (...) {
        failure = std::current_exception();
    }
    // Whatever happened, the waiting GUI side sees the end.
    Synchronize([result] {
        CopyResult = result;
        CopyBusy = false;
    });
    if (failure) std::rethrow_exception(failure);
}

bool CopyFileThreaded(const std::string& source, const std::string& destination, bool failIfExists,
                      const std::function<bool()>& cancelled) {
    if (CopyBusy) return false;
    CopySrc = source;
    CopyDst = destination;
    CopyFailIfExists = failIfExists;
    CopyResult = false;
    CopyAbort = false;
    CopyBusy = true;
    try {
        new FCopy();
    } catch (const gui::EThread&) {
        CopyBusy = false;
        return false;
    }
    for (;;) {
        const bool quitting = gui::ProcessMessages();
        if (!CopyBusy) break;
        if (!CopyAbort && (quitting || (cancelled && cancelled()))) CopyAbort = true;
        // The thread's synchronized steps arrive as messages and wake this wait at once; the
        // timeout re-reads a cancel that came without one. A pending quit would wake it
        // without end, so then the thread's end is awaited in short sleeps.
        if (quitting)
            Sleep(20);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return CopyResult;
}

} // namespace job
