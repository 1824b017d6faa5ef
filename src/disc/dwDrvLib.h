#pragma once
// The SCSI device: one selected CD/DVD drive, the list of drives the transport reaches, the
// one routine every command goes through (ExecSCSICommand), one small builder per MMC
// command and the drive queries (capabilities, write parameters, media type, disc status).
//
// Nothing here raises: a builder returns false and leaves the reason in LastError (a text
// of the library's message table) and LastSense; a query returns 0, -1 or false. Commands
// come from one thread at a time (the GUI thread, or the writer or erase thread while those
// run). The last media type and the disc-information buffer are library-wide, shared by
// every device object and used by one thread at a time.

#include "disc/dwMmc.h"
#include "disc/dwSrb.h"
#include "gui/CriticalSection.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace disc {

using TOnDebugMsg = std::function<void(void* Sender, const std::string& Message, uint8_t mType)>;

// Library-wide state of the last queries.
extern int LastMediaType;
extern uint8_t DiscInformationBuffer[DiscInformationLength];

// Whether progress lines are raised: one flag that any thread may read while another sets it.
// Stored out of line: GCC 12 misreads an inlined atomic store through a pointer it cannot
// prove non-null as a write out of bounds.
class DebugSwitch {
  public:
    DebugSwitch& operator=(bool on);
    operator bool() const { return on_.load(); }

  private:
    std::atomic<bool> on_{false};
};

class TSCSIDevice {
  public:
    TSCSIDevice();
    virtual ~TSCSIDevice();
    TSCSIDevice(const TSCSIDevice&) = delete;
    TSCSIDevice& operator=(const TSCSIDevice&) = delete;

    // Transport and device selection.
    bool InitASPI(bool PreferInternal, const std::string& DllPath);
    void DoneASPI();
    void ScanDevices();
    void SetDeviceID(const std::string& Entry);
    void SetDriveLetter(char Letter) { SelectDeviceByDriveLetter(Letter); }
    bool SelectDeviceByDriveLetter(char Letter);
    // The selected device's letter; a value of 127 or more means none.
    char GetDriveLetter();
    bool DeviceSelected() const { return HaId != 254; }

    // Sends one execute request and waits for it (up to the time-out, at least 10,000 ms).
    // Returns 226 without a transport or device, else 1; the outcome is in the request.
    int ExecSCSICommand(SRB_ExecSCSICmd& Request, int TimeoutMs);
    // Ends the command in flight now, as if it had timed out, and every later one the same
    // way: a component being freed must not wait out the drive's time-outs. Any thread.
    void AbortCommands();
    void DoDebugMessage(const std::string& Text, uint8_t mType);
    bool WaitReady(int TotalMs, int StepMs);

    // Command builders: true when the request completed (status 1).
    bool TestUnitReady(int TimeoutMs);
    bool Rezero();
    bool RequestSense(uint8_t* Buffer, int Length);
    bool FormatUnit(uint8_t Byte1, const uint8_t* List, int Length);
    bool Inquiry();
    bool LoadEject(bool Eject);
    bool LockMedium(bool Unlock);
    bool ReadFormatCapacities(uint32_t& Blocks, uint32_t& BlockLength);
    bool ReadCapacity(uint32_t& LastBlock, uint32_t& BlockLength);
    bool Read10(uint32_t Lba, uint16_t Blocks, uint32_t Length, void* Buffer);
    // True also while the request is still pending (status 0).
    bool Write10(uint32_t Lba, uint16_t Blocks, uint8_t Flags, uint32_t Length, const void* Buffer);
    bool SyncCache(int TimeoutMs, bool Immed);
    bool ReadTOC(uint8_t Format, uint8_t* Buffer, uint8_t Control, bool Msf, uint8_t Track, int Length);
    bool GetConfiguration(uint8_t Rt, uint16_t Feature, int Length, uint8_t* Buffer);
    bool ReadDiscInformation(uint8_t* Buffer, int Length);
    bool ReadTrackInformation(uint32_t Track);
    bool ReserveTrack(uint32_t Blocks);
    bool SendOPC();
    bool ModeSelect(const uint8_t* List, int Length);
    bool ModeSense(uint8_t Page, uint8_t* Buffer, bool Defaults, int Length, int BufferSize);
    bool CloseTrack(bool CloseTrackFirst, bool Immed, bool Finalize);
    bool CloseTrackSession(bool Immed, uint8_t Function, uint16_t Track);
    bool ReadBufferCapacity(uint32_t& Size, uint32_t& Free);
    bool SendCueSheet(const uint8_t* Sheet, int Length);
    // BLANK with the immediate bit; Kind 0 full, 1 minimal.
    bool Blank(uint8_t Kind);
    bool SetStreaming(const uint8_t* Descriptor, int Length);
    bool SetCDSpeed(uint16_t ReadKBs, uint16_t WriteKBs);
    bool SendDVDStructure(uint8_t Format, const uint8_t* Buffer, int Length);
    // "yyyymmddhhnnss" of the given local date-time (days since 1899-12-30).
    bool SendTimeStamp(double DateTime);

