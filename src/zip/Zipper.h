#pragma once
// TZipper: builds and updates zip archives. It extends the unzip component with the write
// side: the list of files to add (names, masks, folders), one entry per file (stored or
// deflated, optionally encrypted), keeping or replacing the entries of an existing archive,
// the central directory and end record, volumes (removable disks labelled "PKBACK# nnn" or
// fixed-size part files name.z01, name.z02, ... name.zip) and the ".zfc" copy of the
// directory beside a volume set.
//
// Every archive byte goes through the write sink; every file system call through a
// TZipperFileSystem, so the component is portable and its rules run under the sanitizers.
// One Zip call runs on the caller's thread, pumping messages through OnProcessMessages;
// handlers may add names to FilesList while it runs.
//
// The work is spread over four files by concern: Zipper.cpp (the run, one entry, input and
// output), ZipFileList.cpp (what is added), ZipUpdate.cpp (an existing archive: update
// through a temporary archive, or append in place) and ZipVolumes.cpp (split parts, spanned
// disks, labels and the side file).

#include "gui/Persistent.h"
#include "gui/Stream.h"
#include "zip/Deflate.h"
#include "zip/SourcePrefetch.h"
#include "zip/UnZipper.h"
#include "zip/WriteSink.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipperFiles.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zip {

enum TZipAction { zaUpdate, zaReplace, zaFreshen };
// What happens to an entry of the archive being updated.
enum TUpdateAction { uaReplacing = 0, uaKeeping = 1 };

// Volume settings of a zip component. Creating one resets the process-wide CompVolumes.
class TMultiZipInfo : public gui::TPersistent {
  public:
    TMultiZipInfo();
    void Assign(const gui::TPersistent& source) override;

    uint32_t BlockSize = 1457600;
    uint32_t FirstBlockSize = 1457600;
    uint32_t SaveOnFirstDisk = 0;
    bool SaveZipInfoOnFirstDisk = false;
    TMultiMode MultiMode = mmNone;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;
};

class TZipper;
using TStartZipEvent =
    std::function<void(TZipper&, const std::string& fname, TZipHeaderInfo& header, bool& skip)>;
using TStartZipInfoEvent =
    std::function<void(TZipper&, int numFiles, uint64_t totalBytes, TEndCentral& endCentral, bool& stopNow)>;
using TEndZipEvent = std::function<void(TZipper&, const std::string& fname, uint32_t uncompressedSize,
                                        uint32_t compressedSize, uint32_t currentZipSize)>;
using TDisposeFileEvent = std::function<void(TZipper&, const std::string& fname, bool& skip)>;
using TDeleteEntryEvent = std::function<void(TZipper&, const std::string& fname, bool& skip)>;
using TNoSuchFileEvent = std::function<void(TZipper&, const std::string& fname)>;
using TZipCompleteEvent = std::function<void(TZipper&, int fileCount)>;
using TUpdateEvent = std::function<void(TZipper&, TUpdateAction action, int fileIndex)>;

// The compressor reads and writes through the component itself (ReadInput, WriteOutput).
class TZipper : public TUnZipper, private DeflateStream {
  public:
    TZipper(TExtractFileSystem& files, TZipperFileSystem& output);
    ~TZipper() override;

    // --- Properties ---
    int PackLevel = 6;
    bool Recurse = false;
    bool Dispose = false;
    bool StorePaths() const { return storePaths_; }
    void SetStorePaths(bool on);
    bool RelativePaths() const { return relativePaths_; }
    void SetRelativePaths(bool on);
    bool StoreVolumes() const { return storeVolumes_; }
    void SetStoreVolumes(bool on);
    // Process-wide switches shared by every zip component.
    bool CompVolumes() const { return zip::CompVolumes(); }
    void SetCompVolumes(bool on);
    bool OEMConvert() const { return zip::OEMConvert(); }
    void SetOEMConvert(bool on) { zip::SetOEMConvert(on); }
    TZipAction ZipAction = zaUpdate;
    TMultiZipInfo MultiZipInfo;
    void SetMultiZipInfo(const TMultiZipInfo& info) { MultiZipInfo.Assign(info); }
    TMultiMode MultiMode() const override { return MultiZipInfo.MultiMode; }
    // An archive read during a run (update, append) sets the reader's mode, not the run's.
    void SetMultiMode(TMultiMode mode) override { (busy_ ? multiMode_ : MultiZipInfo.MultiMode) = mode; }
    bool GetCheckDiskLabels() const override { return MultiZipInfo.CheckDiskLabels; }
    void SetCheckDiskLabels(bool on) override { MultiZipInfo.CheckDiskLabels = on; }
    bool Store83Names = false;
    bool SkipIfArchiveBitNotSet = false;
    bool ResetArchiveBitOnZip = false;
    gui::TStringList ExcludeList;
    gui::TStringList NoCompressList;
    bool AddDirEntriesOnRecurse = false;
    bool WriteVerify = false;
    // Volumes written by the last Zip call.
    int VolumesWritten() const { return volumesWritten_; }

