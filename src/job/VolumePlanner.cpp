#include "job/VolumePlanner.h"

#include "job/VolumeSizes.h"
#include "zip/Deflate.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace job {

namespace {

constexpr char kMarker[] = "-:-";

size_t NameStart(const std::string& path) {
    const size_t slash = path.find_last_of("\\:");
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string Joined(std::initializer_list<int64_t> values) {
    std::string text;
    for (int64_t value : values)
        text += (text.empty() ? "" : " - ") + std::to_string(value);
    return text;
}

// One block's deflated size, counted, not kept.
class CountingStream final : public zip::DeflateStream {
  public:
    CountingStream(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(size, left_));
        std::copy(data_, data_ + n, buffer);
        data_ += n;
        left_ -= n;
        return n;
    }
    void WriteOutput(const uint8_t*, uint32_t) override {}

  private:
    const uint8_t* data_;
    size_t left_;
};

// A one-entry zip of the block under the name "Data": headers, directory and end record.
constexpr int64_t kBlockZipOverhead = 30 + 4 + 46 + 4 + 22;
constexpr size_t kBlock = static_cast<size_t>(EstimateBlockSize);
// An empty volume's directory and end record, and room for the last entries' records.
constexpr int64_t kDirectorySlack = 22 + 65'536;

} // namespace

int64_t EstimateCompressedSize(int64_t size, int packLevel, int64_t budget, const BlockReader& read,
                               const std::function<bool()>& cancelled,
                               const std::function<void(int percent)>& progress) {
    if (packLevel <= 0 || size <= 0) return std::max<int64_t>(size, 0);
    auto buffers = std::make_unique<zip::DeflateBuffers>();
    std::vector<uint8_t> block(kBlock);
    auto compressBlock = [&](int64_t offset, int64_t& readBytes) -> int64_t {
        const size_t got = read(offset, block.data(), block.size());
        readBytes = static_cast<int64_t>(got);
        if (got == 0) return 0;
        CountingStream stream(block.data(), got);
        zip::DeflateEntryInfo info;
        return zip::DeflateEntry(stream, *buffers, packLevel, info) + kBlockZipOverhead;
    };
    if (size <= EstimateWholeFileUpTo) {
        int64_t total = 0;
        for (int64_t offset = 0; offset < size; offset += kBlock) {
            int64_t got = 0;
            total += compressBlock(offset, got);
            if (progress) progress(static_cast<int>(std::min<int64_t>(offset + got, size) * 100 / size));
            if (got == 0 || (cancelled && cancelled())) break;
        }
        return total;
    }
    static const int eighths[] = {1, 3, 6, 2, 5, 0, 7, 4};
    int64_t compressed = 0, readTotal = 0, previous = 0, estimate = 0;
    for (int sample = 0; sample < 8; ++sample) {
        if (cancelled && cancelled()) break;
        int64_t got = 0;
        compressed += compressBlock(size / 8 * eighths[sample], got);
        readTotal += got;
        if (progress) progress(8 * (sample + 1));
        if (readTotal == 0) continue;
        estimate = size * compressed / readTotal;
        if (sample >= 2 && estimate > 0) {
            if (previous > estimate && budget - estimate > EstimateRoomToSpare) return estimate;
            if (previous > estimate && (previous - estimate) * 1000 / previous < 8) return previous;
            if (previous < estimate && (estimate - previous) * 1000 / estimate < 8)
                return estimate + (estimate - previous);
        }
        previous = estimate;
    }
    return estimate;
}

bool VolumePlanner::LinesRemain() const {
    return plan_.FilestoZipListNr < static_cast<int>(plan_.FilestoZipList.size());
}

int64_t VolumePlanner::Margin() const {
    return plan_.ZipBudget - EstimateMargin;
}

