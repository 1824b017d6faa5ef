#include "DecodeSupport.h"
#include "SharedTestData.h"
#include "TestSupport.h"

#include "gui/Stream.h"
#include "zip/Explode.h"
#include "zip/Inflate.h"
#include "zip/Unreduce.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

namespace codectest {

std::span<const uint8_t> TMemoryDecodeIo::FillInput() {
    const size_t n = std::min(pieceSize_, input_.size() - position_);
    const auto piece = input_.subspan(position_, n);
    position_ += n;
    return piece;
}

void TMemoryDecodeIo::FlushOutput(const uint8_t* data, size_t count) {
    output.insert(output.end(), data, data + count);
    flushSizes.push_back(count);
}

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

Bytes TextBytes(size_t size, uint32_t seed) {
    static const char* const words[] = {"backup ", "volume ", "archive ", "the ", "of ",    "disc ",
                                        "entry ",  "and ",    "file\r\n", "zip ", "write ", "session "};
    std::mt19937 random(seed);
    Bytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const uint32_t pick = random() % 16;
        if (pick < 12) {
            for (const char* w = words[pick]; *w && bytes.size() < size; ++w)
                bytes.push_back(static_cast<uint8_t>(*w));
        } else if (pick < 15 && bytes.size() > 40000) {
            // Repeat a run from up to 40 KiB back: some inside the window, some beyond it.
            const size_t distance = 1 + random() % 40000;
            const size_t length = 3 + random() % 300;
            for (size_t i = 0; i < length && bytes.size() < size; ++i)
                bytes.push_back(bytes[bytes.size() - distance]);
        } else {
            bytes.push_back(static_cast<uint8_t>(random()));
        }
    }
    return bytes;
}

Bytes ZlibRawDeflate(std::span<const uint8_t> data, int level, int strategy) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int code = deflate(&z, Z_FINISH);
    EXPECT_EQ(code, Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TZlibResult ZlibRawInflate(std::span<const uint8_t> data) {
    z_stream z{};
    inflateInit2(&z, -15);
    TZlibResult result{Z_OK, {}};
    uint8_t buffer[65536];
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    for (;;) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        const int code = inflate(&z, Z_NO_FLUSH);
        result.output.insert(result.output.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        if (code == Z_STREAM_END || code == Z_DATA_ERROR || code == Z_MEM_ERROR) {
            result.code = code;
            break;
        }
        if (code == Z_BUF_ERROR || (z.avail_in == 0 && z.avail_out != 0)) {
            result.code = Z_BUF_ERROR;
            break;
        }
    }
    result.unused = z.avail_in;
    inflateEnd(&z);
    return result;
}

int Run(const std::string& command) {
    return testsupport::RunCommand("(" + command + ") >/dev/null 2>&1").exitCode;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::span<const uint8_t> data) {
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<TArchiveEntry> ReadArchive(const Bytes& archive) {
    gui::TMemoryStream stream;
    stream.Write(archive.data(), archive.size());
    zip::TEndCentral end;
    EXPECT_TRUE(end.FindEndCentral(stream));
    stream.SetPosition(end.CentralOffset);
    std::vector<TArchiveEntry> entries(end.TotalEntries);
    gui::TStream* central = &stream;
    for (auto& entry : entries)
        EXPECT_TRUE(entry.record.ReadCentral(central));
    for (auto& entry : entries) {
        zip::TZipHeaderInfo local;
        stream.SetPosition(entry.record.RelativeOffset);
        EXPECT_TRUE(local.ReadLocal(stream));
        stream.Seek(local.LocalExtraLength, gui::TSeekOrigin::soCurrent);
        entry.data.resize(entry.record.CompressedSize);
        if (!entry.data.empty()) {
            EXPECT_EQ(stream.Read(entry.data.data(), entry.data.size()), entry.data.size());
        }
    }
    return entries;
}

TDecoded DecodeMethod(uint16_t method, uint16_t flags, uint32_t uncompressedSize,
                      std::span<const uint8_t> data, size_t pieceSize) {
    static auto slide = std::make_unique<uint8_t[]>(zip::kSlideSize);
    static auto inflateTables = std::make_unique<zip::TInflateTables>();
    static auto explodeTables = std::make_unique<zip::TExplodeTables>();
    static auto unreduceTables = std::make_unique<zip::TUnreduceTables>();
    TMemoryDecodeIo io(data, pieceSize);
    uint64_t produced = 0;
    zip::TDecodeStatus status = zip::TDecodeStatus::BadData;
    if (method == 0) return {zip::TDecodeStatus::Ok, Bytes(data.begin(), data.end())};
    if (method >= 2 && method <= 5)
        status = zip::Unreduce(io, slide.get(), *unreduceTables, method - 1u, uncompressedSize, produced);
    else if (method == 6)
        status = zip::Explode(io, slide.get(), *explodeTables, flags, uncompressedSize, produced);
    else if (method == 8)
        status = zip::Inflate(io, slide.get(), *inflateTables, produced);
    EXPECT_EQ(produced, io.output.size());
    return {status, std::move(io.output)};
}

std::string SourcePath(const std::string& relative) {
    std::string path = TW_SOURCE_DIR "/" + relative;
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path; // Wine maps the Unix root to Z:
#endif
    return path;
}

std::optional<std::string> LegacyFolder() {
    const std::string folder = testsupport::SharedTestDataFolder() + "/zip-legacy";
    if (std::filesystem::exists(folder + "/Zip.none.zip")) return folder;
    if (testsupport::SharedTestDataRequired()) {
        ADD_FAILURE() << "legacy zip samples missing at " << folder << " (REQUIRE_SHARED_TESTDATA=1)";
        return std::nullopt;
    }
    GTEST_MESSAGE_("legacy zip samples not found beside the clone; skipped",
                   ::testing::TestPartResult::kSkip);
    return std::nullopt;
}

} // namespace codectest
