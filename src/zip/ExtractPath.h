#pragma once
// Where an entry lands on disk. The stored folder is cut by RootDir, put below DestDir and
// joined with the file name; then every component is made safe for the file system.
//
// Archives are input from anywhere, so a name may try to climb out of DestDir ("..\"), name
// a drive, a root or a UNC share, or spell a device ("CON", "LPT1.txt"). Components that are
// only dots are dropped, characters the file system refuses become "_", device names get a
// "_" in front, and with a DestDir the result always stays below it. Only with an empty
// DestDir does an absolute stored folder keep its meaning: the caller asked for that.

#include <string>
#include <string_view>

namespace zip {

struct TOutputNameRule {
    std::string destDir; // without a trailing "\"
    std::string rootDir; // with a trailing "\" when not empty
    bool recreateDirs = false;
};

// The output file name for an entry folder (ending with "\" or empty) and file name.
std::string OutputName(const TOutputNameRule& rule, std::string_view folder, std::string_view filename);
// The output folder alone (for folder entries), without a trailing "\".
std::string OutputFolder(const TOutputNameRule& rule, std::string_view folder);

// One path component made safe; empty when it must be dropped.
std::string SafeComponent(std::string_view component);

} // namespace zip