// The part of the volume the last free-space reading does not count yet: a volume written
// straight to the destination only what it grew since that reading; one built elsewhere
// (copied or burned afterwards) all of it.
int64_t VolumePlanner::UnmeasuredBytes() const {
    const bool direct = !plan_.DiscWriterMode && !plan_.CopyPending;
    return std::max<int64_t>(plan_.CurrentZipBytes - (direct ? plan_.LastFreeSpaceCheck : 0), 0);
}

int64_t VolumePlanner::ComputeBudget(bool capByFreeSpace) const {
    int64_t budget =
        plan_.MaxZipSize - (plan_.CurrentZipBytes + plan_.SpaceReserve) - plan_.EarlierVolumeBytes;
    // The medium must also take the volume's directory and end record.
    if (capByFreeSpace && plan_.DestFreeSpace > 0)
        budget =
            std::min(budget, plan_.DestFreeSpace - UnmeasuredBytes() - (kDirectorySlack + directoryBytes_));
    return budget;
}

void VolumePlanner::Close() {
    plan_.EntryLimitReached = false;
    plan_.EarlierVolumeBytes = 0;
}

void VolumePlanner::StartVolume() {
    lastNamed_.clear();
    files_.DropReadAhead();
    readAheadTo_ = 0;
    directoryBytes_ = 0;
    // The volume preparation read the free space at the volume's present size; it is read
    // again every 10,000,000 bytes of this volume, not only past where the last volume read it.
    plan_.LastFreeSpaceCheck = plan_.CurrentZipBytes;
    Zipper1EndZip(std::string(), 0, 0, 0);
}

void VolumePlanner::Add(const std::string& path, const ZipFileFacts& facts, bool csvLine) {
    files_.AddToZipFiles(path);
    const size_t nameStart = NameStart(path);
    // The line is written once the component has zipped the entry, so the list never names
    // an entry it skipped.
    if (csvLine && plan_.DoCatalog)
        pendingCsv_[path] = plan_.ZipFileName + "," + path.substr(nameStart) + "," +
                            path.substr(0, nameStart) + "," + facts.DateText + "," +
                            std::to_string(facts.Size) + ",";
    if (plan_.Allfilenames1) host_.AddToJobLog(path, plan_.IncludeDateTime1);
    if (!plan_.Hidden) host_.SetStatusText(path);
    host_.PumpIfDue();
    ++plan_.ZipEntryCount;
    if (nameStart < path.size()) {
        ++plan_.FileCount;
        ++plan_.FilesCopyed;
    }
    directoryBytes_ += 46 + static_cast<int64_t>(path.size());
}

bool VolumePlanner::CanZip(const std::string& path, ZipFileFacts& facts) {
    if (!files_.CanZipFile(path, facts)) {
        plan_.FilesSkipped |= facts.Skipped;
        return false;
    }
    // The list keeps only the low 32 bits of a size, so a file of 4 GiB or more may look small
    // there; a zip entry cannot hold it.
    if (facts.Size > LargestVolumeSize) {
        TooBig(path);
        return false;
    }
    return true;
}

void VolumePlanner::SkipLine(bool countChecked) {
    ++plan_.FilestoZipListNr;
    if (countChecked) ++plan_.FileCount;
}

void VolumePlanner::TooBig(const std::string& path) {
    host_.AddToJobLog(path + " was not added it is too big", true);
    plan_.FilesSkipped = true;
}

void VolumePlanner::ReportSkipped(const std::string& path) {
    pendingCsv_.erase(path);
    const bool file = NameStart(path) < path.size();
    if (file && files_.IsSavedRegistryFile(path)) {
        // Its copy is zipped under its name.
    } else if (file && files_.FileExists(path)) {
        host_.AddToJobLog("File skipped it can not be accessed: " + path, true);
        plan_.FilesSkipped = true;
    } else if (files_.FolderExists(path)) {
        host_.AddToJobLog("Directory info skipped it can not be accessed: " + path, true);
        plan_.FilesSkipped = true;
    } else {
        host_.AddToJobLog("Item does not exists: " + path, true);
    }
    // The entry was counted when it was planned; the zip does not hold it.
    if (plan_.ZipEntryCount > 0) --plan_.ZipEntryCount;
    if (file && plan_.FilesCopyed > 0) --plan_.FilesCopyed;
}

