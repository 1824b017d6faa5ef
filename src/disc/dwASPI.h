#pragma once
// The SCSI transport: the pair of ASPI entry points every command goes out through, taken
// either from an ASPI driver library ("WNASPI32.DLL") or from our emulation over the NT
// pass-through ("INTASPI"). Process-wide; loaded and unloaded on the GUI thread.

#include "disc/dwSrb.h"

#include <cstdint>
#include <string>

namespace disc {

inline constexpr const char* InternalAspiName = "INTASPI";
inline constexpr const char* AspiLibraryName = "WNASPI32.DLL";

struct AspiTransport {
    bool Loaded = false;
    std::string Name;
    void* Library = nullptr; // module handle of a driver library, null for the emulation
    GetASPI32SupportInfoFn GetSupportInfo = nullptr;
    SendASPI32CommandFn SendCommand = nullptr;
    bool PreferInternal = false;
};
AspiTransport& Transport();

bool LoadASPI(bool PreferInternal, const std::string& DllPath);
bool ReloadASPI();
bool UnloadASPI();

} // namespace disc
