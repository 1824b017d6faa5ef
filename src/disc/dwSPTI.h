#pragma once
// ASPI emulation over the NT SCSI pass-through ("INTASPI"): every drive letter of type
// CD-ROM becomes an ASPI device (adapter, target, LUN). The Win32 calls it needs go through
// PassThroughPort so that tests can put a simulated drive behind them.

#include "disc/dwSrb.h"

#include <cstdint>

namespace disc {

constexpr unsigned DriveTypeCdRom = 5;
constexpr uintptr_t InvalidPortHandle = ~uintptr_t(0);

// The fields of a pass-through request that matter to us.
struct PassThroughRequest {
    uint8_t Cdb[16] = {};
    uint8_t CdbLength = 0;
    uint8_t DataIn = 2; // 0 out, 1 in, 2 unspecified
    uint32_t DataTransferLength = 0;
    void* DataBuffer = nullptr;
    uint32_t TimeOutValue = 120; // seconds
    uint8_t SenseInfoLength = 24;
    uint8_t ScsiStatus = 0;
    uint8_t Sense[32] = {};
};

struct ScsiAddress {
    uint8_t PortNumber = 0, PathId = 0, TargetId = 0, Lun = 0;
};

// GetDriveType / CreateFile / DeviceIoControl / CloseHandle for drive letters.
class PassThroughPort {
  public:
    virtual ~PassThroughPort() = default;
    virtual unsigned DriveType(char letter) = 0;
    // "\\.\X:" read-write with read and write sharing, else read-only with read sharing.
    virtual uintptr_t Open(char letter) = 0;
    // IOCTL_SCSI_PASS_THROUGH_DIRECT; false when the call itself failed.
    virtual bool PassThrough(uintptr_t handle, PassThroughRequest& request) = 0;
    // IOCTL_SCSI_GET_ADDRESS.
    virtual bool GetAddress(uintptr_t handle, ScsiAddress& address) = 0;
    virtual void Close(uintptr_t handle) = 0;
};

// The port in use: the system's unless a test installed another (caller keeps ownership).
PassThroughPort& CurrentPassThroughPort();
void SetPassThroughPort(PassThroughPort* port);

// Asks the emulation to close a drive's handle after each command (true at start).
extern bool CloseAfterCommand;

// The emulation's table: builds it once (returns the number of drives; 0 when already
// built; a build that finds none leaves it unbuilt), shuts it (closes every handle), and
// finds the letter of an address (127: none).
int BuildEmulationTable();
void ShutEmulationTable();
char DriveLetterOf(uint8_t HostAdapter, uint8_t Target, uint8_t Lun);

// The emulated entry points.
uint32_t DISC_CDECL InternalGetASPI32SupportInfo();
uint32_t DISC_CDECL InternalSendASPI32Command(void* srb);

} // namespace disc
