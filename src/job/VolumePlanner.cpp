#include "job/VolumePlanner.h"

#include "zip/Deflate.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace job {

namespace {

constexpr int64_t kCloseBelow = 1'200'000;
constexpr int64_t kZip32Limit = 4'294'967'295;
constexpr int kEntryLimit = 65'499;
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
constexpr size_t kBlock = 1'000'000;

} // namespace

int64_t EstimateCompressedSize(int64_t size, int packLevel, int64_t budget, const BlockReader& read,
                               const std::function<bool()>& cancelled) {
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
    if (size <= 9'000'000) {
        int64_t total = 0;
        for (int64_t offset = 0; offset < size; offset += kBlock) {
            int64_t got = 0;
            total += compressBlock(offset, got);
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
        if (readTotal == 0) continue;
        estimate = size * compressed / readTotal;
        if (sample >= 2 && estimate > 0) {
            if (previous > estimate && budget - estimate > 10'000'000) return estimate;
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

int64_t VolumePlanner::ComputeBudget(bool capByFreeSpace) const {
    int64_t budget =
        plan_.MaxZipSize - (plan_.CurrentZipBytes + plan_.SpaceReserve) - plan_.EarlierVolumeBytes;
    // The medium must also take the volume's directory and end record.
    if (capByFreeSpace && plan_.DestFreeSpace > 0 && plan_.DestFreeSpace < budget)
        budget = plan_.DestFreeSpace - (22 + directoryBytes_ + 65'536);
    return budget;
}

void VolumePlanner::Close() {
    plan_.EntryLimitReached = false;
    plan_.EarlierVolumeBytes = 0;
}

void VolumePlanner::StartVolume() {
    lastNamed_.clear();
    directoryBytes_ = 0;
    Zipper1EndZip(std::string(), 0, 0, 0);
}

void VolumePlanner::Add(const std::string& path, const ZipFileFacts& facts, bool csvLine) {
    host_.AddToZipFiles(path);
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
    if (host_.CanZipFile(path, facts)) return true;
    plan_.FilesSkipped |= facts.Skipped;
    return false;
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
    if (file && host_.FileExists(path)) {
        host_.AddToJobLog("File skipped it can not be accessed: " + path, true);
        plan_.FilesSkipped = true;
    } else if (host_.FolderExists(path)) {
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
    host_.SetTotalText("MBytes total: " + std::to_string(empty ? 0 : plan_.BytesToBak / 1'048'576) + ", in " +
                       std::to_string(empty ? 0 : plan_.FilesCopyed) +
                       " files.  -  Creating: " + plan_.ZipFileName +
                       "  -  size: " + std::to_string(empty ? 0 : plan_.CurrentZipBytes / 1'048'576) + " MB");
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
            Add(entry.Path, facts, true);
            deferred.erase(deferred.begin() + plan_.iZip);
            return true;
        }
        ++plan_.iZip;
    }
    return false;
}

bool VolumePlanner::ChooseNext() {
    auto& list = plan_.FilestoZipList;
    // A file that would carry a volume with entries past the medium or the 32-bit zip limit
    // starts the next volume instead.
    auto overflows = [&](int64_t size) {
        if (plan_.ZipEntryCount == 0) return false;
        const int64_t total = plan_.CurrentZipBytes + size;
        return (plan_.DestFreeSpace > 0 && total > plan_.DestFreeSpace) || total > kZip32Limit;
    };
    const bool deferredFirst =
        plan_.Splitlargefiles ||
        (plan_.Optimizeusedspace && plan_.ZipBudget < plan_.MaxZipSize - 12'000'000 && LinesRemain());
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
            if (line.Size >= kZip32Limit) {
                TooBig(line.Path);
                SkipLine(true);
                continue;
            }
            if (overflows(line.Size)) {
                plan_.ZipBudget = 0;
                return false;
            }
            Add(line.Path, facts, true);
            ++plan_.FilestoZipListNr;
            return true;
        }
        // Deferred files that fit, or any once the main list is done.
        auto& deferred = plan_.ZipVolumeList;
        while (plan_.iZip < static_cast<int>(deferred.size())) {
            const DeferredFile entry = deferred[plan_.iZip];
            if (!(Margin() > entry.Estimate || !LinesRemain())) {
                ++plan_.iZip;
                continue;
            }
            ZipFileFacts facts;
            if (!CanZip(entry.Path, facts)) {
                deferred.erase(deferred.begin() + plan_.iZip);
                ++plan_.FileCount;
                continue;
            }
            // Taken only because the main list is done: unless the component splits it, it
            // gets a volume of its own rather than carrying this one past its size.
            if (!(Margin() > entry.Estimate) &&
                (overflows(entry.Estimate) || (plan_.ZipEntryCount > 0 && !plan_.Splitlargefiles))) {
                plan_.ZipBudget = 0;
                return false;
            }
            Add(entry.Path, facts, true);
            deferred.erase(deferred.begin() + plan_.iZip);
            return true;
        }
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
                    Joined({plan_.MaxZipSize, plan_.CurrentZipBytes, plan_.ZipBudget,
                            host_.EstimateCompressed(line.Path, plan_.ZipBudget), plan_.FilestoZipListNr}) +
                    " - " + line.Path);
            Add(line.Path, facts, true);
            ++plan_.FilestoZipListNr;
            added = true;
            break;
        }
        const int64_t estimate = host_.EstimateCompressed(line.Path, plan_.ZipBudget);
        if (plan_.DetailLog)
            host_.AddToJobLog(Joined({plan_.MaxZipSize, plan_.CurrentZipBytes, plan_.CurrentZipBytes,
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
        if ((!plan_.Splitlargefiles && estimate > plan_.MaxZipSize) || line.Size >= kZip32Limit) {
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
    if (plan_.SpaceReserve > 2'097'152 && plan_.ZipEntryCount == 0 && !plan_.ZipVolumeList.empty() &&
        !LinesRemain()) {
        plan_.SpaceReserve = 2'097'152;
        plan_.ZipBudget = ComputeBudget(false);
        plan_.iZip = 0;
        if (DeferredPass(true)) return true;
    }

    if (!plan_.ZipVolumeList.empty() || LinesRemain()) return added;
    // The last volume: the catalogue list, then the job's text log, each once.
    if (!plan_.CatSaved) {
        plan_.CatSaved = true;
        list.push_back({plan_.CsvFileName, 0});
        plan_.FilestoZipListNr = static_cast<int>(list.size()) - 1;
        if (host_.EstimateCompressed(plan_.CsvFileName, plan_.ZipBudget) < plan_.ZipBudget) {
            Add(plan_.CsvFileName, ZipFileFacts{}, false);
            ++plan_.FilestoZipListNr;
        }
        return true;
    }
    if (!plan_.EndLinesWritten) {
        plan_.EndLinesWritten = true;
        host_.AddToRunLog("File created: " + plan_.ZipFileName);
        host_.AddToRunLog("Files checked: " + std::to_string(plan_.FileCount));
        host_.AddToRunLog("Files backed up: " + std::to_string(plan_.FilesCopyed));
        host_.AddToRunLog("Bytes backed up: " + std::to_string(plan_.BytesToBak));
        host_.AddToRunLog("Backup end: " + plan_.JobName);
        if (plan_.RunLogName.empty()) return added;
        list.push_back({plan_.RunLogName, 0});
        plan_.FilestoZipListNr = static_cast<int>(list.size()) - 1;
        host_.Wait(5'000);
        if (host_.EstimateCompressed(plan_.RunLogName, plan_.ZipBudget) < plan_.ZipBudget) {
            Add(plan_.RunLogName, ZipFileFacts{}, false);
            ++plan_.FilestoZipListNr;
            return true;
        }
    }
    return added;
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
            host_.AppendCsvLine(pending->second);
            pendingCsv_.erase(pending);
        }
    }

    host_.PumpIfDue();
    if (plan_.DetailLog)
        host_.AddToLog(Joined(
            {plan_.MaxZipSize, plan_.CurrentZipBytes, currentZipSize, plan_.ZipBudget, compressedSize}));
    if (int64_t(currentZipSize) - plan_.LastFreeSpaceCheck > 10'000'000) {
        plan_.LastFreeSpaceCheck = currentZipSize;
        if (!plan_.DiscWriterMode) plan_.DestFreeSpace = host_.MeasureDestFreeSpace();
    }
    plan_.CurrentZipBytes = std::max<int64_t>(plan_.CurrentZipBytes, currentZipSize);
    if (currentZipSize == 0) plan_.CurrentZipBytes += compressedSize;
    if (host_.Cancelled()) return;
    ShowProgress(uncompressedSize);

    if (plan_.ZipBudget < kCloseBelow) return Close();
    plan_.ZipBudget = ComputeBudget(true);
    if (plan_.ZipBudget < kCloseBelow) return Close();
    if (plan_.ZipEntryCount > kEntryLimit) {
        plan_.EntryLimitReached = true;
        if (static_cast<int>(plan_.FilestoZipList.size()) - plan_.FilestoZipListNr > 10) return;
    } else {
        plan_.EntryLimitReached = false;
    }
    plan_.iZip = 0;
    host_.ResetWatchdog();
    ChooseNext();
}

} // namespace job
