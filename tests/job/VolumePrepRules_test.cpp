// Volume names, the name test against a destination and a catalogue, and the space rules at
// their edges.

#include "job/DriveSpace.h"
#include "job/VolumePrepRules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace job;

TEST(VolumePrepRules, ZipNamesCountDateAndKeepAFixedNameOnlyWithTheOverwriteOption) {
    ZipNameOptions options;
    options.ZipDate = "20261207";
    int counter = 0;
    EXPECT_EQ(MakeZipName(options, counter, false), "20261207001C.zip");
    options.ChangedOnly = options.ClearArchiveBit = true;
    EXPECT_EQ(MakeZipName(options, counter, false), "20261207002A.zip");

    options.ZipName = "-#Weekly";
    EXPECT_EQ(MakeZipName(options, counter, false), "Weekly003.zip") << "no overwrite: counted";
    options.OverwriteExistingZipFile1 = true;
    EXPECT_EQ(MakeZipName(options, counter, false), "Weekly.zip");
    EXPECT_EQ(MakeZipName(options, counter, false), "Weekly.zip");
    EXPECT_EQ(MakeZipName(options, counter, true), "Weekly004.zip") << "the next name after a clash";

    options.ZipName = "Set_%date%_%DaTe%-";
    counter = 999;
    EXPECT_EQ(MakeZipName(options, counter, false), "Set_20261207_20261207-999.zip");
    EXPECT_EQ(MakeZipName(options, counter, false), "Set_20261207_20261207-1000.zip");
}

TEST(VolumePrepRules, NameTestSkipsFilesOldSplitPartsAndCatalogueNamesOrDeletesThemWhenAllowed) {
    ZipNameOptions options;
    options.ZipName = "Set";
    // Set005's stale part is of a set a killed run never finished.
    std::set<std::string> files = {"Set001.zip", "Set002.077", "Set004.zip", "Set005.z03"}, deleted;
    const std::set<std::string> catalogue = {"Set003.zip"};
    VolumeNameProbe probe;
    probe.Exists = [&](const std::string& name) { return files.count(name) > 0; };
    probe.InCatalog = [&](const std::string& name) { return catalogue.count(name) > 0; };
    int counter = 1;
    std::string name = MakeZipName(options, counter, false);
    EXPECT_EQ(FreeVolumeName(name, options, counter, probe), "Set006.zip");
    EXPECT_EQ(counter, 7);
    EXPECT_EQ(SplitPartName("C:\\Temp\\Set006.zip", 100), "C:\\Temp\\Set006.z100");

    // Overwriting: what clashes is deleted and the first name kept, a catalogue name too; a
    // file that will not go is passed over.
    files.insert("Set001.099");
    probe.Delete = [&](const std::string& name) {
        deleted.insert(name);
        return name != "Set001.zip" || files.erase(name) > 0;
    };
    counter = 1;
    name = MakeZipName(options, counter, false);
    EXPECT_EQ(FreeVolumeName(name, options, counter, probe), "Set001.zip");
    EXPECT_EQ(deleted, (std::set<std::string>{"Set001.zip", "Set001.099"}));
    probe.Delete = [&](const std::string& name) { return name == "Set003.zip"; };
    EXPECT_EQ(FreeVolumeName("Set002.zip", options, counter, probe), "Set003.zip");

    probe.Exists = [](const std::string&) { return true; };
    probe.Delete = nullptr;
    EXPECT_FALSE(FreeVolumeName("Set001.zip", options, counter, probe).empty()) << "ends";
    EXPECT_EQ(VolumeWorkFiles("C:\\Temp\\", "Set.1.zip")[3], "C:\\Temp\\Set.1.~mz");
}

TEST(VolumePrepRules, SpaceRulesAtTheirEdges) {
    SpaceFigures figures{100'000'000, 10'000'000, 5'000'000, 50};
    EXPECT_FALSE(DestinationShort(NetworkFreeBytes, figures)) << "a network path never asks for room";
    EXPECT_FALSE(DestinationShort(50'000'000, figures)) << "room for the whole job";
    EXPECT_TRUE(DestinationShort(49'999'999, figures));
    figures.TotalMB = 0;
    EXPECT_TRUE(DestinationShort(MinimumDestFreeSpace - 1, figures));

    figures.TotalMB = 500;
    const int64_t volumeRoom = 100'000'000 - 10'000'000 + 5'000'000 + 30'000'000;
    EXPECT_TRUE(TempDriveShort(true, "D:\\Temp\\", volumeRoom, figures));
    EXPECT_FALSE(TempDriveShort(true, "D:\\Temp\\", volumeRoom + 1, figures));
    EXPECT_FALSE(TempDriveShort(true, "\\\\server\\temp\\", 0, figures));
    EXPECT_FALSE(TempDriveShort(false, "D:\\Temp\\", 0, figures));

    EXPECT_EQ(DiscSpaceReserve(700'000'000, 650'000'000, 0), 52'097'152);
    EXPECT_EQ(DiscSpaceReserve(700'000'000, 2'000'000, 7), 7) << "a full disc keeps the reserve";
    EXPECT_EQ(MediumSpaceReserve(100'000'000, 60'000'000, 59'000'000, "Removable", true, true, 0),
              41'000'000);
    EXPECT_EQ(MediumSpaceReserve(100'000'000, 60'000'000, 59'000'000, "Fixed", true, true, 0), 0);
    EXPECT_EQ(MediumSpaceReserve(100'000'000, 200'000'000, 0, "CDROM", true, true, 0), 2'097'152);
    EXPECT_EQ(MediumSpaceReserve(100'000'000, 60'000'000, 150'000'000, "CDROM", false, false, 0), 0);
    EXPECT_EQ(MediumSpaceReserve(100'000'000, 60'000'000, 0, "CDROM", true, false, 42'000'000), 42'000'000)
        << "a disc in a writer (no file-system bytes) keeps its own reserve";

    EXPECT_TRUE(BuildInTempFolder(true, false, "Removable", true));
    EXPECT_FALSE(BuildInTempFolder(true, false, "Fixed", true));
    EXPECT_FALSE(BuildInTempFolder(true, false, "Remote", false)) << "a network path counts as fixed";
    EXPECT_TRUE(BuildInTempFolder(true, true, "Remote", false));
    EXPECT_FALSE(BuildInTempFolder(false, true, "CDROM", true));
}
