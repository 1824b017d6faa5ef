// Status, adapter, target and sense tables of the disc library, and the decoding of a
// failed request into its device error text.
//
// The order of decoding is that of the transport's layers: the request status first, the
// host adapter's status under an error, the target's status under a good adapter, and the
// sense data under a check condition. Only fixed-format sense (response code 0x70/0x71,
// with or without the VALID bit) is read; other formats are "UNKNOWN".

#include "disc/dwConst.h"

#include <algorithm>
#include <array>

namespace disc {

namespace {

constexpr DiscMessageRow rows[] = {
#define DISC_MESSAGE(id, text) {id, -1, -1, text},
#define DISC_SENSE(id, asc, ascq, text) {id, asc, ascq, text},
#include "disc/dwMessages.inc"
#undef DISC_MESSAGE
#undef DISC_SENSE
};
constexpr size_t rowCount = sizeof rows / sizeof rows[0];

// Lookup tables built once: by id, and by (ASC, ASCQ).
struct Index {
    std::array<const char*, DiscMessageLast - DiscMessageFirst + 1> byId{};
    std::array<uint16_t, 256 * 256> byPair{}; // id - DiscMessageFirst + 1, 0 = no row
    Index() {
        for (const DiscMessageRow& row : rows) {
            byId[row.Id - DiscMessageFirst] = row.Text;
            if (row.Asc >= 0)
                byPair[row.Asc * 256 + row.Ascq] = static_cast<uint16_t>(row.Id - DiscMessageFirst + 1);
        }
    }
};
const Index& TheIndex() {
    static const Index index;
    return index;
}

} // namespace

const DiscMessageRow* DiscMessageRows(size_t& count) {
    count = rowCount;
    return rows;
}

const char* DiscMessage(int id) {
    if (id < DiscMessageFirst || id > DiscMessageLast) return "";
    const char* text = TheIndex().byId[id - DiscMessageFirst];
    return text ? text : "";
}

int AscMessageId(uint8_t asc, uint8_t ascq) {
    const uint16_t entry = TheIndex().byPair[asc * 256 + ascq];
    return entry ? entry - 1 + DiscMessageFirst : 0;
}

std::string AscText(uint8_t asc, uint8_t ascq) {
    if (const int id = AscMessageId(asc, ascq)) return DiscMessage(id);
    return std::to_string(asc) + "," + std::to_string(ascq);
}

int RequestStatusMessage(uint8_t status) {
    switch (status) {
    case 0x00:
    case 0x01:
        return msgNoError;
    case 0x02:
    case 0x03:
        return msgAbortedByUser;
    case 0x80:
        return msgInvalidRequest;
    case 0x81:
        return msgInvalidHostAdapter;
    case 0x82:
        return msgNoDevice;
    case 0xE0:
        return msgInvalidSrb;
    case 0xE1:
        return msgBufferAlignment;
    case 0xE5:
        return msgAspiBusy;
    case 0xE6:
        return msgBufferTooBig;
    default:
        return msgUnknown;
    }
}

int AdapterStatusMessage(uint8_t haStat) {
    switch (haStat) {
    case 0x09:
        return msgCommandTimeout;
    case 0x0B:
        return msgSrbTimeout;
    case 0x0D:
        return msgMessageReject;
    case 0x0E:
        return msgBusReset;
    case 0x0F:
        return msgParityError;
    case 0x10:
        return msgRequestSenseFailed;
    case 0x11:
        return msgSelectionTimeout;
    case 0x12:
        return msgDataOverrun;
    case 0x13:
        return msgUnexpectedBusFree;
    default:
        return msgUnknown;
    }
}

int TargetStatusMessage(uint8_t targStat) {
    switch (targStat) {
    case 0x00:
    case 0x02:
        return msgCheckCondition;
    case 0x08:
        return msgTargetBusy;
    case 0x18:
        return msgReservationConflict;
    case 0x28:
        return msgQueueFull;
    default:
        return msgUnknown;
    }
}

int SenseKeyMessage(const uint8_t* sense, size_t size) {
    if (size < 1 || sense[0] == 0) return msgNoError;
    // Bit 7 is the VALID bit (the information field holds something); it says nothing about
    // the format.
    const uint8_t responseCode = sense[0] & 0x7F;
    if (responseCode != 0x70 && responseCode != 0x71) return msgUnknown;
    if (size < 3) return msgUnknown;
    const uint8_t flags = sense[2];
    switch (flags & 0x0F) {
    case 0:
        if (flags & 0x80) return msgFilemark;
        if (flags & 0x40) return msgEndOfMedia;
        if (flags & 0x20) return msgIllegalLength;
        return msgNoAdditionalSense;
    case 1:
        return msgRecoveredError;
    case 2:
        return msgNotReady;
    case 3:
        return msgMediumError;
    case 4:
        return msgHardwareError;
    case 5:
        return msgIllegalRequest;
    case 6:
        return msgUnitAttention;
    case 7:
        return msgDataProtect;
    case 8:
        return msgEraseCheck;
    case 10:
        return msgCopyAborted;
    case 11:
        return msgAbortedCommand;
    case 13:
        return msgVolumeOverflow;
    case 14:
        return msgMiscompare;
    case 15:
        return msgReserved;
    default:
        return msgCheckCondition;
    }
}

DeviceError DecodeDeviceError(uint8_t status, uint8_t haStat, uint8_t targStat, const uint8_t* sense,
                              size_t senseSize) {
    DeviceError result;
    int id = RequestStatusMessage(status);
    bool checkCondition = false;
    if (status == 0x04) {
        id = AdapterStatusMessage(haStat);
        if (haStat == 0x00) {
            id = TargetStatusMessage(targStat);
            result.Busy = targStat == 0x08;
            checkCondition = id == msgCheckCondition;
        }
    }
    if (checkCondition) id = SenseKeyMessage(sense, senseSize);
    result.Text = DiscMessage(id);
    // The bracketed pair only when the sense data was fixed-format and came with the check
    // condition.
    const bool senseValid = checkCondition && senseSize >= 14 && sense[0] != 0 &&
                            ((sense[0] & 0x7F) == 0x70 || (sense[0] & 0x7F) == 0x71);
    if (senseValid) result.Text += " (" + AscText(sense[12], sense[13]) + ")";
    return result;
}

} // namespace disc
