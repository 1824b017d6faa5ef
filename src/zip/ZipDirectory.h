#pragma once
// Reading an archive's directory: the end record, then its central records back to back,
// possibly continued on the next volume; or, for an archive without a usable directory, a
// walk over the local headers from the front.
//
// A directory side file (".zfc") holds the central records, with or without an end record
// after them; without one it is read as records up to its end.
//
// Every count, offset and length comes from the input and is checked against what the
// stream holds before it is used, so a hostile directory ends as "not readable", never as a
// huge allocation or a read far past the end.

#include "gui/Stream.h"
#include "zip/ZipObj.h"

#include <functional>

namespace zip {

// Reads `count` central records from the stream's position into `list` (which owns them).
// nextVolume continues a record cut by a volume's end. `each` runs after every record.
// False when a record cannot be read.
bool ReadCentralRecords(gui::TStream*& stream, int count, TSortedZip& list, const TNextVolumeFunc& nextVolume,
                        const std::function<void(TZipHeaderInfo&, int index)>& each = {});

// Central records from the stream's position to its end (a side file without end record).
// `each` runs after every record, with the stream just past it.
bool ReadCentralToEnd(gui::TStream& stream, TSortedZip& list,
                      const std::function<void(TZipHeaderInfo&, int index)>& each = {});

// Scans from `start` for the first local header and reads headers one after another, each
// followed by its data. `tick` runs every 10,240 bytes scanned (pumping, cancel). The end
// record is rewritten to describe what was found. Answers the number of entries.
int WalkLocalHeaders(gui::TStream& stream, int64_t start, TSortedZip& list, TEndCentral& end,
                     const std::function<void()>& tick);

} // namespace zip
