// Loading and unloading the SCSI transport. A driver library is preferred unless the
// caller asks for the internal emulation first; either way the other one is the fall-back.
// The transport is process-wide and changed on the GUI thread only.

#include <windows.h>

#include "disc/dwASPI.h"
#include "disc/dwSPTI.h"

namespace disc {

namespace {
// Frees a driver library still loaded when the process ends.
struct TransportHolder {
    AspiTransport transport;
    ~TransportHolder() {
        if (transport.Library) FreeLibrary(static_cast<HMODULE>(transport.Library));
        transport.Library = nullptr;
        transport.Name.clear();
    }
};
} // namespace

AspiTransport& Transport() {
    static TransportHolder holder;
    return holder.transport;
}

namespace {

void InstallInternal(AspiTransport& transport) {
    transport.Loaded = true;
    transport.Name = InternalAspiName;
    transport.Library = nullptr;
    transport.GetSupportInfo = InternalGetASPI32SupportInfo;
    transport.SendCommand = InternalSendASPI32Command;
}

bool TryLibrary(AspiTransport& transport, const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    // Old loaders returned error codes below 32 as handles.
    if (reinterpret_cast<uintptr_t>(module) <= 31) return false;
    auto info = reinterpret_cast<GetASPI32SupportInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "GetASPI32SupportInfo")));
    auto send = reinterpret_cast<SendASPI32CommandFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SendASPI32Command")));
    if (!info || !send) {
        FreeLibrary(module);
        return false;
    }
    transport.Loaded = true;
    transport.Name = AspiLibraryName;
    transport.Library = module;
    transport.GetSupportInfo = info;
    transport.SendCommand = send;
    return true;
}

} // namespace

bool LoadASPI(bool PreferInternal, const std::string& DllPath) {
    AspiTransport& transport = Transport();
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    if (transport.Library) {
        // A second load without an unload must not leak the library's reference.
        FreeLibrary(static_cast<HMODULE>(transport.Library));
        transport.Library = nullptr;
    }
    transport.Loaded = false;
    if (PreferInternal && BuildEmulationTable() > 0) InstallInternal(transport);
    if (!transport.Loaded && !DllPath.empty()) TryLibrary(transport, DllPath);
    if (!transport.Loaded) {
        // ".\" named as a full path: some loaders do not resolve the relative form.
        char full[MAX_PATH];
        const DWORD n = GetFullPathNameA(".\\WNASPI32.DLL", sizeof full, full, nullptr);
        TryLibrary(transport, n > 0 && n < sizeof full ? std::string(full) : std::string(".\\WNASPI32.DLL"));
    }
    if (!transport.Loaded) TryLibrary(transport, "WNASPI32.DLL");
    if (!transport.Loaded && BuildEmulationTable() > 0) InstallInternal(transport);
    if (transport.Loaded)
        transport.GetSupportInfo();
    else
        transport.Name.clear();
    transport.PreferInternal = PreferInternal;
    SetErrorMode(oldMode);
    return transport.Loaded;
}

bool UnloadASPI() {
    AspiTransport& transport = Transport();
    // The table goes whichever transport was in use, so the next load looks at the drive
    // letters again: a drive may have been attached since.
    ShutEmulationTable();
    if (transport.Library) FreeLibrary(static_cast<HMODULE>(transport.Library));
    transport.Library = nullptr;
    transport.Loaded = false;
    transport.Name.clear();
    transport.GetSupportInfo = nullptr;
    transport.SendCommand = nullptr;
    return true;
}

bool ReloadASPI() {
    const bool preferInternal = Transport().PreferInternal;
    UnloadASPI();
    LoadASPI(preferInternal, "");
    return true;
}

} // namespace disc
