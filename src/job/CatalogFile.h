#pragma once
// Catalogue files on disk. They grow by every volume of every run, so they are read a line at
// a time through one fixed buffer (CatalogLineReader) at 64-bit positions, and rewritten
// through a temporary file that replaces them whole. A job may append while the Catalog tab
// reads or rewrites: files are opened sharing read and write, and a rewrite takes up what was
// appended meanwhile before it replaces the file.
//
// "Missing" and "unreadable" are told apart: a missing catalogue is an empty one, one that
// cannot be opened or read is an error its caller reports, never an empty catalogue.

#include "job/Catalog.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace job {

class CatalogFileReader {
  public:
    explicit CatalogFileReader(const std::string& path, size_t bufferSize = CatalogLineReader::DefaultBuffer);
    ~CatalogFileReader();
    CatalogFileReader(const CatalogFileReader&) = delete;
    CatalogFileReader& operator=(const CatalogFileReader&) = delete;

    // No such file (or folder): nothing to read, nothing wrong.
    bool Missing() const { return missing_; }
    // The file is open and every read so far succeeded.
    bool Good() const;
    // Why the file could not be opened or read, with its name; empty while all is well.
    std::string Error() const;
    // The size when it was opened.
    uint64_t Size() const { return size_; }
    uint64_t Position() const { return lines_.Position(); }
    // The next line; false at the end and when a read fails (then Error() says why).
    bool Next(std::string_view& line) { return lines_.Next(line); }

  private:
    std::string path_;
    void* handle_;
    bool missing_ = false;
    uint32_t openError_ = 0, readError_ = 0;
    uint64_t size_ = 0;
    CatalogLineReader lines_;
};

// Appends the text, creating the folder and the file when missing; a refused open is tried
// once more after a second. A last line left without its end (a write cut short) is ended
// first, so the new lines do not run into it.
bool AppendToCatalog(const std::string& path, std::string_view text);

} // namespace job
