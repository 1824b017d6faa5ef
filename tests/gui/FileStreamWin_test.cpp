#include "gui/FileStream.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace gui;

namespace {

// A fresh folder under the temp path, removed with its files at the end.
class FileStreamTest : public testing::Test {
  protected:
    void SetUp() override {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        folder_ = std::string(base) + "twfs" + std::to_string(GetCurrentProcessId()) + "_" +
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const auto& name : made_)
            DeleteFileA(name.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string Path(const std::string& name) {
        made_.push_back(folder_ + "\\" + name);
        return made_.back();
    }
    std::string folder_;
    std::vector<std::string> made_;
};

} // namespace

TEST_F(FileStreamTest, SeeksAndSizesPastFourGigabytes) {
    const std::string name = Path("big.bin");
    const int64_t farEnd = (int64_t{5} << 30) + 123;
    {
        TFileStream stream(name, fmCreate);
        stream.SetSize(farEnd); // sparse on the host file system
        EXPECT_EQ(stream.Size(), farEnd);
        EXPECT_EQ(stream.Seek(-3, TSeekOrigin::soEnd), farEnd - 3);
        stream.WriteBuffer("xyz", 3);
        EXPECT_EQ(stream.Position(), farEnd);
    }
    TFileStream reread(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(reread.Size(), farEnd);
    reread.SetPosition(farEnd - 4);
    char tail[5] = {};
    EXPECT_EQ(reread.Read(tail, 10), 4u);
    EXPECT_EQ(std::string(tail, 4), std::string("\0xyz", 4));
    reread.SetPosition(0);
    EXPECT_THROW(reread.WriteBuffer("a", 1), EWriteError); // opened for reading only
}

TEST_F(FileStreamTest, ShareModesDecideWhoElseMayOpen) {
    const std::string name = Path("shared.txt");
    { TFileStream(name, fmCreate).WriteBuffer("data", 4); }
    {
        TFileStream reader(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_NO_THROW(TFileStream(name, fmOpenRead | fmShareDenyNone));
        EXPECT_THROW(TFileStream(name, fmOpenWrite | fmShareDenyNone), EFOpenError);
    }
    {
        TFileStream writer(name, fmOpenReadWrite | fmShareDenyNone);
        TFileStream other(name, fmOpenReadWrite | fmShareDenyNone);
        other.Seek(0, TSeekOrigin::soEnd);
        other.WriteBuffer("!", 1);
        EXPECT_EQ(writer.Size(), 5);
        EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareExclusive), EFOpenError);
    }
}

TEST_F(FileStreamTest, ErrorsNameTheFileAndKeepTheSystemCode) {
    const std::string missing = folder_ + "\\no such.bin";
    try {
        TFileStream stream(missing, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& error) {
        EXPECT_NE(std::string(error.what()).find("\"" + missing + "\""), std::string::npos) << error.what();
        EXPECT_EQ(error.SystemError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_THROW(TFileStream(folder_ + "\\no folder\\x.bin", fmCreate), EFCreateError);

    const std::string name = Path("short.bin");
    { TFileStream(name, fmCreate).WriteBuffer("12345", 5); }
    TFileStream stream(name, fmOpenRead);
    char buffer[8];
    EXPECT_THROW(stream.ReadBuffer(buffer, 8), EReadError);
}
