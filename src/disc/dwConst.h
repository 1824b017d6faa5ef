#pragma once
// The disc library's message table and the decoding of a failed request into its text.
//
// The texts live in dwMessages.inc, one row per message, which feeds both the program's
// string table (resources/disc_messages.rc) and this lookup, so the tests read the very
// rows the program shows. The additional-sense rows are written from the T10 list of
// ASC/ASCQ assignments, limited to the pairs that apply to MMC devices.

#include <cstddef>
#include <cstdint>
#include <string>

namespace disc {

enum DiscMessageId : int {
    msgStartingWrite = 64672,
    msgStartingErase = 64673,
    msgTestWrite = 64674,
    msgImportingSession = 64675,
    msgCantOpenFile = 64688,
    msgCantCreateFile = 64689,
    msgWriterBusy = 64690,
    msgWriterError = 64691,
    msgInvalidDeviceId = 64692,
    msgNextWritableAddress = 64693,
    msgTooMuchData = 64694,
    msgMaxDirectories = 64695,
    msgMaxFiles = 64696,
    msgInvalidDestination = 64697,
    msgImportNameTooLong = 64698,
    msgImportError = 64699,
    msgImportNoIso = 64700,
    msgInternalError4 = 64701,
    msgInternalError5 = 64702,
    msgCueSheetFailed = 64703,
    msgIllegalRequest = 64704,
    msgUnitAttention = 64705,
    msgDataProtect = 64706,
    msgEraseCheck = 64707,
    msgCopyAborted = 64708,
    msgAbortedCommand = 64709,
    msgVolumeOverflow = 64710,
    msgMiscompare = 64711,
    msgReserved = 64712,
    msgFilemark = 64713,
    msgEndOfMedia = 64714,
    msgIllegalLength = 64715,
    msgNoError = 64717,
    msgUnknown = 64718,
    msgAbortedByUser = 64719,
    msgSrbTimeout = 64720,
    msgMessageReject = 64721,
    msgBusReset = 64722,
    msgParityError = 64723,
    msgRequestSenseFailed = 64724,
    msgSelectionTimeout = 64725,
    msgDataOverrun = 64726,
    msgUnexpectedBusFree = 64727,
    msgCheckCondition = 64728,
    msgTargetBusy = 64729,
    msgReservationConflict = 64730,
    msgQueueFull = 64731,
    msgRecoveredError = 64732,
    msgNotReady = 64733,
    msgMediumError = 64734,
    msgHardwareError = 64735,
    msgInvalidRequest = 64744,
    msgInvalidHostAdapter = 64745,
    msgNoDevice = 64746,
    msgInvalidSrb = 64747,
    msgBufferAlignment = 64748,
    msgAspiBusy = 64749,
    msgBufferTooBig = 64750,
    msgCommandTimeout = 64751,
    msgMediumNotPresent = 64833,
    msgNoAdditionalSense = 65000,
};

constexpr int DiscMessageFirst = 64672;
constexpr int DiscMessageLast = 65007;

// The row's text; empty for an id without a row.
const char* DiscMessage(int id);

// One row of the table, for tests and the lookup.
struct DiscMessageRow {
    int Id;
    int Asc; // -1 for the library's own messages
    int Ascq;
    const char* Text;
};
const DiscMessageRow* DiscMessageRows(size_t& count);

// The text id of an additional-sense pair, 0 when the table has no row for it.
int AscMessageId(uint8_t asc, uint8_t ascq);
// The pair's text, or the two numbers in decimal joined by "," when there is no row.
std::string AscText(uint8_t asc, uint8_t ascq);

// Text ids of the request, adapter and target status tables.
int RequestStatusMessage(uint8_t status);
int AdapterStatusMessage(uint8_t haStat);
int TargetStatusMessage(uint8_t targStat);
// Text id of a sense key for fixed-format sense data (response code 0x70/0x71 with or
// without the VALID bit); msgUnknown for other formats, msgNoError when byte 0 is 0.
int SenseKeyMessage(const uint8_t* sense, size_t size);

// The device error text of a finished request (empty for a success).
struct DeviceError {
    std::string Text;
    bool Busy = false;
};
DeviceError DecodeDeviceError(uint8_t status, uint8_t haStat, uint8_t targStat, const uint8_t* sense,
                              size_t senseSize);

} // namespace disc
