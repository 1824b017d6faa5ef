// ASPI emulation over the NT SCSI pass-through.
//
// Each drive letter of type CD-ROM gets a slot in a 26-entry table, found once by an
// INQUIRY through the pass-through and addressed by IOCTL_SCSI_GET_ADDRESS. Drives whose
// address query fails (Wine's folder-mapped drives, some bridges) all sit on one made-up
// adapter behind the real ones, told apart by a running target number. INQUIRY is answered
// from the table, so the scan works while a drive is busy writing.

#include <windows.h>

#include <winioctl.h>

#include <ntddscsi.h>

#include "disc/dwSPTI.h"
#include "disc/dwSrb.h"

#include <cstddef>
#include <cstring>

namespace disc {

bool CloseAfterCommand = true;

namespace {

constexpr uint8_t NoAddressLun = 250;
constexpr DWORD PassThroughDirectCode = 0x4D014; // IOCTL_SCSI_PASS_THROUGH_DIRECT
constexpr DWORD GetAddressCode = 0x41018;        // IOCTL_SCSI_GET_ADDRESS

struct Slot {
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t letter = 0; // letter index (2 = C); 'x' for letters that are not CD drives
    uint8_t present = 0;
    uintptr_t handle = InvalidPortHandle;
    uint8_t inquiry[40] = {};
};

Slot table[26];
uint8_t adapterCount = 0;
bool initialised = false;
uint8_t targetCounter = 0;
uint8_t inquiryBuffer[1025];

class SystemPassThroughPort : public PassThroughPort {
  public:
    unsigned DriveType(char letter) override {
        const char root[] = {letter, ':', '\\', 0};
        return GetDriveTypeA(root);
    }
    uintptr_t Open(char letter) override {
        const char path[] = {'\\', '\\', '.', '\\', letter, ':', 0};
        HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle == INVALID_HANDLE_VALUE ? InvalidPortHandle : reinterpret_cast<uintptr_t>(handle);
    }
    bool PassThrough(uintptr_t handle, PassThroughRequest& request) override {
        struct {
            SCSI_PASS_THROUGH_DIRECT sptd;
            ULONG filler;
            UCHAR sense[32];
        } block = {};
        block.sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
        block.sptd.CdbLength = request.CdbLength;
        block.sptd.SenseInfoLength = request.SenseInfoLength;
        block.sptd.DataIn = request.DataIn;
        block.sptd.DataTransferLength = request.DataTransferLength;
        block.sptd.TimeOutValue = request.TimeOutValue;
        block.sptd.DataBuffer = request.DataBuffer;
        block.sptd.SenseInfoOffset = offsetof(decltype(block), sense);
        std::memcpy(block.sptd.Cdb, request.Cdb, 16);
        DWORD returned = 0;
        const BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(handle), PassThroughDirectCode, &block,
                                        sizeof block, &block, sizeof block, &returned, nullptr);
        request.ScsiStatus = block.sptd.ScsiStatus;
        std::memcpy(request.Sense, block.sense, sizeof request.Sense);
        return ok != FALSE;
    }
    bool GetAddress(uintptr_t handle, ScsiAddress& address) override {
        SCSI_ADDRESS answer = {};
        answer.Length = sizeof answer;
        DWORD returned = 0;
        if (!DeviceIoControl(reinterpret_cast<HANDLE>(handle), GetAddressCode, nullptr, 0, &answer,
                             sizeof answer, &returned, nullptr))
            return false;
        address.PortNumber = answer.PortNumber;
        address.PathId = answer.PathId;
        address.TargetId = answer.TargetId;
        address.Lun = answer.Lun;
        return true;
    }
    void Close(uintptr_t handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
};

PassThroughPort* installedPort = nullptr;

void ComputeAdapterCount() {
    int highest = -1;
    for (const Slot& slot : table)
        if (slot.present && slot.hostAdapter > highest) highest = slot.hostAdapter;
    adapterCount = static_cast<uint8_t>(highest + 1);
}

void Probe(Slot& slot, char letter) {
    PassThroughPort& port = CurrentPassThroughPort();
    const uintptr_t handle = port.Open(letter);
    if (handle == InvalidPortHandle) return;
    PassThroughRequest request;
    request.Cdb[0] = 0x12;
    request.Cdb[4] = 96;
    request.CdbLength = 6;
    request.DataIn = 1;
    request.DataTransferLength = 96;
    request.DataBuffer = inquiryBuffer;
    request.TimeOutValue = 120;
    request.SenseInfoLength = 24;
    if (port.PassThrough(handle, request) && request.ScsiStatus == 0) {
        std::memcpy(slot.inquiry, inquiryBuffer, sizeof slot.inquiry);
        ScsiAddress address;
        if (port.GetAddress(handle, address)) {
            slot.hostAdapter = address.PortNumber;
            slot.target = address.TargetId;
            slot.lun = address.Lun;
        } else {
            slot.hostAdapter = 0;
            slot.target = targetCounter++;
            slot.lun = NoAddressLun;
        }
        slot.present = 1;
        slot.letter = static_cast<uint8_t>(letter - 'A');
    }
    port.Close(handle);
    slot.handle = InvalidPortHandle;
}

Slot* FindSlot(uint8_t hostAdapter, uint8_t target, uint8_t lun) {
    for (Slot& slot : table)
        if (slot.present && slot.hostAdapter == hostAdapter && slot.target == target && slot.lun == lun)
            return &slot;
    return nullptr;
}

uint32_t ExecuteThroughPort(SRB_ExecSCSICmd& srb) {
    Slot* slot = FindSlot(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (!slot) return srb.SRB_Status = SS_NO_DEVICE;
    uint8_t* buffer = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(srb.SRB_BufPointer));
    if (srb.CDBByte[0] == 0x12) {
        if (srb.SRB_HaId >= adapterCount) return srb.SRB_Status = SS_INVALID_HA;
        // The caller's buffer may be shorter than the stored answer.
        std::memcpy(buffer, slot->inquiry, srb.SRB_BufLen < 36 ? srb.SRB_BufLen : 36);
        return srb.SRB_Status = SS_COMP;
    }
    PassThroughPort& port = CurrentPassThroughPort();
    if (slot->handle == InvalidPortHandle) slot->handle = port.Open(static_cast<char>('A' + slot->letter));
    if (slot->handle == InvalidPortHandle) return srb.SRB_Status = SS_ERR;
    PassThroughRequest request;
    request.DataIn = (srb.SRB_Flags & SRB_DIR_IN) ? 1 : (srb.SRB_Flags & SRB_DIR_OUT) ? 0 : 2;
    request.CdbLength = srb.SRB_CDBLen > 16 ? 16 : srb.SRB_CDBLen;
    request.SenseInfoLength = srb.SRB_SenseLen > SrbSenseAreaSize ? SrbSenseAreaSize : srb.SRB_SenseLen;
    request.DataTransferLength = srb.SRB_BufLen;
    request.DataBuffer = buffer;
    request.TimeOutValue = 120;
    std::memcpy(request.Cdb, srb.CDBByte, 16);
    const bool ok = port.PassThrough(slot->handle, request);
    if (ok && request.ScsiStatus == 0) {
        srb.SRB_Status = SS_COMP;
    } else {
        std::memcpy(srb.SenseArea, request.Sense, request.SenseInfoLength);
        srb.SRB_TargStat = request.ScsiStatus;
        srb.SRB_Status = SS_ERR;
    }
    if (CloseAfterCommand) {
        port.Close(slot->handle);
        slot->handle = InvalidPortHandle;
    }
    return srb.SRB_Status;
}

} // namespace

PassThroughPort& CurrentPassThroughPort() {
    static SystemPassThroughPort systemPort;
    return installedPort ? *installedPort : systemPort;
}

void SetPassThroughPort(PassThroughPort* port) {
    installedPort = port;
}

int BuildEmulationTable() {
    if (initialised) return 0;
    for (Slot& slot : table)
        slot = Slot{};
    targetCounter = 0;
    PassThroughPort& port = CurrentPassThroughPort();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        Slot& slot = table[letter - 'A'];
        if (port.DriveType(letter) == DriveTypeCdRom)
            Probe(slot, letter);
        else
            slot.letter = 'x';
    }
    ComputeAdapterCount();
    bool unaddressed = false;
    for (Slot& slot : table)
        if (slot.present && slot.lun == NoAddressLun) {
            slot.lun = 0;
            slot.hostAdapter = adapterCount;
            unaddressed = true;
        }
    if (unaddressed) ComputeAdapterCount();
    int present = 0;
    for (const Slot& slot : table)
        present += slot.present;
    // A table that found nothing is not kept: a later load (start-up retries one that found
    // no drive) must look again instead of taking the empty table as built.
    initialised = present > 0;
    return present;
}

