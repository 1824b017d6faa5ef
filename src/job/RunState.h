#pragma once
// The resume state of a running job: the section Running of "<program>.run" and the seven
// list files beside it, written before every volume so that an interrupted job can start
// again at the volume it was building. The text of each file is made and read here; the
// files themselves are written by RunStateWin.cpp, each through a fresh file moved over the
// old one, the .run file last, so a crash leaves either the old state or the new.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace job {

// The keys of section Running, in the order they are written.
struct RunStateValues {
    std::string JobName;
    std::string ZipDate;
    std::string JobLogName;
    std::string CatalogName;
    std::string CatName;
    std::string EditCatNameText;
    int FileCount = 0;
    int FilesCopyed = 0;
    int ZipNameNr = 0;
    int ProgressBar1 = 0;
    int ProgressBar3 = 0;
    int FilesToBak = 0;
    int DirToBak = 0;
    int FilestoZipListNr = 0;
    int iZip = 0;
    bool Only83 = false;
    bool DoIncludeReg = false;
    bool DoIncludeSysState = false;
    bool DoCatalog = false;
    bool CatSaved = false;
    // Full path of the volume being built, once it is named, so a resume removes exactly
    // that partial volume.
    std::string VolumePath;
    // The "After:" text the run's start replaced, which a cancel puts back; written only when
    // the start replaced it.
    std::optional<std::string> AfterDateTextBeforeStart;

    bool operator==(const RunStateValues&) const = default;
};

// The seven lists, in the order they are written.
struct RunStateLists {
    std::vector<std::string> Ftz; // FilestoZipList
    std::vector<std::string> Tfl; // ZipVolumeList
    std::vector<std::string> Bfl; // zips waiting to be written to disc
    std::vector<std::string> Cfl; // files written to disc with the volume
    std::vector<std::string> Vfl; // labels of the discs written
    std::vector<std::string> Ffl; // names of the files written to disc
    std::vector<std::string> Dfl; // their date-times, line for line beside Ffl

    bool operator==(const RunStateLists&) const = default;
};

inline constexpr std::array<const char*, 7> RunStateListExtensions = {".ftz", ".tfl", ".bfl", ".cfl",
                                                                      ".vfl", ".ffl", ".dfl"};
inline constexpr char RunSection[] = "Running";

// Beside the lists, for each volume that waits for the disc, the files whose archive bits its
// zip run cleared: a resumed run that cannot write such a volume sets them again. One line a
// file, "<volume path><tab><file path>", added once for each volume as it starts to wait.
inline constexpr char RunStateBitsExtension[] = ".afl";
std::vector<std::string> VolumeBitsLines(const std::string& volume, const std::vector<std::string>& paths);
// The pairs (volume, file) in order; a line without a tab is skipped.
std::vector<std::pair<std::string, std::string>> ParseVolumeBits(std::string_view text);

// "<folder><program base name>" to which the extensions are added: the per-user data folder
// when it is set, else the program's own folder.
std::string RunStateBase(const std::string& programFile, const std::string& dataDir);

std::string RunSectionText(const RunStateValues& values);
// Reads every key present; an absent key or a value that is no number keeps what values
// held. Damaged text yields the keys that can still be read.
void ReadRunSection(std::string_view text, RunStateValues& values);

std::vector<std::string>& RunStateList(RunStateLists& lists, size_t index);
const std::vector<std::string>& RunStateList(const RunStateLists& lists, size_t index);

// One line per entry, CR LF ends; reading takes LF ends too, and a last line without an end.
std::string ListFileText(const std::vector<std::string>& lines);
std::vector<std::string> ParseListFile(std::string_view text);

} // namespace job