    // Drive queries.
    bool ReadCapabilities();
    uint16_t GetMaxWriteSpeed();
    uint16_t GetMaxReadSpeed();
    uint16_t GetCurrentWriteSpeed();
    bool SetWriteParameters(bool TestWrite, bool UnderrunProtectionOn, int MediaType);
    int GetMediaType();
    bool IsErasable();
    int GetDiscStatus();
    int GetLastSession();
    uint32_t GetNextWritableAddress();
    uint32_t GetFreeBlocks();
    uint32_t GetDiscCapacity();
    uint32_t GetISOVolumeSize();
    // As GetISOVolumeSize, but false when none of the blocks searched could be read, so that
    // an unreadable disc is not taken for one without a volume.
    bool ReadISOVolumeSize(uint32_t& Size);

    // Published properties.
    uint16_t WriteSpeed() const { return writeSpeed_; }
    void SetWriteSpeed(uint16_t KBs);
    uint16_t ReadSpeed = 0; // 0: the drive's maximum
    bool UnderrunProtection = true;
    bool FinalizeDisc = false;

    // Address; 254 in all three means no device selected.
    uint8_t HaId = 254, Target = 254, Lun = 254;
    uint8_t AdapterCount = 0;
    uint32_t CapabilitySet = 0;
    CapabilitiesPage Page2A;
    uint8_t Page2ARaw[128] = {};
    uint16_t DeviceMaxWriteSpeed = 0, DeviceMaxReadSpeed = 0;
    uint32_t DeviceBufferSize = 0, DeviceFreeBufferSize = 0;
    TrackInformation TrackInfo;
    uint8_t TrackInfoRaw[TrackInformationLength] = {};
    uint8_t WriteParametersPage[512] = {};

    std::string DeviceId, DeviceName;
    uint8_t DeviceType = 127;
    uint8_t InquiryData[128] = {};
    std::vector<std::string> DeviceList;
    std::string LastError;
    uint8_t LastSense[33] = {};
    bool Busy = false;
    // Set and cleared by the erase follower thread while the GUI thread reads it.
    std::atomic<bool> Erasing{false};
    // Read by the writer and erase threads as they report, switched by the GUI thread.
    DebugSwitch DoDebug;
    TOnDebugMsg OnDebugMessage;
    std::function<void(void* Sender)> OnDeviceChange;

    // Drive quirks from the INQUIRY strings.
    bool QuirkForceUnderrun = false;  // "CD-W512EB"
    bool QuirkLinkSizeValid = false;  // "CRX175E", "CD-RW  CRX800E"
    bool QuirkSlowReady = false;      // "UJDA...", "TDK...", "DVD-RW  DVR-103 "/"-104 "
    bool QuirkEraseWaitAgain = false; // the first two of the slow-ready kind
    bool QuirkImmediateClose = true;  // every product but "CDRW321040X"

    // The write cache's lock (used by the writer component).
    gui::TCriticalSection CriticalSection;

  protected:
    void HostAdapterInquiry(uint8_t Adapter);
    void Deselect();
    // From InquiryData; a drive that did not answer INQUIRY gets none.
    void ApplyQuirks(bool Answered);
    void ProbeWriteTypes();
    // Sets the write parameters for the last detected medium around a query, because
    // drives report addresses according to them.
    class QueryScope;
    bool Command(const Cdb& Block, uint8_t Flags, void* Buffer, uint32_t Length, int TimeoutMs);
    bool ReadDiscInfoInto();

  private:
    uint16_t writeSpeed_ = 0;
    int queryDepth_ = 0;
    // The event of the command in flight, so another thread can end the wait for it.
    std::mutex commandLock_;
    void* commandEvent_ = nullptr;
    bool commandsAborted_ = false;
};

} // namespace disc
