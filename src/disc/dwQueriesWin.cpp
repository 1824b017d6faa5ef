// Drive queries: capabilities and speeds, write parameters (mode page 05), media type and
// disc status, next writable address, free blocks and capacity.
//
// Each query asks the drive afresh and reads its answers through the checked parsers of
// dwMmc; a failed or absurd answer gives the query's failure value (0, -1 or false). The
// address queries first set the write parameters for the medium, because drives report
// addresses according to them.

#include "disc/dwDrvLib.h"

#include <algorithm>
#include <cstring>

namespace disc {

namespace {
constexpr int ModeSenseDefaultLength = 255;
constexpr int ModeSenseCurrentLength = 128;
constexpr uint16_t DvdSpeedUnit = 1385;

// A drive answers 0xFFFFFFFF (or 0xFFFFFFFE) for a count it does not know: no room can be
// counted on from it.
constexpr uint32_t kUnknownCount = 0xFFFFFFFE;

uint32_t Known(uint32_t blocks) {
    return blocks >= kUnknownCount ? 0 : blocks;
}

// A start plus a count, 0xFFFFFFFF when the answers add up past any disc.
uint32_t EndOf(uint32_t start, uint32_t blocks) {
    const uint64_t end = uint64_t(start) + blocks;
    return end >= kUnknownCount ? 0xFFFFFFFF : static_cast<uint32_t>(end);
}

bool PageAt(const uint8_t* answer, size_t size, uint8_t page) {
    const int offset = LocateModePage(answer, size, page);
    return offset >= 0 && (answer[offset] & 0x3F) == page;
}
} // namespace

bool TSCSIDevice::ReadCapabilities() {
    CapabilitySet = 0;
    DeviceMaxWriteSpeed = DeviceMaxReadSpeed = 0;
    uint8_t answer[256];
    if (ModeSense(0x2A, answer, true, ModeSenseDefaultLength, sizeof answer)) {
        CapabilitiesPage page;
        if (ParseCapabilitiesPage(answer, ModeSenseDefaultLength,
                                  LocateModePage(answer, ModeSenseDefaultLength, 0x2A), page)) {
            CapabilitySet = CapabilitiesFromPage2A(page);
            uint8_t page30[128];
            if (ModeSense(0x30, page30, false, sizeof page30, sizeof page30) &&
                PageAt(page30, sizeof page30, 0x30))
                CapabilitySet |= dcUnderrunProtection;
            if (QuirkForceUnderrun) CapabilitySet |= dcUnderrunProtection;
            DeviceMaxWriteSpeed = page.MaxWriteSpeed;
            DeviceMaxReadSpeed = page.MaxReadSpeed;
            const bool writesRam = (page.WriteBits & 0x20) != 0;
            if (writesRam && DeviceMaxWriteSpeed == 0) DeviceMaxWriteSpeed = 1;
            if (writesRam && DeviceMaxReadSpeed == 0) DeviceMaxReadSpeed = 1;
            ConfigurationAnswer configuration;
            uint8_t features[114];
            std::memset(features, 0, sizeof features);
            if (GetConfiguration(2, 0x2A, sizeof features, features) &&
                ParseConfiguration(features, sizeof features, configuration) && configuration.HasFeature &&
                configuration.Feature == 0x2A) {
                CapabilitySet |= dcReadDVDPLUSR | dcReadDVDPLUSRW;
                if (configuration.FirstDataByte == 1) CapabilitySet |= dcWriteDVDPLUSR | dcWriteDVDPLUSRW;
            }
            std::memset(features, 0, sizeof features);
            if (GetConfiguration(2, 0x2F, sizeof features, features) &&
                ParseConfiguration(features, sizeof features, configuration) && configuration.HasFeature &&
                configuration.Feature == 0x2F) {
                CapabilitySet |= dcReadDVDR | dcReadDVDRW;
                if (configuration.FirstDataByte == 1) CapabilitySet |= dcWriteDVDR | dcWriteDVDRW;
            }
        }
    }
    if (!ModeSense(0x2A, Page2ARaw, false, ModeSenseCurrentLength, sizeof Page2ARaw)) return false;
    if (!ParseCapabilitiesPage(Page2ARaw, sizeof Page2ARaw, LocateModePage(Page2ARaw, sizeof Page2ARaw, 0x2A),
                               Page2A))
        return false;
    if (Page2A.CurrentWriteSpeed == 0) Page2A.CurrentWriteSpeed = DvdSpeedUnit;
    if (Page2A.MaxWriteSpeed == 0) Page2A.MaxWriteSpeed = DvdSpeedUnit;
    if (Page2A.MaxWriteSpeed > DeviceMaxWriteSpeed) DeviceMaxWriteSpeed = Page2A.MaxWriteSpeed;
    if (Page2A.MaxReadSpeed > DeviceMaxReadSpeed) DeviceMaxReadSpeed = Page2A.MaxReadSpeed;
    return true;
}

uint16_t TSCSIDevice::GetMaxWriteSpeed() {
    return ReadCapabilities() ? Page2A.MaxWriteSpeed : 0;
}
uint16_t TSCSIDevice::GetMaxReadSpeed() {
    return ReadCapabilities() ? Page2A.MaxReadSpeed : 0;
}
uint16_t TSCSIDevice::GetCurrentWriteSpeed() {
    return ReadCapabilities() ? Page2A.CurrentWriteSpeed : 0;
}

void TSCSIDevice::SetWriteSpeed(uint16_t KBs) {
    SetCDSpeed(ReadSpeed, KBs);
    writeSpeed_ = KBs;
}

bool TSCSIDevice::SetWriteParameters(bool TestWrite, bool UnderrunProtectionOn, int MediaType) {
    if (MediaType == mtDVDRAM) return true;
    uint8_t answer[512];
    if (!ModeSense(0x05, answer, false, sizeof answer, sizeof answer)) return false;
    const int offset = LocateModePage(answer, sizeof answer, 0x05);
    if (offset < 0 || offset + 2 + WriteParametersPageLength > int(sizeof answer)) return false;
    uint8_t* page = answer + offset;
    WriteParameterOptions options;
    options.MediaType = MediaType;
    options.TestWrite = TestWrite;
    options.UnderrunProtection = UnderrunProtectionOn;
    options.FinalizeDisc = FinalizeDisc;
    options.DriveTestWrite = (CapabilitySet & dcWriteTest) != 0;
    options.DriveUnderrun = (CapabilitySet & dcUnderrunProtection) != 0;
    options.LinkSizeValidQuirk = QuirkLinkSizeValid;
    FillWriteParameters(page, options);
    const int pageLength = WriteParametersPageLength + 2;
    std::memset(WriteParametersPage, 0, sizeof WriteParametersPage);
    std::memcpy(WriteParametersPage, page, pageLength);
    uint8_t list[8 + WriteParametersPageLength + 2] = {};
    std::memcpy(list + 8, page, pageLength);
    return ModeSelect(list, pageLength + 8);
}

// The outermost query sets the write parameters once; the queries it runs inside do not.
class TSCSIDevice::QueryScope {
  public:
    explicit QueryScope(TSCSIDevice& device) : device_(device) {
        if (device_.queryDepth_++ > 0) return;
        const bool keepFinalize = device_.FinalizeDisc;
        device_.FinalizeDisc = true;
        device_.SetWriteParameters(false, device_.UnderrunProtection, LastMediaType);
        device_.FinalizeDisc = keepFinalize;
    }
    ~QueryScope() { --device_.queryDepth_; }

