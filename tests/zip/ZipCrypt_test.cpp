#include "DecodeSupport.h"
#include "ZipRecordSupport.h"
#include "gui/Stream.h"
#include "zip/Crc32.h"
#include "zip/EntryDecoder.h"
#include "zip/ZipCrypt.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

using codectest::Bytes;

// Checks the password and decodes the entry through the entry decoder; nothing when the
// check byte disagrees.
std::optional<Bytes> DecodeEncrypted(const codectest::TArchiveEntry& archived, std::string_view password) {
    static auto buffers = std::make_unique<zip::TDecodeBuffers>();
    zip::TZipHeaderInfo entry = archived.record;
    gui::TMemoryStream archiveStream, output;
    archiveStream.Write(archived.data.data(), archived.data.size());
    archiveStream.SetPosition(0);
    zip::TEntryDecodeEvents events;
    zip::TRunProgress progress{0, entry.UncompressedSize};
    zip::TEntryDecoder decoder(*buffers, events, progress);
    zip::TDecodeSource source{&entry, &archiveStream, 0, false, nullptr, true};
    zip::TZipCrypt crypt;
    if (decoder.ReadEncryptionHeader(source, crypt, password) !=
        zip::EncryptionCheckByte(entry.Crc32, entry.LastModFileDateTime, entry.HasDataDescriptor()))
        return std::nullopt;
    EXPECT_EQ(entry.CompressedSize, archived.record.CompressedSize - zip::kEncryptionHeaderSize);
    source.crypt = &crypt;
    zip::TDecodeTarget target;
    target.kind = zip::TOutputKind::Stream;
    target.stream = &output;
    EXPECT_TRUE(decoder.Decode(source, target).Good(entry)) << archived.Name();
    return Bytes(output.Memory(), output.Memory() + output.Size());
}

// The peers are Linux programs: native build only.
#ifndef _WIN32

TEST(ZipCrypt, ReadsEntriesEncryptedByZipAnd7z) {
    const testsupport::TTempFolder temp; // removed with its contents, also when an assertion ends the test
    const std::string dir = temp.Path();
    const Bytes text = codectest::TextBytes(70000, 21);
    const Bytes small = {'h', 'i'};
    codectest::WriteFile(dir + "/text.txt", text);
    codectest::WriteFile(dir + "/small.txt", small);
    ASSERT_EQ(codectest::Run("cd " + dir + " && zip -P Secret-1 zip.zip text.txt small.txt"), 0);
    ASSERT_EQ(codectest::Run("cd " + dir + " && zip -0 -P Secret-1 stored.zip text.txt"), 0);
    // Written to a pipe, zip cannot seek back: sizes follow the data and the check byte is the time's.
    ASSERT_EQ(codectest::Run("cd " + dir + " && zip -P Secret-1 - text.txt > piped.zip"), 0);
    ASSERT_EQ(
        codectest::Run("cd " + dir + " && 7z a -tzip -mem=ZipCrypto -pSecret-1 7z.zip text.txt small.txt"),
        0);
    int pipedEntries = 0;
    for (const char* name : {"zip.zip", "stored.zip", "piped.zip", "7z.zip"}) {
        const Bytes archive = codectest::ReadFile(dir + "/" + name);
        for (const auto& entry : codectest::ReadArchive(archive)) {
            ASSERT_TRUE(entry.record.IsEncrypted()) << name;
            pipedEntries += entry.record.HasDataDescriptor() ? 1 : 0;
            const auto plain = DecodeEncrypted(entry, "Secret-1");
            ASSERT_TRUE(plain.has_value()) << name << " " << entry.Name();
            EXPECT_EQ(*plain, entry.Name() == "text.txt" ? text : small) << name;
        }
    }
    EXPECT_GE(pipedEntries, 1) << "the piped archive should carry a data descriptor";
}

#endif // _WIN32

TEST(ZipCrypt, ReadsTheLegacyEncryptedSample) {
    TW_LEGACY_FOLDER_OR_SKIP(folder);
    const Bytes archive = codectest::ReadFile(folder + "/zipcrypto.zip");
    const auto entries = codectest::ReadArchive(archive);
    ASSERT_FALSE(entries.empty());
    for (const auto& entry : entries) {
        if (entry.record.IsEncrypted()) {
            EXPECT_TRUE(DecodeEncrypted(entry, "test").has_value()) << entry.Name();
        }
    }
}

bool FixedBytes(uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>(0xA0 + i);
    return true;
}
bool NoBytes(uint8_t*, size_t) {
    return false;
}

TEST(ZipCrypt, HeadersAreRandomAndCarryTheCrcHighBytes) {
    const uint32_t crc = 0x89ABCDEFu;
    uint8_t first[12], second[12];
    zip::TZipCrypt crypt;
    ASSERT_TRUE(zip::MakeEncryptionHeader(crypt, "pw", crc, first));
    ASSERT_TRUE(zip::MakeEncryptionHeader(crypt, "pw", crc, second));
    EXPECT_NE(Bytes(first, first + 10), Bytes(second, second + 10));
    for (uint8_t* header : {first, second}) {
        zip::TZipCrypt reader;
        EXPECT_EQ(reader.DecryptHeader("pw", header), 0x89);
        EXPECT_EQ(header[10], 0xAB);
    }
    // A pinned source gives a pinned header; a failing one leaves the header alone.
    uint8_t pinned1[12], pinned2[12];
    zip::MakeEncryptionHeader(crypt, "pw", crc, pinned1, FixedBytes);
    zip::MakeEncryptionHeader(crypt, "pw", crc, pinned2, FixedBytes);
    EXPECT_EQ(Bytes(pinned1, pinned1 + 12), Bytes(pinned2, pinned2 + 12));
    uint8_t untouched[12] = {};
    EXPECT_FALSE(zip::MakeEncryptionHeader(crypt, "pw", crc, untouched, NoBytes));
    EXPECT_EQ(Bytes(untouched, untouched + 12), Bytes(12, 0));
}

} // namespace
