// Drive numbers, free space of real and missing drives, and the repair of a file date that
// no DOS date can hold.

#include "job/DriveSpace.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace job;

TEST(DriveSpace, DriveNumbersAndFreeBytesOfRealNetworkAndMissingDrives) {
    EXPECT_EQ(DriveOfPath("c:\\Backup"), 3);
    EXPECT_EQ(DriveOfPath("Z:"), 26);
    EXPECT_EQ(DriveOfPath("\\\\server\\share"), -1);
    EXPECT_EQ(DriveOfPath("1:\\"), -1);
    EXPECT_EQ(DriveOfPath(""), -2);
    EXPECT_EQ(DriveOfPath("x"), 0);

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const int drive = DriveOfPath(temp);
    EXPECT_GT(DriveFreeBytes(drive), 0);
    EXPECT_GE(DriveSizeBytes(drive), DriveFreeBytes(drive));
    EXPECT_EQ(DriveFreeBytes(-1), NetworkFreeBytes);
    EXPECT_EQ(DriveFreeBytes(-2), 0);
    // A letter with nothing behind it is not ready.
    for (char letter = 'Y'; letter >= 'M'; --letter) {
        const char root[] = {letter, ':', '\\', 0};
        if (GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR) continue;
        EXPECT_EQ(DriveFreeBytes(letter - 64), 0);
        EXPECT_EQ(DriveSizeBytes(letter - 64), 0);
        break;
    }
}

TEST(DriveSpace, FileDateBefore1980IsRepairedAndAGoodDateIsLeftAlone) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "tw_filedate.txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SYSTEMTIME old{1975, 6, 0, 1, 12, 0, 0, 0};
    FILETIME oldTime;
    SystemTimeToFileTime(&old, &oldTime);
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &oldTime));
    CloseHandle(file);

    std::string message;
    EXPECT_TRUE(CheckFileDate(path, message));
    EXPECT_EQ(message, "Bad datetime fixed for: ");
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    SYSTEMTIME now;
    FileTimeToSystemTime(&data.ftLastWriteTime, &now);
    EXPECT_GE(now.wYear, 2020) << "moved to the present";

    message.clear();
    EXPECT_TRUE(CheckFileDate(path, message));
    EXPECT_EQ(message, "") << "a date that converts needs nothing";
    DeleteFileA(path.c_str());
    EXPECT_FALSE(CheckFileDate(path, message)) << "a file that is gone";
}

TEST(DriveSpace, DestinationWriteTestLeavesNothingAndFailsWithoutADrive) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    DestinationState folder;
    folder.DestPath = std::string(temp) + "tw_dest";
    CreateDirectoryA(folder.DestPath.c_str(), nullptr);
    folder.DiscWriterMode = true;
    folder.EraseFirst = true;
    EXPECT_TRUE(CheckDestination(folder, true, false, nullptr));
    EXPECT_GT(folder.DestFreeSpace, 0);
    EXPECT_FALSE(folder.DiscWriterMode);
    EXPECT_FALSE(folder.EraseFirst);
    EXPECT_EQ(GetFileAttributesA((folder.DestPath + "\\io.tst").c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryA(folder.DestPath.c_str());

    DestinationState missing;
    missing.DestPath = folder.DestPath + "\\not\\there";
    EXPECT_FALSE(CheckDestination(missing, true, false, nullptr)) << "free bytes, but no file can be made";
    EXPECT_EQ(missing.DestFreeSpace, 0);
    for (char letter = 'Y'; letter >= 'M'; --letter) {
        const char root[] = {letter, ':', '\\', 0};
        if (GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR) continue;
        DestinationState none;
        none.DestPath = std::string(1, letter) + ":";
        EXPECT_FALSE(CheckDestination(none, true, false, nullptr));
        EXPECT_EQ(none.DestDrive, letter - 64);
        break;
    }
}