  private:
    TSCSIDevice& device_;
};

int TSCSIDevice::GetMediaType() {
    int type = mtUnknown;
    uint8_t answer[114] = {};
    ConfigurationAnswer configuration;
    if (GetConfiguration(2, 0, sizeof answer, answer) &&
        ParseConfiguration(answer, sizeof answer, configuration))
        type = MediaTypeFromProfile(configuration.CurrentProfile);
    if (type == mtUnknown) {
        uint8_t atip[26] = {};
        TMediaType atipType;
        uint32_t leadOut;
        if (ReadTOC(4, atip, 0, true, 0, sizeof atip) && ParseAtip(atip, sizeof atip, atipType, leadOut))
            type = atipType;
    }
    if (type == mtUnknown) {
        DiscInformation info;
        uint8_t buffer[DiscInformationLength];
        if (ReadDiscInformation(buffer, sizeof buffer) && ParseDiscInformation(buffer, sizeof buffer, info)) {
            // Recordable CDs always carry ATIP; a finished disc without it was pressed.
            if (info.Erasable)
                type = mtCDRW;
            else
                type = info.Status == 2 ? mtCDROM : mtCDR;
        }
    }
    if (type == mtUnknown && TestUnitReady(5000)) type = mtCDROM;
    LastMediaType = type;
    return type;
}

bool TSCSIDevice::ReadDiscInfoInto() {
    return ReadDiscInformation(DiscInformationBuffer, sizeof DiscInformationBuffer);
}

bool TSCSIDevice::IsErasable() {
    QueryScope scope(*this);
    DiscInformation info;
    if (!ReadDiscInfoInto() ||
        !ParseDiscInformation(DiscInformationBuffer, sizeof DiscInformationBuffer, info)) {
        const int type = GetMediaType();
        return type == mtDVDRAM || type == mtDVDRWRestricted || type == mtDVDRWSequential ||
               type == mtDVDPLUSRW;
    }
    return info.Erasable;
}

int TSCSIDevice::GetDiscStatus() {
    QueryScope scope(*this);
    DiscInformation info;
    if (!ReadDiscInfoInto() ||
        !ParseDiscInformation(DiscInformationBuffer, sizeof DiscInformationBuffer, info))
        return -1;
    return info.Status;
}

int TSCSIDevice::GetLastSession() {
    QueryScope scope(*this);
    DiscInformation info;
    if (!ReadDiscInfoInto() ||
        !ParseDiscInformation(DiscInformationBuffer, sizeof DiscInformationBuffer, info))
        return 0;
    if (info.Status == 0) return 0;
    return info.Sessions - (info.LastSessionState == 0 ? 1 : 0);
}

uint32_t TSCSIDevice::GetISOVolumeSize() {
    uint32_t size = 0;
    ReadISOVolumeSize(size);
    return size;
}

bool TSCSIDevice::ReadISOVolumeSize(uint32_t& Size) {
    QueryScope scope(*this);
    Size = 0;
    bool read = false;
    uint8_t block[2048];
    for (uint32_t lba = 16; lba <= 32; ++lba) {
        if (!Read10(lba, 1, sizeof block, block)) continue;
        read = true;
        if ((Size = IsoVolumeSpaceSize(block, sizeof block)) != 0) return true;
    }
    return read;
}

uint32_t TSCSIDevice::GetNextWritableAddress() {
    QueryScope scope(*this);
    const int type = LastMediaType;
    if (IsCDMedia(type)) {
        const uint32_t track = static_cast<uint32_t>(GetLastSession()) + 1;
        if (ReadTrackInformation(track)) {
            uint32_t value = TrackInfo.NextWritableAddress;
            if (value >= 0xFFFFFFFE) value = TrackInfo.TrackSize;
            if (track == 1 || value != 0) return value;
        }
        uint32_t lastBlock, blockLength;
        if (ReadCapacity(lastBlock, blockLength)) {
            if (lastBlock < 0x7F000001) return lastBlock;
            uint32_t blocks;
            return ReadFormatCapacities(blocks, blockLength) ? blocks : 0;
        }
        return ReadTrackInformation(track) ? TrackInfo.FreeBlocks : 0;
    }
    if (!ReadDiscInfoInto()) return 0;
    if (!ReadTrackInformation(DiscInformationBuffer[6])) return 0;
    if (TrackInfo.TrackSize >= 0xFFFFFFFE) return 0;
    // A sequential DVD-RW is written like a DVD-R, at its invisible track's address; only
    // restricted overwrite has the one track whose size tells the used space.
    if (type == mtDVDRWRestricted) {
        const TrackInformation track = TrackInfo;
        uint32_t blocks, blockLength;
        if (ReadFormatCapacities(blocks, blockLength))
            return track.TrackSize == track.FreeBlocks ? 0 : track.TrackSize;
        return track.NextWritableAddress;
    }
    if (type == mtDVDRAM || type == mtDVDPLUSRW) return GetISOVolumeSize();
    return TrackInfo.NextWritableAddress;
}

uint32_t TSCSIDevice::GetFreeBlocks() {
    QueryScope scope(*this);
    const int type = LastMediaType;
    if (IsCDMedia(type)) {
        if (GetDiscStatus() == 2) return 0;
        const uint32_t track = static_cast<uint32_t>(GetLastSession()) + 1;
        for (int attempt = 0; attempt < 2; ++attempt)
            if (ReadTrackInformation(track))
                return std::max(Known(TrackInfo.FreeBlocks), Known(TrackInfo.TrackSize));
        return 0;
    }
    if (!ReadDiscInfoInto() || !ReadTrackInformation(DiscInformationBuffer[6])) return 0;
    const TrackInformation track = TrackInfo;
    const uint32_t freeBlocks = Known(track.FreeBlocks), trackSize = Known(track.TrackSize);
    if (type == mtDVDRWRestricted) {
        if (track.NextWritableAddress != 0) return freeBlocks;
        uint32_t blocks, blockLength;
        if (!ReadFormatCapacities(blocks, blockLength)) return freeBlocks;
        if (track.FreeBlocks == track.TrackSize) return freeBlocks;
        return Known(blocks) > trackSize ? Known(blocks) - trackSize : 0;
    }
    if (type == mtDVDRAM || type == mtDVDPLUSRW) {
        const uint32_t used = GetISOVolumeSize();
        return trackSize > used ? trackSize - used : 0;
    }
    if (track.TrackSize == 0xFFFFFFFF) return 0;
    if (track.LraValid || track.LastRecordedAddress != 0) return freeBlocks;
    return trackSize;
}

uint32_t TSCSIDevice::GetDiscCapacity() {
    QueryScope scope(*this);
    const int type = LastMediaType;
    uint32_t capacity = 0;
    if (!IsCDMedia(type)) {
        if (ReadDiscInfoInto() && ReadTrackInformation(DiscInformationBuffer[6])) {
            const TrackInformation track = TrackInfo;
            uint32_t blocks, blockLength;
            if ((type == mtDVDRAM || type == mtDVDPLUSRW || type == mtDVDRWRestricted) &&
                ReadFormatCapacities(blocks, blockLength))
                capacity = blocks;
            else
                capacity = EndOf(track.NextWritableAddress, Known(track.FreeBlocks));
        }
    } else {
        uint8_t atip[26] = {};
        TMediaType atipType;
        uint32_t leadOut = 0, blockLength = 0;
        if (ReadTOC(4, atip, 0, true, 0, sizeof atip) && ParseAtip(atip, sizeof atip, atipType, leadOut)) {
            capacity = leadOut;
            uint32_t lastBlock;
            if (capacity < 20000 && ReadCapacity(lastBlock, blockLength) && lastBlock > capacity)
                capacity = lastBlock;
        } else if (!ReadFormatCapacities(capacity, blockLength)) {
            const uint32_t track = static_cast<uint32_t>(GetLastSession()) + 1;
            capacity =
                ReadTrackInformation(track) ? EndOf(TrackInfo.TrackStart, Known(TrackInfo.FreeBlocks)) : 0;
        }
    }
    if (capacity == 0xFFFFFFFF) return GetNextWritableAddress();
    return capacity;
}

} // namespace disc