    // --- Events ---
    TStartZipEvent OnStartZip;
    TStartZipInfoEvent OnStartZipInfo;
    TEndZipEvent OnEndZip;
    TDisposeFileEvent OnDisposeFile;
    TDeleteEntryEvent OnDeleteEntry;
    TNoSuchFileEvent OnNoSuchFile;
    TZipCompleteEvent OnZipComplete;
    TUpdateEvent OnUpdate;

    // --- Operations ---
    // Adds FilesList to ZipName; answers the entries added (replacements included).
    int Zip();
    // Zips stream's content as one entry named fname (dated now) into ZipName.
    int64_t ZipToStream(gui::TStream* stream, const std::string& fname);
    // Removes the selected entries from the archive (each may be kept by OnDeleteEntry);
    // answers the entries removed.
    int DeleteSelected();
    void SetZipName(const std::string& name) override;
    // A source its host read (facts, open file, first bytes) and checked before it listed the
    // name: the entry is made from that, not from another look at the file. One is held at a
    // time; it is dropped when the run ends without coming to it.
    void HandOver(const std::string& name, const TSourceInfo& info, std::unique_ptr<gui::TStream> source);
    void YieldProcess();
    // Pumps messages for about n seconds of the clock in use.
    void WaitSeconds(int n);
    bool IsExcluded(const std::string& name) const;
    bool IsNoCompress(const std::string& name) const;
    int64_t DiskFreeOfArchive();
    // Room of the current volume less what is written and waiting.
    int64_t RoomLeft();

  protected:
    // --- The run (Zipper.cpp) ---
    int ZipFiles();
    bool ProcessZipEntry(const std::string& name);
    // Zips one name as a new entry and counts it with its central record; false when the
    // name gave no entry.
    bool AddEntry(const std::string& name);
    // The compressor's and the store loop's source: counts CRC, bytes and percent.
    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override;
    // Every data write: encrypts, counts, pumps, honours cancel.
    void WriteOutput(const uint8_t* buffer, uint32_t size) override;
    void OpenOutputArchive();
    // Bytes of the current output: written plus waiting in the sink (stream position in
    // stream mode).
    int64_t OutputSize();
    // Passes the small header stream's bytes to the output (sink, stream or volume file).
    void EmitHeaderStream();
    void FreeRunState();
    // Unencrypted bytes to the output (sink, archive stream or the volume work file), after
    // the checks that keep every offset inside 32 bits.
    void EmitBytes(const uint8_t* data, size_t count);
    // The ".zfi" buffer (memory in stream mode); exists before OpenForUpdate/OpenForAppend run.
    void OpenDirectoryBuffer();
    // Central directory, end record, final flush (steps of one run after the last entry).
    void WriteDirectory();
    void WriteEndRecord();
    // Rewrites the entry's local header once its sizes and CRC are known.
    void PatchLocalHeader(int64_t headerOffset);
    // Opens a source for reading, asking OnSkippingFile while it cannot be opened or is too
    // big for a zip entry; nullptr when skipped. info holds the facts just read, and those of
    // the last try afterwards.
    std::unique_ptr<gui::TStream> OpenSourceWithRetry(const std::string& name, TSourceInfo& info);
    // Queues the list's next names to be read ahead, where the file system and the run allow it.
    void PrefetchUpcoming();
    void ClearArchiveBit(const std::string& name, const TSourceInfo& zipped);
    // The data of one entry: CRC pre-pass and encryption header, stored or deflated bytes.
    void WriteEntryData(bool store);
    void RunFinished(bool failed);
    void ThrowIfCanceled();

