#pragma once
// ASPI for Win32 request blocks in their published byte layout. The transport (a driver
// library or our pass-through emulation) reads these blocks by offset, so every field sits
// where the published header puts it; the static_asserts below hold the layout.
//
// Pointer and handle fields are 32-bit numbers: the layout is that of the 32-bit interface,
// and the portable code (tests, the simulated drive) never dereferences them. Win32 code
// converts with SrbPointer()/ToSrbField().

#include <cstddef>
#include <cstdint>

namespace disc {

// ASPI command codes.
constexpr uint8_t SC_HA_INQUIRY = 0x00;
constexpr uint8_t SC_GET_DEV_TYPE = 0x01;
constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;
constexpr uint8_t SC_ABORT_SRB = 0x03;
constexpr uint8_t SC_RESET_DEV = 0x04;
constexpr uint8_t SC_GET_DISK_INFO = 0x06;

// Request status values.
constexpr uint8_t SS_PENDING = 0x00;
constexpr uint8_t SS_COMP = 0x01;
constexpr uint8_t SS_ABORTED = 0x02;
constexpr uint8_t SS_ABORT_FAIL = 0x03;
constexpr uint8_t SS_ERR = 0x04;
constexpr uint8_t SS_INVALID_CMD = 0x80;
constexpr uint8_t SS_INVALID_HA = 0x81;
constexpr uint8_t SS_NO_DEVICE = 0x82;
constexpr uint8_t SS_INVALID_SRB = 0xE0;
constexpr uint8_t SS_OLD_MANAGER = 0xE1;
constexpr uint8_t SS_BUFFER_ALIGN = 0xE1;
constexpr uint8_t SS_ILLEGAL_MODE = 0xE2;
constexpr uint8_t SS_NO_ASPI = 0xE3;
constexpr uint8_t SS_FAILED_INIT = 0xE4;
constexpr uint8_t SS_ASPI_IS_BUSY = 0xE5;
constexpr uint8_t SS_BUFFER_TO_BIG = 0xE6;
constexpr uint8_t SS_NO_ADAPTERS = 0xE8;

// Host adapter status values.
constexpr uint8_t HASTAT_OK = 0x00;
constexpr uint8_t HASTAT_TIMEOUT = 0x09;
constexpr uint8_t HASTAT_COMMAND_TIMEOUT = 0x0B;
constexpr uint8_t HASTAT_SEL_TO = 0x11;
constexpr uint8_t HASTAT_DO_DU = 0x12;

// Target status values.
constexpr uint8_t STATUS_GOOD = 0x00;
constexpr uint8_t STATUS_CHKCOND = 0x02;
constexpr uint8_t STATUS_BUSY = 0x08;

// Request flags.
constexpr uint8_t SRB_DIR_IN = 0x08;
constexpr uint8_t SRB_DIR_OUT = 0x10;
constexpr uint8_t SRB_EVENT_NOTIFY = 0x40;

// Direction plus event notification, as the command builders use them.
constexpr uint8_t FlagsIn = SRB_EVENT_NOTIFY | SRB_DIR_IN;
constexpr uint8_t FlagsOut = SRB_EVENT_NOTIFY | SRB_DIR_OUT;
constexpr uint8_t FlagsNone = SRB_EVENT_NOTIFY;

// The sense area of our execute request: the published block has 16 bytes; we reserve 32
// and ask for 24 so that drives with long fixed-format sense are not cut short.
constexpr int SrbSenseAreaSize = 32;
constexpr uint8_t SrbSenseLength = 24;

#pragma pack(push, 1)

struct SRB_Header {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    char HA_ManagerId[16];
    char HA_Identifier[16];
    uint8_t HA_Unique[16]; // bytes 0-1 alignment mask, byte 3 maximum targets
    uint16_t HA_Rsvd1;
};

struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
};

struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint32_t SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    uint32_t SRB_PostProc;
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[SrbSenseAreaSize];
};

struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint32_t SRB_ToAbort;
};

struct SRB_GetDiskInfo {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DriveFlags;
    uint8_t SRB_Int13HDriveInfo; // our transports: the drive letter index (A = 0)
    uint8_t SRB_Heads;
    uint8_t SRB_Sectors;
    uint8_t SRB_Rsvd1[10];
};

#pragma pack(pop)

static_assert(sizeof(SRB_Header) == 8);
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8 && offsetof(SRB_HAInquiry, HA_ManagerId) == 10 &&
              offsetof(SRB_HAInquiry, HA_Identifier) == 26 && offsetof(SRB_HAInquiry, HA_Unique) == 42 &&
              sizeof(SRB_HAInquiry) == 60);
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10 && sizeof(SRB_GDEVBlock) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12 &&
              offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16 &&
              offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20 && offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22 &&
              offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 23 &&
              offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24 && offsetof(SRB_ExecSCSICmd, CDBByte) == 48 &&
              offsetof(SRB_ExecSCSICmd, SenseArea) == 64);
static_assert(offsetof(SRB_Abort, SRB_ToAbort) == 8 && sizeof(SRB_Abort) == 12);
static_assert(offsetof(SRB_GetDiskInfo, SRB_Int13HDriveInfo) == 11 && sizeof(SRB_GetDiskInfo) == 24);

#if defined(_WIN32)
#define DISC_CDECL __cdecl
#else
#define DISC_CDECL
#endif

// The two entry points of an ASPI transport.
using GetASPI32SupportInfoFn = uint32_t(DISC_CDECL*)();
using SendASPI32CommandFn = uint32_t(DISC_CDECL*)(void* srb);

} // namespace disc
