#pragma once
// Whole-file reads and crash-safe whole-file replacement for the small text files of the
// program (settings, lists). Win32 file calls with ANSI names.

#include <functional>
#include <string>
#include <string_view>

namespace gui {

// Reads the whole file; false when it cannot be opened or read completely.
bool ReadWholeFile(const std::string& fileName, std::string& contents);

// Writes contents to a temporary file in the target's folder, flushes it and moves it over
// the target in one step. On any failure the target is untouched and the temporary file is
// removed. A crash between the two steps leaves the temporary file behind: each save removes
// such files of the folder once they are an hour old (a younger one may be another save's).
bool ReplaceFileContents(const std::string& fileName, const std::string& contents);

// The same for contents of any size, made in pieces: `produce` hands each piece to `put`
// (false once a write failed; pieces are gathered into large writes) and returns false to
// give up, which leaves the target untouched.
using TPutBytes = std::function<bool(std::string_view bytes)>;
bool ReplaceFileStreamed(const std::string& fileName,
                         const std::function<bool(const TPutBytes& put)>& produce);

} // namespace gui
