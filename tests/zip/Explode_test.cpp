#include "DecodeSupport.h"
#include "zip/Crc32.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using codectest::Bytes;

// Every entry of the legacy archives with methods 2-6 decodes to its stored size and CRC,
// and to the same bytes as the stored copy of the file where there is one.
void ExpectLegacyArchiveDecodes(const std::string& folder, const std::string& name, uint16_t method) {
    const Bytes stored = codectest::ReadFile(folder + "/Zip.none.zip");
    std::map<std::string, Bytes> plain;
    for (const auto& e : codectest::ListZip(stored)) {
        const auto data = codectest::EntryData(stored, e);
        std::string base = e.name.substr(e.name.find_last_of('/') + 1);
        plain[base] = Bytes(data.begin(), data.end());
    }
    const Bytes archive = codectest::ReadFile(folder + "/" + name);
    int decoded = 0;
    for (const auto& e : codectest::ListZip(archive)) {
        if (e.method != method) continue;
        const auto run =
            codectest::DecodeMethod(e.method, e.flags, e.uncompressedSize, codectest::EntryData(archive, e));
        ASSERT_EQ(run.status, zip::TDecodeStatus::Ok) << name << " " << e.name;
        ASSERT_EQ(run.output.size(), e.uncompressedSize) << name << " " << e.name;
        EXPECT_EQ(zip::Crc32Of(run.output.data(), run.output.size()), e.crc32) << name << " " << e.name;
        const auto copy = plain.find(e.name.substr(e.name.find_last_of('/') + 1));
        if (copy != plain.end()) {
            EXPECT_EQ(run.output, copy->second) << name << " " << e.name;
        }
        ++decoded;
    }
    EXPECT_GT(decoded, 0) << name;
}

TEST(Explode, LegacyImplodedEntriesEqualTheirStoredCopies) {
    TW_LEGACY_FOLDER_OR_SKIP(folder);
    for (const char* name : {"Zip.implode.zip", "HWIMPODE.ZIP", "example-i.zip"})
        ExpectLegacyArchiveDecodes(folder, name, 6);
}

TEST(Unreduce, LegacyReducedEntriesEqualTheirStoredCopies) {
    TW_LEGACY_FOLDER_OR_SKIP(folder);
    const std::pair<const char*, uint16_t> archives[] = {{"Zip.reduce1.zip", 2},
                                                         {"Zip.reduce2.zip", 3},
                                                         {"Zip.reduce3.zip", 4},
                                                         {"Zip.reduce4.zip", 5},
                                                         {"HWREDUCE.ZIP", 5}};
    for (const auto& [name, method] : archives)
        ExpectLegacyArchiveDecodes(folder, name, method);
    // example-r.zip: whichever factor it was made with.
    const Bytes archive = codectest::ReadFile(folder + "/example-r.zip");
    ASSERT_FALSE(codectest::ListZip(archive).empty());
    ExpectLegacyArchiveDecodes(folder, "example-r.zip", codectest::ListZip(archive)[0].method);
}

} // namespace