void VolumePlanner::ShowProgress(uint32_t uncompressedSize) {
    plan_.BytesToBak += uncompressedSize;
    const int64_t files = plan_.FilesToBak > 0 ? int64_t(plan_.FileCount) * 100 / plan_.FilesToBak : 0;
    const int64_t bytes = plan_.TotalMB > 0 ? plan_.BytesToBak / 10'000 / plan_.TotalMB : 0;
    host_.SetJobProgress(static_cast<int>(std::clamp<int64_t>(std::max(files, bytes), 0, 100)));
    if (plan_.Hidden) return;
    const bool empty = plan_.CurrentZipBytes == 0;
    host_.SetTotalText("MBytes total: " + std::to_string(empty ? 0 : plan_.BytesToBak / Mebibyte) + ", in " +
                       std::to_string(empty ? 0 : plan_.FilesCopyed) +
                       " files.  -  Creating: " + plan_.ZipFileName +
                       "  -  size: " + std::to_string(empty ? 0 : plan_.CurrentZipBytes / Mebibyte) + " MB");
}

bool VolumePlanner::Overflows(int64_t size) const {
    if (plan_.ZipEntryCount == 0) return false;
    return (plan_.DestFreeSpace > 0 && UnmeasuredBytes() + size > plan_.DestFreeSpace) ||
           plan_.CurrentZipBytes + size > LargestVolumeSize;
}

// A deferred file is long: short files named for reading ahead now would wait through its
// zipping and be tested on an old copy, so none is named until it is zipped.
void VolumePlanner::AddDeferred(const ZipFileFacts& facts) {
    auto& deferred = plan_.ZipVolumeList;
    Add(deferred[plan_.iZip].Path, facts, true);
    deferred.erase(deferred.begin() + plan_.iZip);
    files_.DropReadAhead();
    readAheadTo_ = plan_.FilestoZipListNr;
    deferredAdded_ = true;
}

// A deferred file is taken when it fits (with optimiseOnly, only while space optimisation
// is on); files that cannot be read leave the list.
bool VolumePlanner::DeferredPass(bool optimiseOnly) {
    auto& deferred = plan_.ZipVolumeList;
    while (plan_.iZip < static_cast<int>(deferred.size())) {
        const DeferredFile entry = deferred[plan_.iZip];
        ZipFileFacts facts;
        if (!CanZip(entry.Path, facts)) {
            deferred.erase(deferred.begin() + plan_.iZip);
            ++plan_.FileCount;
            continue;
        }
        const bool fits = Margin() > entry.Estimate;
        if (fits && (!optimiseOnly || plan_.Optimizeusedspace)) {
            AddDeferred(facts);
            return true;
        }
        ++plan_.iZip;
    }
    return false;
}

// Deferred files that fit; once the main list is done, every one in turn. One taken only
// because the list is done goes into this volume in split mode (the component carries it
// across parts), else it gets a volume of its own rather than carrying this one past its size.
VolumePlanner::Taken VolumePlanner::TakeDeferred() {
    auto& deferred = plan_.ZipVolumeList;
    while (plan_.iZip < static_cast<int>(deferred.size())) {
        const DeferredFile entry = deferred[plan_.iZip];
        const bool fits = Margin() > entry.Estimate;
        if (!fits && LinesRemain()) {
            ++plan_.iZip;
            continue;
        }
        ZipFileFacts facts;
        if (!CanZip(entry.Path, facts)) {
            deferred.erase(deferred.begin() + plan_.iZip);
            ++plan_.FileCount;
            continue;
        }
        if (!fits && (Overflows(entry.Estimate) || (plan_.ZipEntryCount > 0 && !plan_.Splitlargefiles))) {
            plan_.ZipBudget = 0;
            return Taken::VolumeClosed;
        }
        AddDeferred(facts);
        return Taken::Added;
    }
    return Taken::Nothing;
}

