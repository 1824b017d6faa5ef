#pragma once
// Text rules about paths and names that need no file system: the 8.3 test, folder joining,
// cleaning names of punctuation, job base names, numbered names, and the names of drive types.

#include "gui/DriveType.h"

#include <functional>
#include <string>
#include <string_view>

namespace core {

// The path's name part is 8.3-shaped and no folder component is longer than 8 characters;
// a blank anywhere fails.
bool IsShortFileName(std::string_view path);

// folder + sub with exactly one "\" between them, ending in "\". The sub-path is never cut.
std::string JoinFolder(std::string_view folder, std::string_view sub);

// Removes control characters and ASCII punctuation other than "~"; blanks, digits, letters
// and characters from 0x7F up stay.
std::string StripSpecialChars(std::string_view text);

// The folder part of a path with its last "\", "/" or ":"; empty when it has none.
std::string FolderOf(std::string_view path);

// A job file's name as shown and in the names made from it: less its last four characters
// (".dat"); empty for a name of four characters or fewer.
std::string JobBaseName(std::string_view jobName);

// prefix + n + suffix for the first n from first upward that exists() says is free.
std::string NextFreeNumberedName(const std::string& prefix, int first, const std::string& suffix,
                                 const std::function<bool(const std::string&)>& exists);

// Where the program keeps its data: the per-user folder when one is in use, else the program
// folder (both end with "\").
std::string DataFolder(const std::string& dataDir, const std::string& programFolder);

using gui::DriveTypeName;

} // namespace core
