#include "WinTestSupport.h"
#include "core/FuncMin.h"

#include <gtest/gtest.h>

using testsupport::TempFolder;

namespace {
std::string BuiltProgram() {
    std::string path = TW_PROGRAM_FILE;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path[0] == '\\' ? "Z:" + path : path;
}
} // namespace

TEST(FuncMin, VersionInformationOfTheProgramFile) {
    core::SetVersionInfoLanguage(0x0409);
    core::SetVersionInfoCodePage(0x04E4);
    EXPECT_EQ(core::GetFileVersionString(BuiltProgram()), TW_VERSION_TEXT ".0");
    EXPECT_EQ(core::GetFileInternalName(BuiltProgram()), "Tarnwick");
    EXPECT_NE(core::GetFileLegalCopyright(BuiltProgram()), "");
    EXPECT_EQ(core::SetVersionInfoLanguage(-1), 0x0409) << "a negative id only reads";

    TempFolder folder;
    testsupport::WriteWholeFile(folder / "plain.exe", "MZ not really a program");
    EXPECT_EQ(core::GetFileVersionString(folder / "plain.exe"), "");
    EXPECT_EQ(core::GetFileInternalName(folder / "missing.exe"), "");
}

TEST(FuncMin, SizesOfMissingAndHugeFiles) {
    TempFolder folder;
    EXPECT_EQ(core::GetFileSizeByName(folder / "missing"), -1);
    const std::string huge = folder / "huge.bin";
    HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 5'368'709'120LL;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_EQ(core::GetFileSizeByName(huge), 5'368'709'120LL);
}

TEST(FuncMin, AttributesOfMissingFilesAreNeitherReportedNorWritten) {
    gui::MemoryFileAttributes attributes;
    attributes.files["C:\\a.txt"] = gui::AttributeArchive | gui::AttributeReadOnly;
    EXPECT_TRUE(core::FileHasAttributes("C:\\a.txt", gui::AttributeArchive, attributes));
    EXPECT_FALSE(
        core::FileHasAttributes("C:\\a.txt", gui::AttributeArchive | gui::AttributeHidden, attributes));
    EXPECT_FALSE(core::FileHasAttributes("C:\\missing.txt", gui::AttributeArchive, attributes));

    EXPECT_EQ(core::SetFileAttributesTri("C:\\a.txt", -1, 1, -1, -1, attributes), 0u);
    EXPECT_EQ(core::SetFileAttributesTri("C:\\a.txt", 0, 0, 1, -1, attributes), 0u);
    EXPECT_EQ(attributes.files["C:\\a.txt"], gui::AttributeSystem);
    EXPECT_NE(core::SetFileAttributesTri("C:\\missing.txt", 1, 1, 1, 1, attributes), 0u);
    EXPECT_EQ(attributes.files.count("C:\\missing.txt"), 0u);
}

TEST(FuncMin, DeleteByMaskReportsMatchesItCouldNotDelete) {
    TempFolder folder;
    for (const char* name : {"a.tmp", "b.tmp", "keep.txt"})
        testsupport::WriteWholeFile(folder / name, "x");
    EXPECT_TRUE(core::DeleteFilesByMask(folder / "*.tmp"));
    EXPECT_FALSE(testsupport::FileExists(folder / "a.tmp"));
    EXPECT_TRUE(testsupport::FileExists(folder / "keep.txt"));

    testsupport::WriteWholeFile(folder / "busy.tmp", "x");
    HANDLE holder =
        CreateFileA((folder / "busy.tmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(core::DeleteFilesByMask(folder / "*.tmp"));
    CloseHandle(holder);
    EXPECT_TRUE(core::DeleteFilesByMask(folder / "*.none"));
}

TEST(FuncMin, DriveTypesAndExistence) {
    EXPECT_EQ(core::DriveTypeText(""), "Root Directory does not exist");
    EXPECT_EQ(core::DriveTypeText("C:\\windows\\x.txt"), "Fixed");
    EXPECT_TRUE(core::DriveExists('c'));
    EXPECT_THROW(core::DriveExists('1'), core::EConvertError);
}

TEST(FuncMin, OemNamesFollowTheCodePageWithTheTwoFixedSubstitutes) {
    ASSERT_EQ(GetOEMCP(), 437u) << "tests pin the locale to en_US";
    EXPECT_EQ(core::AnsiToOemName("caf\xe9", false), "caf\x82");
    EXPECT_EQ(core::OemToAnsiName("caf\x82", false), "caf\xe9");
    EXPECT_EQ(core::AnsiToOemName("\xd8re\xf8", true), "\x9dre\x9b");
    EXPECT_EQ(core::OemToAnsiName("\x9dre\x9b", true), "\xd8re\xf8");
}