// The catalogue list and the job log close the last volume, queued one after the other as
// lines of the main list once everything else is planned: when a volume closes for want of
// room, or when the last volume's handler finds nothing else to add. A queued line keeps the
// runner going, so neither is lost when the last file fills a volume.
bool VolumePlanner::IsEndEntryName(const std::string& path) const {
    return !path.empty() && (path == plan_.CsvFileName || path == plan_.RunLogName);
}

// Queued lines are the list's last one or two, and nothing but end entries follows them. The
// selection's own copy of the log, when it happens to be its last line, is taken as queued:
// the log is then zipped once, after its end lines.
bool VolumePlanner::IsQueuedEndEntry(int index) const {
    const auto& list = plan_.FilestoZipList;
    const int size = static_cast<int>(list.size());
    if (index < 0 || index >= size || index < size - 2) return false;
    for (int i = index; i < size; ++i)
        if (!IsEndEntryName(list[i].Path)) return false;
    return true;
}

bool VolumePlanner::EndEntryQueued(const std::string& path) const {
    const int size = static_cast<int>(plan_.FilestoZipList.size());
    for (int i = std::max(size - 2, 0); i < size; ++i)
        if (plan_.FilestoZipList[i].Path == path && IsQueuedEndEntry(i)) return true;
    return false;
}

bool VolumePlanner::QueueLastEntry() {
    auto& list = plan_.FilestoZipList;
    if (LinesRemain() || !plan_.ZipVolumeList.empty()) return false;
    std::string entry;
    if (!plan_.CatSaved) {
        plan_.CatSaved = true;
        files_.CatalogueComplete();
        entry = plan_.CsvFileName;
    }
    if (entry.empty() || EndEntryQueued(entry)) {
        entry.clear();
        if (plan_.RunLogName.empty())
            WriteEndLines();
        else if (!EndEntryQueued(plan_.RunLogName))
            entry = plan_.RunLogName;
    }
    if (entry.empty()) return false;
    list.push_back({entry, 0});
    plan_.FilestoZipListNr = static_cast<int>(list.size()) - 1;
    return true;
}

std::vector<std::string> VolumePlanner::EndLines() const {
    return {"File created: " + plan_.ZipFileName, "Files checked: " + std::to_string(plan_.FileCount),
            "Files backed up: " + std::to_string(plan_.FilesCopyed),
            "Bytes backed up: " + std::to_string(plan_.BytesToBak), "Backup end: " + plan_.JobName};
}

void VolumePlanner::WriteEndLines() {
    if (plan_.EndLinesWritten) return;
    plan_.EndLinesWritten = true;
    for (const std::string& line : EndLines())
        host_.AddToRunLog(line);
}

// One that does not fit the room left waits for the next volume: the component's end-of-list
// call, which reports no size, then finds this volume closed. A fresh volume takes it whatever
// its size, since no later one has more room. The log's end lines name the volume that holds
// it, so they are written once it is taken, and counted in its size before.
bool VolumePlanner::AddLastEntry() {
    const std::string path = plan_.FilestoZipList[plan_.FilestoZipListNr].Path;
    // Reached again after a rollback, which restores the flag: the list is complete all the same.
    if (path == plan_.CsvFileName && !plan_.CatSaved) {
        plan_.CatSaved = true;
        files_.CatalogueComplete();
    }
    const bool endLinesDue = path == plan_.RunLogName && !plan_.EndLinesWritten;
    if (plan_.ZipEntryCount > 0) {
        int64_t size = files_.EstimateCompressed(path, plan_.ZipBudget);
        if (endLinesDue)
            for (const std::string& line : EndLines())
                size += static_cast<int64_t>(line.size()) + 2;
        if (size >= plan_.ZipBudget) {
            plan_.ZipBudget = 0;
            return false;
        }
    }
    if (endLinesDue) WriteEndLines();
    Add(path, ZipFileFacts{}, false);
    ++plan_.FilestoZipListNr;
    return true;
}

