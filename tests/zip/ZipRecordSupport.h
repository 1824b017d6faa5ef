#pragma once
// Helpers of the zip record tests: temporary folders, running the peer tools, and byte
// building of records by hand (so the reader is checked against layouts it did not write).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ziprec {

// A fresh folder under the system temp folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(std::string_view name) const { return (path_ / std::string(name)).string(); }

  private:
    std::filesystem::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

// Runs a shell command on the host; false from PeersAvailable when there is no host shell
// (the Windows build under Wine), and the peer tests skip.
bool PeersAvailable();
CommandResult RunCommand(const std::string& command);
std::string Quote(const std::string& text);

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);

// Little-endian appends.
void Add16(std::string& out, uint16_t value);
void Add32(std::string& out, uint32_t value);

// cp1252 <-> cp437 for the letters the tests use; other bytes above 127 become "_".
std::string Cp1252ToCp437(std::string_view name);
std::string Cp437ToCp1252(std::string_view name);

} // namespace ziprec