    TZipperFileSystem& output_;
    std::string outName_;                // archive, part file or ".~tm"
    std::unique_ptr<TSinkFile> outFile_; // file mode
    std::unique_ptr<TWriteSink> sink_;
    gui::TStream* outStream_ = nullptr; // stream mode
    std::unique_ptr<gui::TMemoryStream> newArchiveStream_;
    int volume_ = 0;
    int64_t room_ = 0;
    int64_t volumeBytes_ = 0;
    int volumesWritten_ = 0;
    int count_ = 0;
    uint64_t totalBytes_ = 0;
    uint64_t totalDone_ = 0;
    uint64_t fileBytes_ = 0;
    uint64_t fileDone_ = 0;
    TZipHeaderInfo work_;
    TEndCentral newEnd_;
    std::string directoryName_; // ".zfi"
    std::unique_ptr<gui::TStream> directory_;
    gui::TMemoryStream header_;
    std::vector<std::string> disposeList_;
    bool updating_ = false;
    bool deleting_ = false;
    std::unique_ptr<DeflateBuffers> deflate_; // the compressor leaves them cleared after every entry
    std::unique_ptr<uint8_t[]> pieces_;       // stored data and the CRC pass of encrypted entries
    int listAt_ = -1;                         // FilesList index of the entry being zipped, if any
    int queuedUpTo_ = 0;                      // FilesList names before it were handed to prefetch_
    std::unique_ptr<TSourcePrefetch> prefetch_;
    std::string handedOverName_;
    TSourceInfo handedOverInfo_;
    std::unique_ptr<gui::TStream> handedOver_;
    std::unique_ptr<gui::TStream> source_;
    gui::TStream* dataSource_ = nullptr; // the source file, or ZipToStream's stream
    gui::TStream* zipToStream_ = nullptr;
    uint32_t crc_ = 0;
    TZipCrypt crypt_;
    bool encrypting_ = false;
    int64_t entryDataStart_ = 0;
    int64_t lastPumpMs_ = 0;
    bool keepZipOpenBefore_ = false;
    TZipSortMode sortBefore_ = ByNone;

    // --- What is added (ZipFileList.cpp) ---
    void BuildZipFileList();
    // The folder and name that an entry for the file `name` gets under the path options.
    void SetEntryName(TZipHeaderInfo& entry, const std::string& name);
    // Stored names folded for lookups without regard to case: of a file about to be added,
    // and of an entry read from the archive.
    std::string StoredNameOf(const std::string& name);
    static std::string StoredNameOf(const TZipHeaderInfo& entry);
    // The archive file exists (stream mode: the archive stream is not empty).
    bool ArchiveExists();

    // --- An existing archive (ZipUpdate.cpp) ---
    // Update through the temporary archive: opens the old archive and copies or replaces
    // its entries.
    void OpenForUpdate();
    // Append in place: the old directory into the directory buffer, output at the old data end.
    void OpenForAppend();
    void UpdateExistingEntries();
    void CopyExistingEntry(TZipHeaderInfo& entry);
    void FinishUpdate();
    // A failed append puts the old directory and end record back; when it cannot, it says why
    // in restoreFailure_.
    void RestoreAppendedArchive();
    void RefuseMultiVolumeArchive();
    // The old archive's stream, opened again when a read let it go.
    gui::TStream& OldArchive();
    void FetchFileComment(TZipHeaderInfo& entry);
    // An old entry's central record into the directory buffer, its name as it was read.
    void WriteCopiedCentral(const TZipHeaderInfo& entry);
    // Where an old entry's bytes end: local header with its own extra field, data, descriptor.
    int64_t OldEntryEnd(const TZipHeaderInfo& entry);
    std::string tempArchiveName_; // ".~tm"
    int64_t oldDataEnd_ = -1;
    std::vector<uint8_t> oldTail_; // old central directory and end record
    std::string restoreFailure_;   // the old archive could not be put back: why

    // --- Volumes (ZipVolumes.cpp) ---
    void NextVolume();
    void CopyVolumeEntry();
    void WriteDiskLabel();
    void SaveZipConfigurationFile(const std::string& file);
    // name.z01, name.z02, ... for volume 0, 1, ...
    std::string PartName(const std::string& name, int volume) const;
    // The central directory of a volume set, spread over volumes at record boundaries.
    void WriteVolumeDirectory();
    // Split over an existing archive: the parts start with the archive's entries.
    void OpenFirstPartOverArchive();
    // Copies count bytes of `from` onto the volumes, each filled to its room.
    void CopyOntoVolumes(gui::TStream& from, int64_t count, bool counted);
    // After a good run: a single part becomes the archive, else ZipName names the last part.
    void FinishVolumes();
    // After a failed run: the finished parts of a split set are deleted too.
    void DiscardVolumes();
    // Disk 1 of a spanned set back in the drive for its side file; false when refused.
    bool AskForFirstDisk();
    // The next-disk handler's answer, or the disk prompt when none is set.
    std::string AskForDisk(int disk, std::string name);
    std::string volumeEntryName_; // ".~mz"
    std::unique_ptr<gui::TStream> volumeEntry_;
    int64_t volumeEntryBytes_ = 0; // written to it
    std::vector<std::string> finishedParts_;
    std::vector<uint32_t> diskSerials_; // of each spanned disk finished, in order
    bool overOldArchive_ = false;       // part 1 began with an existing archive's data
    int64_t firstDiskDataEnd_ = -1;     // of an archive appended to on a disk now out of the drive

  private:
    bool storePaths_ = false;
    bool relativePaths_ = false;
    bool storeVolumes_ = false;
};

} // namespace zip
