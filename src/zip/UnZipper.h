#pragma once
// TUnZipper: opens a zip archive by name or from a caller's stream, reads its directory,
// follows split and spanned sets across volumes, answers entry attributes by index, and
// extracts or tests entries, reporting through events.
//
// All file system access goes through a TExtractFileSystem and every question through the
// prompter, so the component is portable: the program gives it the Win32 file system, the
// native tests a portable one. Work runs on the caller's thread; the decoders call back once
// per piece for pumping and cancel.
//
// The directory reading lives in ZipDirectory, output names in ExtractPath, the extraction
// run in Extract.cpp; this class holds the state they share.

#include "gui/StringList.h"
#include "zip/EntryDecoder.h"
#include "zip/ExtractFiles.h"
#include "zip/ExtractPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipObj.h"

#include <functional>
#include <memory>
#include <string>

namespace zip {

enum TUZOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };
enum TIncompleteZipMode { izAssumeMulti, izAssumeBad, izAssumeNotAZip };
enum TMultiMode { mmNone, mmSpan, mmBlocks };
enum TSkipReason { srBadPassword, srKeepExisting, srCantOpenSource, srCantCreateOutput };

// No end record, or a directory that cannot be read.
class ENotAZipFile : public EZipError {
  public:
    using EZipError::EZipError;
};
class EIncompleteZip : public EZipError {
  public:
    using EZipError::EZipError;
};
class EBadZipFile : public EZipError {
  public:
    using EZipError::EZipError;
};
// Memory mode could not take a buffer for the entry.
class EOutOfMemory : public EZipError {
  public:
    using EZipError::EZipError;
};

class TUnZipper;
using TStartUnZipInfoEvent =
    std::function<void(TUnZipper&, int numFiles, uint64_t totalBytes, bool& stopNow)>;
using TStartUnZipEvent = std::function<void(TUnZipper&, int index, std::string& fname, bool& skip)>;
using TPromptOverwriteEvent =
    std::function<void(TUnZipper&, bool& overwriteIt, int index, std::string& fname)>;
using TSkippingFileEvent =
    std::function<void(TUnZipper&, TSkipReason reason, const std::string& fname, int index, bool& retry)>;
using TBadPasswordEvent = std::function<void(TUnZipper&, int index, std::string& newPassword)>;
using TBadCrcEvent = std::function<void(TUnZipper&, uint32_t calcCrc, uint32_t storedCrc, int index)>;
using TEndUnZipEvent = std::function<void(TUnZipper&, int index, const std::string& fname)>;
using TUnZipCompleteEvent = std::function<void(TUnZipper&, int fileCount)>;
using TEndReadFileInfoEvent = std::function<void(TUnZipper&, int index, int totalFiles)>;
using TInCompleteZipEvent = std::function<void(TUnZipper&, TIncompleteZipMode& mode)>;
using TGetNextDiskEvent = std::function<void(TUnZipper&, int nextDisk, std::string& fname)>;
using TPercentEvent = std::function<void(TUnZipper&, int percent)>;
// A memory piece is full or the entry is out: hand back the next buffer, or quit.
using TGetNextBufferEvent = std::function<void(TUnZipper&, uint8_t*& buffer, const std::string& fname,
                                               size_t amountUsed, int bufferNumber, bool& quit)>;

// The cursor during long work; the program shows it on the screen, tests record it.
enum class TZipCursor { Default, HourGlass };
// Shows `cursor` and answers the one shown before.
using TCursorSeam = std::function<TZipCursor(TZipCursor cursor)>;

class TUnZipper {
  public:
    explicit TUnZipper(TExtractFileSystem& files);
    virtual ~TUnZipper();
    TUnZipper(const TUnZipper&) = delete;
    TUnZipper& operator=(const TUnZipper&) = delete;

    // --- Properties ---
    static constexpr int kThisVersion = 221;
    int ThisVersion() const { return thisVersion_; }
    // Any value written gives the library's version again.
    void SetThisVersion(int) { thisVersion_ = kThisVersion; }
    const std::string& ZipName() const { return zipName_; }
    virtual void SetZipName(const std::string& name);
    const std::string& DestDir() const { return destDir_; }
    void SetDestDir(const std::string& dir);
    const std::string& RootDir() const { return rootDir_; }
    void SetRootDir(const std::string& dir);
    TZipSortMode SortMode() const { return sortMode_; }
    void SetSortMode(TZipSortMode mode) { Sort(mode); }
    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = Prompt;
    gui::TStringList FilesList;
    bool DoAll = false;
    TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
    bool KeepZipOpen = false;
    bool DoProcessMessages = true;
    bool RetainAttributes = true;
    bool ReplaceReadOnly = false;
    // Handed to the file streams, which take no action on it.
    bool FlushFilesOnClose = false;
    // Used by the zip component's output.
    bool UseTempFile = false;
    bool CheckDiskLabels = true;
    std::string Password;
    // Folder for temporary archives and work files; empty or missing: the system's.
    std::string TempPath;
    // Mode and label checking are virtual: the zip component keeps them with its volume settings.
    virtual TMultiMode MultiMode() const { return multiMode_; }
    virtual void SetMultiMode(TMultiMode mode) { multiMode_ = mode; }
    virtual bool GetCheckDiskLabels() const { return CheckDiskLabels; }
    virtual void SetCheckDiskLabels(bool on) { CheckDiskLabels = on; }

