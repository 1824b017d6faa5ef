#pragma once
// Helpers of the image tests: scratch folders, files, peers run as commands, block readers over
// image files and memory, and a structural checker of the images we write.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "disc/IsoImport.h"

namespace disc::test {

using TempFolder = testsupport::TTempFolder;

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// Deterministic contents of a given size, different per seed.
std::string Pattern(size_t size, unsigned seed);

// Runs a shell command; returns its standard output and sets exitCode.
std::string RunCommand(const std::string& command, int* exitCode = nullptr);

// Blocks of an image file; reads past its end fail. Counts the blocks read.
class FileBlockReader : public IsoBlockReader {
  public:
    explicit FileBlockReader(std::string path) : path_(std::move(path)) {}
    bool ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override;
    uint32_t BlocksRead = 0;
    std::vector<uint32_t> Counts; // one per call

  private:
    std::string path_;
};

// Blocks held in memory from block `first` on; blocks listed in Bad fail to read.
class MemoryBlockReader : public IsoBlockReader {
  public:
    MemoryBlockReader(std::string data, uint32_t first) : data_(std::move(data)), first_(first) {}
    bool ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override;
    std::vector<uint32_t> Bad;

  private:
    std::string data_;
    uint32_t first_;
};

// Checks what independent readers take on trust: both-endian pairs agree, records stay in their
// block and are sorted, the path tables (L and M) match the directory tree, and each file's
// extent lies inside the volume. Returns the problems found (empty when sound) and fills
// files with every path of the tree chosen (Joliet when present) and its size.
std::vector<std::string> CheckImage(const std::string& imagePath, uint32_t sessionStart,
                                    std::map<std::string, uint32_t>* files = nullptr);

} // namespace disc::test