void ShutEmulationTable() {
    PassThroughPort& port = CurrentPassThroughPort();
    for (Slot& slot : table) {
        if (slot.handle != InvalidPortHandle) port.Close(slot.handle);
        slot = Slot{};
    }
    adapterCount = 0;
    targetCounter = 0;
    initialised = false;
}

char DriveLetterOf(uint8_t HostAdapter, uint8_t Target, uint8_t Lun) {
    const Slot* slot = FindSlot(HostAdapter, Target, Lun);
    return slot ? static_cast<char>('A' + slot->letter) : char(127);
}

uint32_t DISC_CDECL InternalGetASPI32SupportInfo() {
    return adapterCount > 0 ? (uint32_t(SS_COMP) << 8 | adapterCount) : (uint32_t(SS_NO_ADAPTERS) << 8);
}

uint32_t DISC_CDECL InternalSendASPI32Command(void* block) {
    if (!block) return SS_ERR;
    auto* header = static_cast<SRB_Header*>(block);
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: {
        auto* srb = static_cast<SRB_HAInquiry*>(block);
        srb->HA_Count = adapterCount;
        if (srb->SRB_HaId >= adapterCount) return srb->SRB_Status = SS_INVALID_HA;
        srb->HA_SCSI_ID = 7;
        std::memset(srb->HA_ManagerId, 0, sizeof srb->HA_ManagerId);
        std::memcpy(srb->HA_ManagerId, "Internal ASPI", 13);
        std::memset(srb->HA_Identifier, 0, sizeof srb->HA_Identifier);
        std::memcpy(srb->HA_Identifier, "SPTI ", 5);
        srb->HA_Identifier[5] = static_cast<char>('0' + srb->SRB_HaId % 10);
        std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
        srb->HA_Unique[0] = 7;
        srb->HA_Unique[3] = 8;
        return srb->SRB_Status = SS_COMP;
    }
    case SC_GET_DEV_TYPE: {
        auto* srb = static_cast<SRB_GDEVBlock*>(block);
        const bool found = FindSlot(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun) != nullptr;
        srb->SRB_DeviceType = found ? 5 : 0x1F;
        return srb->SRB_Status = found ? SS_COMP : SS_NO_DEVICE;
    }
    case SC_EXEC_SCSI_CMD:
        return ExecuteThroughPort(*static_cast<SRB_ExecSCSICmd*>(block));
    case SC_GET_DISK_INFO:
        return header->SRB_Status = SS_PENDING;
    default:
        return header->SRB_Status = SS_ERR;
    }
}

} // namespace disc