    // --- Events ---
    TStartUnZipInfoEvent OnStartUnZipInfo;
    TPercentEvent OnFilePercentDone, OnTotalPercentDone;
    TStartUnZipEvent OnStartUnZip;
    TEndUnZipEvent OnEndUnZip;
    TEndReadFileInfoEvent OnEndReadFileInfo;
    TPromptOverwriteEvent OnPromptForOverwrite;
    TSkippingFileEvent OnSkippingFile;
    TBadPasswordEvent OnBadPassword;
    TBadCrcEvent OnBadCRC;
    TInCompleteZipEvent OnInCompleteZip;
    TGetNextDiskEvent OnGetNextDisk; // none: the default handler (name.zNN or a disk prompt)
    TUnZipCompleteEvent OnUnZipComplete;
    TGetNextBufferEvent OnGetNextBuffer;
    // Pumps window messages; none: nothing to pump (tests, console tools).
    std::function<void()> OnProcessMessages;
    // None: no cursor to show (tests, console tools).
    TCursorSeam Cursor;

    // --- Entries by index of the sorted view ---
    int Count();
    std::string Filename(int index);
    std::string Pathname(int index);
    std::string FullName(int index);
    // The current time when the stored value is no date.
    gui::DateTime DateTime(int index);
    uint32_t DosDateTime(int index);
    uint32_t CompressedSize(int index);
    uint32_t UncompressedSize(int index);
    uint32_t Crc32(int index);
    bool IsEncrypted(int index);
    bool Selected(int index);
    void SetSelected(int index, bool on);
    // Every entry from 0 to Count() - 1, as Pathname, Filename and DosDateTime give them, from
    // one look at the archive: each of those asks the file system whether the archive changed.
    void ForEachEntry(const std::function<void(int index, const std::string& pathname,
                                               const std::string& filename, uint32_t dosDateTime)>& visit);
    std::string FileComment(int index);
    // Changes the comment in memory; the archive is marked modified.
    void SetFileComment(int index, const std::string& comment);
    std::string ZipComment();
    void SetZipComment(const std::string& comment);
    // The archive's size in bytes (opened and closed for it).
    int64_t ZipSize();
    int NumSelected() const { return numSelected_; }
    const TEndCentral& EndCentral() const { return end_; }
    bool Busy() const { return busy_; }

    // --- Operations ---
    // After the properties were loaded from a stored form.
    virtual void Loaded();
    // The properties of another component (not its archive, entries or events).
    virtual void Assign(const TUnZipper& source);
    void ReadZip();
    int UnZip();
    int UnZipSelected();
    int UnZipToStream(gui::TStream* stream, const std::string& name);
    // Into `buffer` when given (at least the entry's size), else into one taken for it.
    int UnZipToBuffer(std::unique_ptr<uint8_t[]>& buffer, int index);
    bool TestArchive();
    bool TestEntry(int index);
    void ClearSelected();
    void Sort(TZipSortMode mode);
    void CancelTheOperation() { cancel_ = true; }
    void ClearZip();
    // A caller's stream instead of ZipName (nullptr returns to file mode); the caller owns it.
    void SetArchiveStream(gui::TStream* stream);
    // Opens volume n (one-based) as the archive; raises EUserCanceled when refused.
    void GetNextDisk(int n);
    // TempPath when it names an existing folder, else the system's temporary folder; ends in "\".
    std::string GetTempZipPath();

  protected:
    // The zip (create) component extends the reading state below.
    enum class TRunMode { File, Stream, Memory };
    friend class TExtractRun;
    friend class TRunEvents;

    TZipHeaderInfo* Entry(int index);
    // The entry of the view without looking at the archive again.
    TZipHeaderInfo* EntryInView(int index);
    void OpenZip();
    void CloseZip(bool force = false);
    void ReadDirectory();
    void Forget();
    // The number of volumes, the one in hand (0-based) and the multi-volume mode they give.
    void SetVolumes(int count, int current);
    std::string DefaultNextDiskName(int n);
    bool LabelMatches(int n);
    int Extract(TRunMode mode, bool testing, bool useSelected);
    std::string ConvertName(const std::string& name) const;
    void ProcessMessagesHook();
    TZipCursor ShowCursor(TZipCursor cursor);
    // The comment of `length` bytes at `position` of the stream in hand.
    std::string ReadText(gui::TStream& stream, int64_t position, size_t length);

    TExtractFileSystem& files_;
    std::string zipName_, firstName_, destDir_, rootDir_;
    TZipSortMode sortMode_ = ByNone;
    TMultiMode multiMode_ = mmNone;
    std::unique_ptr<gui::TStream> ownedStream_;
    gui::TStream* stream_ = nullptr;
    gui::TStream* callerStream_ = nullptr;
    std::unique_ptr<TSortedZip> master_;
    std::unique_ptr<TSortedZip> view_; // null: the master list is the view
    TEndCentral end_;
    bool directoryRead_ = false;
    std::optional<gui::DateTime> stamp_;
    bool oem_ = false;
    int currentVolume_ = 0;
    int numVolumes_ = 1;
    int numSelected_ = 0;
    bool cancel_ = false;
    bool busy_ = false;
    int thisVersion_ = kThisVersion;

    // The extraction in progress.
    gui::TStream* outStream_ = nullptr;
    uint8_t* callerBuffer_ = nullptr;
    std::unique_ptr<uint8_t[]> takenBuffer_;
};

} // namespace zip
