#pragma once
// Free-standing routines used across the program and by the zip library: version information
// of files, sizes and attributes, deleting by mask, drive types and existence, and the ANSI/OEM
// conversion of names. Failures come back as results (empty text, -1, false, an error code).

#include "core/ConvertError.h"
#include "core/PathText.h"
#include "gui/FileAttributes.h"

#include <cstdint>
#include <string>

namespace core {

// The language and code page of version-information queries; a negative value only reads.
int SetVersionInfoLanguage(int id);
int SetVersionInfoCodePage(int codePage);

// -1 when nothing is found.
int64_t GetFileSizeByName(const std::string& path);
// The file opens for reading while others may read and write it (a writer has let it go).
bool OpensForSharedReading(const std::string& path);
// All mask bits set; a file that cannot be asked has none.
bool FileHasAttributes(const std::string& path, uint32_t mask,
                       gui::FileAttributes& attributes = gui::SystemFileAttributes());
// Deletes every match of folder + wildcard name, pumping messages before each; false when a
// match could not be deleted.
bool DeleteFilesByMask(const std::string& mask);

// "a.b.c.d" of the product version; empty without a (sound) version resource.
std::string GetFileVersionString(const std::string& path);
std::string GetFileInternalName(const std::string& path);
std::string GetFileLegalCopyright(const std::string& path);
std::string GetFileProductName(const std::string& path);

// Each flag -1 keeps, 0 clears, 1 or more sets its bit. Writes only a change; returns the
// write's error code, 0 when nothing was written, the read's error when the file cannot be asked.
uint32_t SetFileAttributesTri(const std::string& path, int readOnly, int archive, int system, int hidden,
                              gui::FileAttributes& attributes = gui::SystemFileAttributes());

using gui::DriveTypeText;

// With substitute set, 0xD8/0xF8 map to OEM 0x9D/0x9B and back, whatever the code pages say.
std::string AnsiToOemName(const std::string& name, bool substitute);
std::string OemToAnsiName(const std::string& name, bool substitute);

// Throws EConvertError "Not a valid drive ID" for a character outside A-Z (after upper-casing).
bool DriveExists(char letter);

} // namespace core
