#pragma once
// The system's folders for the scan.

#include "job/FileScan.h"

namespace job {

// Lists through the wide find functions and hands names over in the ANSI code page without
// best-fit: a character the code page cannot hold becomes "?" and marks the name as lost,
// where the ANSI functions would give a look-alike name that opens another file. Sets the
// fold's double-byte lead bytes from the code page.
class SystemDirectoryLister final : public DirectoryLister {
  public:
    SystemDirectoryLister();
    void List(const std::string& pattern, std::vector<DirEntry>& entries) override;
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;

  private:
    unsigned codePage_; // by number, not CP_ACP: a UTF-8 code page takes other flags
};

// A name the find functions gave (at most MAX_PATH units with its end) in the code page, without
// best-fit. False when the code page cannot hold it: the text then shows "?" (in UTF-8 the
// replacement character) where it lost something.
bool NameInCodePage(const wchar_t* name, unsigned codePage, std::string& text);

// The attributes of a path through the wide functions (INVALID_FILE_ATTRIBUTES when absent).
unsigned long PathAttributes(const std::string& path);
std::wstring WidePath(const std::string& path);

} // namespace job
