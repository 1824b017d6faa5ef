// The SCSI device: selection, the device scan, ExecSCSICommand and the command builders.
//
// ExecSCSICommand fills the execute request, sends it through the loaded transport and,
// when the transport answers "pending", waits on the request's event through the clock
// seam, so tests run the 10,000 ms and longer time-outs on a manual clock. A request still
// pending after its time-out is aborted before its event is closed: a completion that
// arrives late then finds no request to signal instead of a recycled handle.

#include <windows.h>

#include "disc/dwASPI.h"
#include "disc/dwConst.h"
#include "disc/dwDrvLib.h"
#include "disc/dwSPTI.h"
#include "gui/Clock.h"
#include "gui/TextTrim.h"
#include "gui/Wait.h"

#include <algorithm>
#include <cstring>

namespace disc {

int LastMediaType = mtUnknown;
uint8_t DiscInformationBuffer[DiscInformationLength] = {};

namespace {

uint32_t ToSrbField(const void* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

uint8_t LoadStatus(const SRB_ExecSCSICmd& request) {
    return __atomic_load_n(&request.SRB_Status, __ATOMIC_ACQUIRE);
}

// Waits for the request's event. On the system clock a plain wait. On a test clock the
// time-out counts virtual time while the transport's worker runs in real time: the wait polls
// in real 1 ms steps for up to kTestClockRealMs and moves the virtual clock along in step, so
// a worker slowed by a loaded machine is still waited for and a hung request costs the same
// short real time whatever its time-out.
constexpr DWORD kTestClockRealMs = 2000;

void WaitForRequest(HANDLE event, int timeoutMs) {
    gui::Clock& clock = gui::CurrentClock();
    if (&clock == &gui::SystemClock()) {
        WaitForSingleObject(event, static_cast<DWORD>(timeoutMs));
        return;
    }
    const int64_t start = clock.MonotonicMs(), deadline = start + timeoutMs;
    const DWORD realStart = GetTickCount();
    for (;;) {
        if (WaitForSingleObject(event, 1) == WAIT_OBJECT_0) return;
        const DWORD real = GetTickCount() - realStart;
        const int64_t due =
            real >= kTestClockRealMs ? deadline : start + int64_t(timeoutMs) * real / kTestClockRealMs;
        const int64_t now = clock.MonotonicMs();
        if (now >= deadline) return;
        if (due > now) clock.Sleep(static_cast<int>(due - now), false);
    }
}

} // namespace

DebugSwitch& DebugSwitch::operator=(bool on) {
    on_.store(on);
    return *this;
}

TSCSIDevice::TSCSIDevice() {
    if (Transport().Loaded) {
        HostAdapterInquiry(0);
        ScanDevices();
    }
}

TSCSIDevice::~TSCSIDevice() = default;

bool TSCSIDevice::InitASPI(bool PreferInternal, const std::string& DllPath) {
    const bool loaded = LoadASPI(PreferInternal, DllPath);
    if (loaded) {
        HostAdapterInquiry(0);
        ScanDevices();
    }
    return loaded;
}

void TSCSIDevice::DoneASPI() {
    UnloadASPI();
}

void TSCSIDevice::DoDebugMessage(const std::string& Text, uint8_t mType) {
    if (OnDebugMessage) OnDebugMessage(this, Text, mType);
}

void TSCSIDevice::HostAdapterInquiry(uint8_t Adapter) {
    AspiTransport& transport = Transport();
    if (!transport.Loaded) return;
    SRB_HAInquiry inquiry = {};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = Adapter;
    transport.SendCommand(&inquiry);
    AdapterCount = inquiry.SRB_Status == SS_COMP ? inquiry.HA_Count : 255;
    if (AdapterCount == 0) AdapterCount = 7;
}

void TSCSIDevice::ScanDevices() {
    AspiTransport& transport = Transport();
    DeviceList.clear();
    if (!transport.Loaded) return;
    const uint8_t keepHa = HaId, keepTarget = Target, keepLun = Lun;
    Lun = 0;
    if (DoDebug) DoDebugMessage(">>> " + transport.Name, 1);
    const uint8_t adapters = AdapterCount;
    for (int adapter = 0; adapter < adapters; ++adapter) {
        SRB_HAInquiry inquiry = {};
        inquiry.SRB_Cmd = SC_HA_INQUIRY;
        inquiry.SRB_HaId = static_cast<uint8_t>(adapter);
        transport.SendCommand(&inquiry);
        // A count we could not learn (255) ends at the first adapter the transport denies.
        if (inquiry.SRB_Status == SS_INVALID_HA && adapters == 255) break;
        if (DoDebug) {
            const std::string manager(inquiry.HA_ManagerId, strnlen(inquiry.HA_ManagerId, 16));
            const std::string identifier(inquiry.HA_Identifier, strnlen(inquiry.HA_Identifier, 16));
            DoDebugMessage(">>> " + manager + " (" + gui::Trim(identifier) + ")", 1);
        }
        for (int target = 0; target < 8; ++target)
            for (int lun = 0; lun < 8; ++lun) {
                HaId = static_cast<uint8_t>(adapter);
                Target = static_cast<uint8_t>(target);
                Lun = static_cast<uint8_t>(lun);
                std::memset(InquiryData, 0, sizeof InquiryData);
                if (!Inquiry()) continue;
                const uint8_t type = InquiryData[0] & 0x1F;
                if (type != 5 && type != 4) continue;
                const char letter = GetDriveLetter();
                std::string entry =
                    std::to_string(adapter) + ":" + std::to_string(target) + ":" + std::to_string(lun) + ",";
                entry += static_cast<unsigned char>(letter) < 127 ? std::string(1, letter) : std::string("?");
                entry += ": ";
                entry.append(reinterpret_cast<const char*>(InquiryData + 8), 28);
                if (type == 4) entry += " (not supported)";
                DeviceList.push_back(entry);
            }
    }
    HaId = keepHa;
    Target = keepTarget;
    Lun = keepLun;
}

void TSCSIDevice::Deselect() {
    HaId = Target = Lun = 254;
    DeviceType = 127;
    DeviceName.clear();
    DeviceId.clear();
}

void TSCSIDevice::SetDeviceID(const std::string& Entry) {
    if (Entry.size() < 5) {
        if (!Entry.empty()) DoDebugMessage(DiscMessage(msgInvalidDeviceId), 0);
        Deselect();
        return;
    }
    auto digit = [&](size_t index) {
        const char c = Entry[index];
        return static_cast<uint8_t>(c >= '0' && c <= '9' ? c - '0' : 254);
    };
    HaId = digit(0);
    Target = digit(2);
    Lun = digit(4);
    DeviceId = Entry;
    const bool answered = Inquiry();
    if (!answered) {
        DeviceName = LastError;
        DeviceType = 127;
    } else {
        for (int i = 8; i < 56; ++i)
            if (InquiryData[i] < 32) InquiryData[i] = ' ';
        const InquiryStrings strings = ParseInquiryStrings(InquiryData, sizeof InquiryData);
        DeviceName = strings.Vendor + " " + strings.Product + " " + strings.Revision;
        DeviceType = InquiryData[0] & 0x1F;
    }
    // The quirks belong to this drive before its capabilities are read: the underrun quirk
    // adds to them, and the last drive's must not.
    ApplyQuirks(answered);
    ReadCapabilities();
    if (DeviceType != 5 && DeviceType != 4) {
        DoDebugMessage(DiscMessage(msgInvalidDeviceId), 0);
        Deselect();
        return;
    }
    if (OnDeviceChange) OnDeviceChange(this);
    ProbeWriteTypes();
}

void TSCSIDevice::ApplyQuirks(bool Answered) {
    const InquiryStrings strings =
        Answered ? ParseInquiryStrings(InquiryData, sizeof InquiryData) : InquiryStrings{};
    const std::string product = gui::Trim(strings.Product), vendor = gui::Trim(strings.Vendor);
    QuirkForceUnderrun = product == "CD-W512EB";
    QuirkLinkSizeValid = product == "CRX175E" || product == "CD-RW  CRX800E";
    QuirkEraseWaitAgain = product.rfind("UJDA", 0) == 0 || vendor.rfind("TDK", 0) == 0;
    QuirkSlowReady =
        QuirkEraseWaitAgain || strings.Product == "DVD-RW  DVR-103 " || strings.Product == "DVD-RW  DVR-104 ";
    QuirkImmediateClose = product != "CDRW321040X";
}

void TSCSIDevice::ProbeWriteTypes() {
    static const uint8_t writeTypes[] = {3, 2, 1};
    for (uint8_t writeType : writeTypes) {
        uint8_t answer[512] = {};
        if (!ModeSense(0x05, answer, false, sizeof answer, sizeof answer)) continue;
        const int offset = LocateModePage(answer, sizeof answer, 0x05);
        if (offset < 0 || offset + 2 + WriteParametersPageLength > int(sizeof answer)) continue;
        uint8_t* page = answer + offset;
        page[2] = static_cast<uint8_t>((page[2] & 0xF0) | writeType);
        if (writeType == 3) page[4] = 1;
        page[3] = 0;
        page[8] = 0;
        PutBe16(page + 14, 150);
        const int pageLength = page[1] + 2;
        if (offset + pageLength > int(sizeof answer)) continue;
        uint8_t list[8 + 256] = {};
        std::memcpy(list + 8, page, static_cast<size_t>(std::min(pageLength, 256)));
        ModeSelect(list, std::min(pageLength, 256) + 8);
    }
}

bool TSCSIDevice::SelectDeviceByDriveLetter(char Letter) {
    PassThroughPort& port = CurrentPassThroughPort();
    const uintptr_t handle = port.Open(Letter);
    bool selected = false;
    ScsiAddress address;
    const bool addressed = handle != InvalidPortHandle && port.GetAddress(handle, address);
    if (handle != InvalidPortHandle) port.Close(handle);
    if (addressed) {
        SetDeviceID(std::to_string(address.PortNumber) + ":" + std::to_string(address.TargetId) + ":" +
                    std::to_string(address.Lun) + "," + Letter + ":");
        return DeviceSelected();
    }
    // No address (the open failed, or it opened but the address query failed, as on
    // Wine's folder-mapped drives): ask the transport's disk-information service.
    AspiTransport& transport = Transport();
    if (!transport.Loaded) return false;
    const int wanted = (Letter & ~0x20) - 'A';
    const int adapters = AdapterCount == 255 ? 8 : AdapterCount;
    for (int adapter = 0; adapter < adapters && !selected; ++adapter)
        for (int target = 0; target < 8 && !selected; ++target)
            for (int lun = 0; lun < 8 && !selected; ++lun) {
                SRB_GetDiskInfo info = {};
                info.SRB_Cmd = SC_GET_DISK_INFO;
                info.SRB_HaId = static_cast<uint8_t>(adapter);
                info.SRB_Target = static_cast<uint8_t>(target);
                info.SRB_Lun = static_cast<uint8_t>(lun);
                transport.SendCommand(&info);
                if (info.SRB_Status == SS_COMP && info.SRB_Int13HDriveInfo == wanted) {
                    SetDeviceID(std::to_string(adapter) + ":" + std::to_string(target) + ":" +
                                std::to_string(lun) + "," + static_cast<char>('A' + wanted) + ":");
                    selected = true;
                }
            }
    return selected && DeviceSelected();
}

char TSCSIDevice::GetDriveLetter() {
    AspiTransport& transport = Transport();
    if (transport.Name == InternalAspiName) return DriveLetterOf(HaId, Target, Lun);
    PassThroughPort& port = CurrentPassThroughPort();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const uintptr_t handle = port.Open(letter);
        if (handle == InvalidPortHandle) continue;
        ScsiAddress address;
        const bool addressed = port.GetAddress(handle, address);
        port.Close(handle);
        if (addressed && address.PortNumber == HaId && address.TargetId == Target) return letter;
    }
    if (!transport.Loaded) return char(128);
    SRB_GetDiskInfo info = {};
    info.SRB_Cmd = SC_GET_DISK_INFO;
    info.SRB_HaId = HaId;
    info.SRB_Target = Target;
    info.SRB_Lun = Lun;
    transport.SendCommand(&info);
    if (info.SRB_Status != SS_COMP || info.SRB_Int13HDriveInfo > 25) return char(128);
    return static_cast<char>('A' + info.SRB_Int13HDriveInfo);
}

int TSCSIDevice::ExecSCSICommand(SRB_ExecSCSICmd& Request, int TimeoutMs) {
    LastError.clear();
    Busy = false;
    std::memset(LastSense, 0, sizeof LastSense);
    AspiTransport& transport = Transport();
    if (!transport.Loaded || HaId == 254) return 226;
    HANDLE event = nullptr;
    if (Request.SRB_Flags & SRB_EVENT_NOTIFY) {
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ResetEvent(event);
        Request.SRB_PostProc = ToSrbField(event);
    }
    Request.SRB_Cmd = SC_EXEC_SCSI_CMD;
    Request.SRB_HaId = HaId;
    Request.SRB_Target = Target;
    Request.SRB_Lun = Lun;
    Request.SRB_SenseLen = SrbSenseLength;
    Request.CDBByte[1] = static_cast<uint8_t>((Request.CDBByte[1] & 0x1F) | (Lun << 5));
    if (TimeoutMs < 10001) TimeoutMs = 10000;
    bool aborted;
    {
        std::lock_guard<std::mutex> guard(commandLock_);
        aborted = commandsAborted_;
        if (!aborted) commandEvent_ = event;
    }
    if (aborted) {
        // Never sent: it ends as a command the drive did not answer.
        if (event) CloseHandle(event);
        Request.SRB_Status = SS_ERR;
        Request.SRB_HaStat = HASTAT_TIMEOUT;
    } else {
        transport.SendCommand(&Request);
        if (event && LoadStatus(Request) == SS_PENDING) WaitForRequest(event, TimeoutMs);
        {
            std::lock_guard<std::mutex> guard(commandLock_);
            commandEvent_ = nullptr;
        }
        if (LoadStatus(Request) == SS_PENDING) {
            if (event) {
                SRB_Abort abort = {};
                abort.SRB_Cmd = SC_ABORT_SRB;
                abort.SRB_HaId = HaId;
                abort.SRB_ToAbort = ToSrbField(&Request);
                transport.SendCommand(&abort);
                CloseHandle(event);
                Request.SRB_Status = SS_ERR;
                Request.SRB_HaStat = HASTAT_TIMEOUT;
            }
        } else if (event) {
            CloseHandle(event);
        }
    }
    const uint8_t status = LoadStatus(Request);
    if (status != SS_PENDING && status != SS_COMP) {
        const DeviceError error = DecodeDeviceError(status, Request.SRB_HaStat, Request.SRB_TargStat,
                                                    Request.SenseArea, SrbSenseAreaSize);
        LastError = error.Text;
        Busy = error.Busy;
        std::memcpy(LastSense, Request.SenseArea, SrbSenseAreaSize);
    }
    return 1;
}

void TSCSIDevice::AbortCommands() {
    std::lock_guard<std::mutex> guard(commandLock_);
    commandsAborted_ = true;
    if (commandEvent_) SetEvent(commandEvent_);
}

bool TSCSIDevice::Command(const Cdb& Block, uint8_t Flags, void* Buffer, uint32_t Length, int TimeoutMs) {
    SRB_ExecSCSICmd request = {};
    request.SRB_Flags = Flags;
    request.SRB_BufLen = Length;
    request.SRB_BufPointer = ToSrbField(Buffer);
    request.SRB_CDBLen = Block.length;
    std::memcpy(request.CDBByte, Block.bytes, sizeof request.CDBByte);
    if (ExecSCSICommand(request, TimeoutMs) != 1) return false;
    return request.SRB_Status == SS_COMP;
}

bool TSCSIDevice::WaitReady(int TotalMs, int StepMs) {
    uint8_t sense[40] = {};
    if (QuirkSlowReady) {
        do {
            gui::Wait(1500, false);
            TotalMs -= 1500;
            if (TotalMs < 0) break;
            TestUnitReady(5000);
        } while (LastSense[12] == 4);
    }
    if (LastMediaType != mtDVDRAM) {
        uint8_t info[DiscInformationLength];
        do {
            gui::Wait(StepMs, false);
            ReadDiscInformation(info, sizeof info);
            TotalMs -= StepMs;
            if (TotalMs < 0) return false;
        } while (LastSense[12] == 4);
    } else {
        sense[12] = 4;
    }
    if (TestUnitReady(5000) && sense[12] == 0) return true;
    while (LastSense[12] == 4) {
        gui::Wait(StepMs, false);
        TotalMs -= StepMs;
        if (TotalMs < 0) return false;
        TestUnitReady(5000);
    }
    for (;;) {
        std::memset(sense, 0, sizeof sense);
        RequestSense(sense, sizeof sense);
        TotalMs -= StepMs;
        if (TotalMs < 0) return false;
        if (sense[0] == 0xF0) sense[12] = 4;
        if (sense[12] == 4) gui::Wait(StepMs, false);
        if (sense[12] == 0) return true;
    }
}

// Command builders.

bool TSCSIDevice::TestUnitReady(int TimeoutMs) {
    return Command(cdb::TestUnitReady(), FlagsNone, nullptr, 0, TimeoutMs);
}
bool TSCSIDevice::Rezero() {
    return Command(cdb::Rezero(), FlagsNone, nullptr, 0, 10000);
}

bool TSCSIDevice::RequestSense(uint8_t* Buffer, int Length) {
    if (Length < 0 || Length > 255) return false;
    return Command(cdb::RequestSense(static_cast<uint8_t>(Length)), FlagsIn, Buffer,
                   static_cast<uint32_t>(Length), 10000);
}

bool TSCSIDevice::FormatUnit(uint8_t Byte1, const uint8_t* List, int Length) {
    return Command(cdb::FormatUnit(Byte1), FlagsOut, const_cast<uint8_t*>(List),
                   static_cast<uint32_t>(Length), 10000);
}

bool TSCSIDevice::Inquiry() {
    return Command(cdb::Inquiry(sizeof InquiryData), FlagsIn, InquiryData, sizeof InquiryData, 10000);
}

bool TSCSIDevice::LoadEject(bool Eject) {
    CloseAfterCommand = true;
    const bool ok = Command(cdb::StartStopUnit(Eject), FlagsNone, nullptr, 0, 20000);
    CloseAfterCommand = false;
    return ok;
}

bool TSCSIDevice::LockMedium(bool Unlock) {
    if (Unlock) CloseAfterCommand = true;
    const bool ok = Command(cdb::PreventAllowMediumRemoval(Unlock), FlagsNone, nullptr, 0, 10000);
    CloseAfterCommand = false;
    return ok;
}

bool TSCSIDevice::ReadFormatCapacities(uint32_t& Blocks, uint32_t& BlockLength) {
    uint8_t answer[0xF8] = {};
    Blocks = 0;
    BlockLength = 2048;
    if (!Command(cdb::ReadFormatCapacities(0xF8), FlagsIn, answer, sizeof answer, 10000)) return false;
    return ParseFormatCapacities(answer, sizeof answer, Blocks);
}

bool TSCSIDevice::ReadCapacity(uint32_t& LastBlock, uint32_t& BlockLength) {
    uint8_t answer[8] = {};
    LastBlock = BlockLength = 0;
    if (!Command(cdb::ReadCapacity(), FlagsIn, answer, sizeof answer, 10000)) return false;
    return ParseReadCapacity(answer, sizeof answer, LastBlock, BlockLength);
}

bool TSCSIDevice::Read10(uint32_t Lba, uint16_t Blocks, uint32_t Length, void* Buffer) {
    return Command(cdb::Read10(Lba, Blocks), FlagsIn, Buffer, Length, 10000);
}

bool TSCSIDevice::Write10(uint32_t Lba, uint16_t Blocks, uint8_t Flags, uint32_t Length, const void* Buffer) {
    SRB_ExecSCSICmd request = {};
    const Cdb block = cdb::Write10(Lba, Blocks);
    request.SRB_Flags = Flags;
    request.SRB_BufLen = Length;
    request.SRB_BufPointer = ToSrbField(Buffer);
    request.SRB_CDBLen = block.length;
    std::memcpy(request.CDBByte, block.bytes, sizeof request.CDBByte);
    if (ExecSCSICommand(request, 120000) != 1) return false;
    const uint8_t status = LoadStatus(request);
    return status == SS_COMP || status == SS_PENDING;
}

bool TSCSIDevice::SyncCache(int TimeoutMs, bool Immed) {
    return Command(cdb::SynchronizeCache(Immed), FlagsNone, nullptr, 0, TimeoutMs);
}

bool TSCSIDevice::ReadTOC(uint8_t Format, uint8_t* Buffer, uint8_t Control, bool Msf, uint8_t Track,
                          int Length) {
    if (Length < 0 || Length > 255) return false;
    return Command(cdb::ReadToc(Format, Msf, Track, static_cast<uint8_t>(Length), Control), FlagsIn, Buffer,
                   static_cast<uint32_t>(Length), 10000);
}

bool TSCSIDevice::GetConfiguration(uint8_t Rt, uint16_t Feature, int Length, uint8_t* Buffer) {
    if (Length < 0 || Length > 0xFFFF) return false;
    return Command(cdb::GetConfiguration(Rt, Feature, static_cast<uint16_t>(Length)), FlagsIn, Buffer,
                   static_cast<uint32_t>(Length), 30000);
}

bool TSCSIDevice::ReadDiscInformation(uint8_t* Buffer, int Length) {
    if (Length < 0 || Length > 0xFFFF) return false;
    std::memset(Buffer, 0, static_cast<size_t>(Length));
    return Command(cdb::ReadDiscInformation(static_cast<uint16_t>(Length)), FlagsIn, Buffer,
                   static_cast<uint32_t>(Length), 10000);
}

bool TSCSIDevice::ReadTrackInformation(uint32_t Track) {
    std::memset(TrackInfoRaw, 0, sizeof TrackInfoRaw);
    TrackInfo = TrackInformation{};
    if (!Command(cdb::ReadTrackInformation(Track, TrackInformationLength), FlagsIn, TrackInfoRaw,
                 sizeof TrackInfoRaw, 60000))
        return false;
    return ParseTrackInformation(TrackInfoRaw, sizeof TrackInfoRaw, TrackInfo);
}

bool TSCSIDevice::ReserveTrack(uint32_t Blocks) {
    return Command(cdb::ReserveTrack(Blocks), FlagsNone, nullptr, 0, 10000);
}

bool TSCSIDevice::SendOPC() {
    return Command(cdb::SendOpc(), FlagsNone, nullptr, 0, 150000);
}

bool TSCSIDevice::ModeSelect(const uint8_t* List, int Length) {
    if (Length < 0 || Length > 0xFFFF) return false;
    return Command(cdb::ModeSelect10(static_cast<uint16_t>(Length)), FlagsOut, const_cast<uint8_t*>(List),
                   static_cast<uint32_t>(Length), 10000);
}

bool TSCSIDevice::ModeSense(uint8_t Page, uint8_t* Buffer, bool Defaults, int Length, int BufferSize) {
    if (Length < 0 || BufferSize < 0 || Length > 0xFFFF) return false;
    std::memset(Buffer, 0, static_cast<size_t>(BufferSize));
    const int transfer = std::min(Length, BufferSize);
    return Command(cdb::ModeSense10(Page, Defaults, static_cast<uint16_t>(transfer)), FlagsIn, Buffer,
                   static_cast<uint32_t>(transfer), 20000);
}

bool TSCSIDevice::CloseTrack(bool CloseTrackFirst, bool Immed, bool Finalize) {
    return Command(cdb::CloseTrack(CloseTrackFirst, Immed, Finalize), FlagsNone, nullptr, 0, 180000);
}

bool TSCSIDevice::CloseTrackSession(bool Immed, uint8_t Function, uint16_t Track) {
    return Command(cdb::CloseTrackSession(Immed, Function, Track), FlagsNone, nullptr, 0, 180000);
}

bool TSCSIDevice::ReadBufferCapacity(uint32_t& Size, uint32_t& Free) {
    uint8_t answer[32] = {};
    Size = Free = 0;
    const bool ok = Command(cdb::ReadBufferCapacity(), FlagsIn, answer, sizeof answer, 10000) &&
                    ParseBufferCapacity(answer, sizeof answer, Size, Free);
    if (!ok) Free = 0;
    DeviceBufferSize = Size;
    DeviceFreeBufferSize = Free;
    return ok;
}

bool TSCSIDevice::SendCueSheet(const uint8_t* Sheet, int Length) {
    return Command(cdb::SendCueSheet(static_cast<uint32_t>(Length)), FlagsOut, const_cast<uint8_t*>(Sheet),
                   static_cast<uint32_t>(Length), 30000);
}

bool TSCSIDevice::Blank(uint8_t Kind) {
    return Command(cdb::Blank(Kind, true), FlagsNone, nullptr, 0, 4800000);
}

bool TSCSIDevice::SetStreaming(const uint8_t* Descriptor, int Length) {
    return Command(cdb::SetStreaming(static_cast<uint16_t>(Length)), FlagsOut,
                   const_cast<uint8_t*>(Descriptor), static_cast<uint32_t>(Length), 10000);
}

bool TSCSIDevice::SetCDSpeed(uint16_t ReadKBs, uint16_t WriteKBs) {
    return Command(cdb::SetCdSpeed(ReadKBs, WriteKBs), FlagsNone, nullptr, 0, 10000);
}

bool TSCSIDevice::SendDVDStructure(uint8_t Format, const uint8_t* Buffer, int Length) {
    return Command(cdb::SendDvdStructure(Format, static_cast<uint16_t>(Length)), FlagsOut,
                   const_cast<uint8_t*>(Buffer), static_cast<uint32_t>(Length), 10000);
}

bool TSCSIDevice::SendTimeStamp(double DateTime) {
    // Days since 1899-12-30 to a civil date (proleptic Gregorian).
    const long long totalSeconds = static_cast<long long>(DateTime * 86400.0 + 0.5);
    long long days = totalSeconds / 86400 - 25569 + 719468; // to days since 0000-03-01
    const long long secondsOfDay = totalSeconds % 86400;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2);
    char digits[15];
    std::snprintf(digits, sizeof digits, "%04lld%02lld%02lld%02lld%02lld%02lld", year % 10000, month, day,
                  secondsOfDay / 3600, secondsOfDay / 60 % 60, secondsOfDay % 60);
    uint8_t structure[22];
    BuildTimeStamp(digits, structure);
    return SendDVDStructure(0x0F, structure, sizeof structure);
}

} // namespace disc
