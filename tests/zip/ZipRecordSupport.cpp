#include "ZipRecordSupport.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace ziprec {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("zipfound-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

bool PeersAvailable() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
#ifndef _WIN32
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    (void)command;
#endif
    return result;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Add16(std::string& out, uint16_t value) {
    out += char(value & 0xFF);
    out += char(value >> 8);
}

void Add32(std::string& out, uint32_t value) {
    Add16(out, uint16_t(value));
    Add16(out, uint16_t(value >> 16));
}

namespace {
// (cp1252, cp437) pairs of the accented letters the tests use.
const unsigned char Pairs[][2] = {{0xE9, 0x82}, {0xC9, 0x90}, {0xFC, 0x81}, {0xDC, 0x9A},
                                  {0xE4, 0x84}, {0xC4, 0x8E}, {0xF1, 0xA4}, {0xE7, 0x87}};

std::string Map(std::string_view name, int from, int to) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 128) {
            out += char(c);
            continue;
        }
        char mapped = '_';
        for (const auto& pair : Pairs)
            if (pair[from] == c) mapped = char(pair[to]);
        out += mapped;
    }
    return out;
}
} // namespace

std::string Cp1252ToCp437(std::string_view name) {
    return Map(name, 0, 1);
}
std::string Cp437ToCp1252(std::string_view name) {
    return Map(name, 1, 0);
}

} // namespace ziprec