bool VolumePlanner::ChooseNext() {
    auto& list = plan_.FilestoZipList;
    if (IsQueuedEndEntry(plan_.FilestoZipListNr)) return AddLastEntry();
    const bool deferredFirst =
        plan_.Splitlargefiles ||
        (plan_.Optimizeusedspace && plan_.ZipBudget < plan_.MaxZipSize - OptimiseAfterUsed && LinesRemain());
    if (!deferredFirst) {
        // Sequential: a line that does not plainly fit still goes in, unless it cannot.
        while (LinesRemain()) {
            const PlanLine line = list[plan_.FilestoZipListNr];
            if (Margin() > line.Size) break;
            if (!plan_.Hidden) host_.SetStatusText(line.Path);
            ZipFileFacts facts;
            if (!CanZip(line.Path, facts)) {
                SkipLine(true);
                continue;
            }
            if (line.Size >= LargestVolumeSize) {
                TooBig(line.Path);
                SkipLine(true);
                continue;
            }
            // A file that would carry a volume with entries past the medium or the 32-bit
            // zip limit starts the next volume instead.
            if (Overflows(line.Size)) {
                plan_.ZipBudget = 0;
                return false;
            }
            Add(line.Path, facts, true);
            ++plan_.FilestoZipListNr;
            return true;
        }
        const Taken taken = TakeDeferred();
        if (taken != Taken::Nothing) return taken == Taken::Added;
    }
    if (DeferredPass(true)) return true;

    bool added = false;
    while (!added && LinesRemain()) {
        const PlanLine line = list[plan_.FilestoZipListNr];
        if (!plan_.Hidden) host_.SetStatusText(line.Path);
        ZipFileFacts facts;
        if (!CanZip(line.Path, facts)) {
            SkipLine(true);
            continue;
        }
        if (line.Size < plan_.ZipBudget) {
            if (plan_.DetailLog && NameStart(line.Path) < line.Path.size())
                host_.AddToLog(
                    "Size check " +
                    Joined({plan_.MaxZipSize, currentZipSize_, plan_.ZipBudget,
                            files_.EstimateCompressed(line.Path, plan_.ZipBudget), plan_.FilestoZipListNr}) +
                    " - " + line.Path);
            Add(line.Path, facts, true);
            ++plan_.FilestoZipListNr;
            added = true;
            break;
        }
        const int64_t estimate = files_.EstimateCompressed(line.Path, plan_.ZipBudget);
        if (plan_.DetailLog)
            host_.AddToJobLog(Joined({plan_.MaxZipSize, currentZipSize_, plan_.CurrentZipBytes,
                                      plan_.ZipBudget, estimate, line.Size}) +
                                  " - " + line.Path,
                              true);
        if (host_.Cancelled()) return false;
        if (Margin() > estimate) {
            Add(line.Path, facts, true);
            ++plan_.FilestoZipListNr;
            added = true;
            break;
        }
        if ((!plan_.Splitlargefiles && estimate > plan_.MaxZipSize) || line.Size >= LargestVolumeSize) {
            TooBig(line.Path);
            SkipLine(true);
        } else if (plan_.Optimizeusedspace || plan_.Splitlargefiles) {
            plan_.ZipVolumeList.push_back({line.Path, estimate});
            SkipLine(false);
        } else {
            plan_.ZipBudget = 0; // the line starts the next volume
            return false;
        }
    }

    // A volume that a large reserve would leave empty gets a second chance.
    if (plan_.SpaceReserve > DirectoryReserve && plan_.ZipEntryCount == 0 && !plan_.ZipVolumeList.empty() &&
        !LinesRemain()) {
        plan_.SpaceReserve = DirectoryReserve;
        plan_.ZipBudget = ComputeBudget(false);
        plan_.iZip = 0;
        if (DeferredPass(true)) return true;
    }
    // Split mode takes its deferred files here, once the main list is done.
    if (!added && !LinesRemain() && plan_.Splitlargefiles) {
        plan_.iZip = 0;
        const Taken taken = TakeDeferred();
        if (taken != Taken::Nothing) return taken == Taken::Added;
    }

    if (added) return true;
    return QueueLastEntry() && AddLastEntry();
}

