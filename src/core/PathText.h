#pragma once
// Text rules about paths and names that need no file system: the 8.3 test, folder joining,
// cleaning names of punctuation, and the names of drive types.

#include "gui/DriveType.h"

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

using gui::DriveTypeName;

} // namespace core
