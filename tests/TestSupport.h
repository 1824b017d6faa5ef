#pragma once
// What the tests of both builds share: a scratch folder of their own, whole files, and the peer
// tools run as shell commands of the host (the native build; under Wine there is no host shell).

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace testsupport {

// A fresh folder under the system temp folder, removed with everything in it at the end, also
// what a test made read-only. Throws when none can be made: a test never works in a folder that
// is not its own.
class TTempFolder {
  public:
    TTempFolder() {
        namespace fs = std::filesystem;
        static std::mt19937_64 random{std::random_device{}()};
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate = fs::temp_directory_path() / ("tw-test-" + std::to_string(random()));
            if (fs::create_directory(candidate)) path_ = candidate.string();
        }
        if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
    }
    ~TTempFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
        for (auto& item : fs::recursive_directory_iterator(path_, error))
            fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path_, error);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Whole files; the folders on the way are made. A write that fails throws.
inline void WriteFile(const std::string& path, std::string_view bytes) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TCommandResult {
    int exitCode = -1;
    std::string output; // standard output; add 2>&1 to the command for its errors too
};

// Runs a shell command of the host; exit code -1 in the Windows build.
inline TCommandResult RunCommand(const std::string& command) {
    TCommandResult result;
#ifndef _WIN32
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    (void)command;
#endif
    return result;
}

// The same, for callers that keep the exit code beside the output.
inline std::string RunCommand(const std::string& command, int& exitCode) {
    TCommandResult result = RunCommand(command);
    exitCode = result.exitCode;
    return std::move(result.output);
}

// The peer tools are there in the native build only.
#ifdef _WIN32
constexpr bool kPeers = false;
#else
constexpr bool kPeers = true;
#endif

} // namespace testsupport