void VolumePlanner::Zipper1EndZip(const std::string& fileName, uint32_t uncompressedSize,
                                  uint32_t compressedSize, uint32_t currentZipSize) {
    const size_t markerLength = sizeof kMarker - 1;
    const bool marker = fileName.size() >= markerLength &&
                        fileName.compare(fileName.size() - markerLength, markerLength, kMarker) == 0;
    const std::string name = marker ? fileName.substr(0, fileName.size() - markerLength) : fileName;
    if (marker && name != lastNamed_) ReportSkipped(name);
    if (!marker && !name.empty()) {
        lastNamed_ = name;
        const auto pending = pendingCsv_.find(name);
        if (pending != pendingCsv_.end()) {
            files_.AppendCsvLine(pending->second);
            pendingCsv_.erase(pending);
        }
    }

    currentZipSize_ = currentZipSize;
    try {
        host_.PumpIfDue();
        if (plan_.DetailLog)
            host_.AddToLog(Joined(
                {plan_.MaxZipSize, plan_.CurrentZipBytes, currentZipSize, plan_.ZipBudget, compressedSize}));
        if (int64_t(currentZipSize) - plan_.LastFreeSpaceCheck > FreeSpaceRecheckBytes) {
            plan_.LastFreeSpaceCheck = currentZipSize;
            if (!plan_.DiscWriterMode) {
                plan_.DestFreeSpace = files_.DestFreeSpaceOf(plan_.DestPath);
                host_.ShowDestFreeSpace(plan_.DestFreeSpace);
            }
        }
        plan_.CurrentZipBytes = std::max<int64_t>(plan_.CurrentZipBytes, currentZipSize);
        if (currentZipSize == 0) plan_.CurrentZipBytes += compressedSize;
        if (host_.Cancelled()) return;
        ShowProgress(uncompressedSize);
    } catch (...) {
        // The status is only shown; the volume goes on.
        host_.AddToLog("Warning, unknow error calculating status " + fileName);
    }

    if (plan_.ZipBudget < CloseVolumeBelow) return Close();
    plan_.ZipBudget = ComputeBudget(true);
    if (plan_.ZipBudget < CloseVolumeBelow) {
        QueueLastEntry();
        return Close();
    }
    if (plan_.ZipEntryCount > EntryLimit) {
        plan_.EntryLimitReached = true;
        if (static_cast<int>(plan_.FilestoZipList.size()) - plan_.FilestoZipListNr > 10) return;
    } else {
        plan_.EntryLimitReached = false;
    }
    plan_.iZip = 0;
    host_.ResetWatchdog();
    deferredAdded_ = false;
    if (ChooseNext() && !deferredAdded_) ReadAheadNext();
    files_.TestsDone();
}

// The main list's next lines are what the next calls test, in order, unless a deferred file or
// the end of the volume comes first; what was read ahead for this volume and not taken is
// dropped with the zip run. Each line is named once.
void VolumePlanner::ReadAheadNext() {
    const int lines = static_cast<int>(plan_.FilestoZipList.size());
    int line = std::max(readAheadTo_, plan_.FilestoZipListNr);
    for (; line < lines && !IsQueuedEndEntry(line); ++line) {
        const FileListEntry& next = plan_.FilestoZipList[line];
        if (NameStart(next.Path) < next.Path.size() && !files_.ReadAhead(next.Path, next.Size)) break;
    }
    readAheadTo_ = line;
}

} // namespace job
