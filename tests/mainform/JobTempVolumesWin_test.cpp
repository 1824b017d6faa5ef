// Whole jobs hosted in-process whose volumes are built in the temporary folder: copied to a CD
// drive letter used as a drive (what lands there, and what stays behind), and the switch to
// the temporary folder after a medium reported a wrong file size; and a split set whose last
// part cannot take the volume's name.
#include "HostedJob.h"
#include "WineDriveWinSupport.h"
#include "job/JobRunner.h"
#include "zip/Crc32.h"
#include "zip/WriteSink.h"

#include <gtest/gtest.h>

using namespace hostedjob;

namespace {

const char anotherVolume[] = "another medium's volume";

// Another medium's volume of the first volume's name turns up in the folder, there by the time
// of the copy: once the log holds the line once.
void PlaceAnotherVolume(HostedProgram& hosted, const std::string& dest, const std::string& line,
                        bool& placed) {
    hosted.onTick = [&hosted, dest, line, &placed] {
        if (placed || Count(hosted.ProgramLog(), line) != 1) return;
        placed = true;
        WriteWholeFile(dest + "Set001.zip", anotherVolume);
    };
}

} // namespace

// A split volume (a 9 MB file in 4 MiB parts, verified), while a file of its name appeared on
// the drive after the volume was named: the whole set lands under the next name, tested where
// it landed and catalogued under that name, the other file is untouched, and no part stays in
// the temporary folder. The set is left under build/peer-volumes/runner-split-copied for 7-Zip.
TEST(JobCopy, ASplitVolumeBuiltInTheTemporaryFolderLandsWholeBesideAFileOfItsNameAndNothingStays) {
    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(46);
    WriteRandom(source / "huge.bin", 9'000'000, random);
    WriteRandom(source / "small.bin", 100'000, random);
    wintest::TWineDrive cd(DRIVE_CDROM);
    ASSERT_TRUE(cd.Defined());
    job::JobDefinition daily;
    daily.Destination = cd.Root() + "dest";
    daily.ZipName = "Set";
    daily.ZipSizeText = "4";
    daily.CompressionLevel = 0;
    daily.Splitlargefiles = true;
    daily.Testarchiveafterbackup1 = true;
    daily.CBCatalog = true;
    daily.CatalogNames = "Daily";
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    ui::TMF& form = *hosted.form;
    form.Creation().useTempFile = true;
    const std::string dest = cd.Folder() + "dest\\";
    // Once the set is made: its parts and then the volume itself are logged as made.
    bool placed = false;
    PlaceAnotherVolume(hosted, dest, ".zip / ", placed);
    hosted.RunJob();

    ASSERT_TRUE(placed);
    ASSERT_FALSE(form.Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(ReadWholeFile(dest + "Set001.zip"), anotherVolume);
    EXPECT_EQ(ZipsIn(dest),
              (std::vector<std::string>{"Set001.zip", "Set002.z01", "Set002.z02", "Set002.zip"}));
    EXPECT_TRUE(ZipIsSound(dest + "Set002.zip"));
    EXPECT_EQ(Count(log, "No errors found in: " + form.Session.Run.DestPath + "\\Set002.*"), 1u)
        << "tested where it landed: " << log;
    EXPECT_EQ(Count(log, "Errors found in:"), 0u) << log;
    const std::string temp = form.Session.Run.TempPath;
    for (const std::string& name : ZipsIn(temp))
        EXPECT_FALSE(name.starts_with("Set")) << "left in the temporary folder: " << name;
    EXPECT_TRUE(WorkFilesUnder(temp).empty());
    EXPECT_TRUE(WorkFilesUnder(cd.Folder()).empty());

    // The catalogue names the set where it landed.
    std::string catalogue;
    for (const auto& file : std::filesystem::recursive_directory_iterator(hosted.programFolder.Path()))
        if (file.path().extension() == ".cat") catalogue += ReadWholeFile(file.path().string());
    EXPECT_NE(catalogue.find("\"Set002.zip\""), std::string::npos) << catalogue;
    EXPECT_EQ(catalogue.find("Set001.zip"), std::string::npos) << catalogue;

    const std::filesystem::path peers = PeerFolder("runner-split-copied");
    for (const char* file : {"Set002.z01", "Set002.z02", "Set002.zip"})
        std::filesystem::copy_file(dest + file, peers / file);
}

// A first volume that lands under the next name (a file of its name turned up on the drive):
// the catalogue list, zipped into the last volume, names it where it landed.
TEST(JobCopy, TheCatalogueListNamesAVolumeWhereItLanded) {
    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(47);
    for (int i = 0; i < 3; ++i)
        WriteRandom(source / ("clip" + std::to_string(i) + ".bin"), 1'500'000, random);
    wintest::TWineDrive cd(DRIVE_CDROM);
    ASSERT_TRUE(cd.Defined());
    job::JobDefinition daily;
    daily.Destination = cd.Root() + "dest";
    daily.ZipName = "Set";
    daily.ZipSizeText = "4";
    daily.CompressionLevel = 0;
    daily.MakeCatalog = true;
    daily.IncludeList = {source.Path() + "*.*", "%CATALOG%"};
    hosted.WriteJob(daily);
    ui::TMF& form = *hosted.form;
    form.Creation().useTempFile = true;
    const std::string dest = cd.Folder() + "dest\\";
    bool placed = false;
    PlaceAnotherVolume(hosted, dest, "File created: ", placed);
    hosted.RunJob();

    ASSERT_TRUE(placed);
    ASSERT_FALSE(form.Session.Running());
    EXPECT_EQ(Count(hosted.ProgramLog(), "Backup end: Daily.dat\r\n"), 1u) << hosted.ProgramLog();
    const std::vector<std::string> zips = ZipsIn(dest);
    ASSERT_GE(zips.size(), 3u);
    EXPECT_EQ(ReadWholeFile(dest + "Set001.zip"), anotherVolume);
    const std::string csvFile = form.Session.Run.CsvFileName;
    const std::string csv = ReadWholeFile(csvFile);
    EXPECT_EQ(Count(csv, "Set001.zip,"), 0u) << csv;
    EXPECT_GE(Count(csv, "Set002.zip,"), 1u) << csv;
    // The list in the last volume is that one.
    zip::TWinExtractFileSystem files;
    zip::TUnZipper last(files);
    last.SetZipName(dest + zips.back());
    const std::string csvName = csvFile.substr(csvFile.find_last_of('\\') + 1);
    int found = 0;
    for (int i = 0; i < last.Count(); ++i)
        if (last.FullName(i).ends_with(csvName)) {
            ++found;
            EXPECT_EQ(last.Crc32(i), zip::Crc32Of(csv.data(), csv.size()));
        }
    EXPECT_EQ(found, 1);
}

namespace {

// An archive file on a medium that, once written to, reports its position 2 MiB short, as
// some packet-writing drivers do.
class MisreportingFile final : public ForwardingFile {
  public:
    using ForwardingFile::ForwardingFile;
    int64_t Position() override {
        const int64_t position = ForwardingFile::Position();
        return position > 0 ? position - 2 * 1'048'576 : position;
    }
};

} // namespace

// The first volume's file misreports its size: Yes to the question switches the program to
// the temporary folder (the setting written; each entry is staged there before it reaches the
// medium), the failed volume is made again, and every file is in one sound volume; No ends the
// job with its archive bits set again and no volume.
TEST(JobTempVolumes, AWrongFileSizeAnsweredYesMakesTheVolumeAgainStagedInTheTemporaryFolderNoCancels) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        HostedProgram hosted(false);
        TempFolder source;
        RunForTheRunner(hosted, source);
        ui::TMF& form = *hosted.form;
        ASSERT_NE(form.Runner(), nullptr);

        std::mt19937 random(112);
        WriteClips(hosted, source, 6, random);
        const job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
        hosted.WriteJob(daily);
        FirstFileOn<MisreportingFile>(*form.Runner());
        hosted.prompter.AnswerMessage(yes ? gui::mrYes : gui::mrNo);
        if (yes) hosted.prompter.AnswerMessage(gui::mrOk);
        const size_t logBefore = hosted.ProgramLog().size();
        hosted.RunJob();
        form.Runner()->OutputFile = nullptr;

        ASSERT_FALSE(form.Session.Running());
        const std::string log = hosted.ProgramLog().substr(logBefore);
        const std::vector<std::string> asked = hosted.prompter.MessageTexts();
        ASSERT_EQ(asked.size(), yes ? 2u : 1u) << log;
        EXPECT_TRUE(asked[0].starts_with("Your disk operating system has reported a wrong file size."))
            << asked[0];
        const std::string settings = ReadWholeFile(hosted.programFolder / "tarnwick.ini");
        std::map<std::string, int> held;
        AddHeld(daily.Destination + "\\", held);
        if (yes) {
            EXPECT_EQ(asked[1], "You must format your CD-RW to continue using it");
            EXPECT_NE(settings.find("UseTempFile=1"), std::string::npos) << settings;
            EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
            EXPECT_EQ(Count(log, "Backup cancelled"), 0u) << log;
        } else {
            EXPECT_EQ(settings.find("UseTempFile=1"), std::string::npos) << settings;
            EXPECT_EQ(Count(log, "Backup cancelled"), 1u) << log;
            EXPECT_TRUE(held.empty()) << "no volume";
        }
        for (const auto& [path, attributes] : hosted.attributes.files.files) {
            if (attributes & gui::AttributeDirectory) continue;
            EXPECT_EQ(held[path], yes ? 1 : 0) << path;
            EXPECT_EQ((attributes & gui::AttributeArchive) == 0, yes) << path;
        }
        EXPECT_TRUE(WorkFilesUnder(hosted.programFolder.Path()).empty());
    }
}

// The last part of a split volume cannot take the volume's name (a folder of that name came
// in the way): the log says so, the job has a problem, and the set is logged and left under
// the names it has, never under one that does not exist. No tool opens the set by its name:
// its file gets its archive bit back.
TEST(JobTempVolumes, ASplitVolumeWhoseLastPartCannotBeRenamedIsLoggedUnderTheNameItHas) {
    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(107);
    WriteRandom(source / "huge.bin", 9'000'000, random);
    hosted.attributes.AddTree(source.Path());
    job::JobDefinition daily = ClearingJob(hosted.programFolder / "dest", source);
    daily.ZipName = "Set";
    daily.Splitlargefiles = true;
    hosted.WriteJob(daily);
    const std::string set = daily.Destination + "\\Set001";
    hosted.attributes.afterSet = [&] { CreateDirectoryA((set + ".zip").c_str(), nullptr); };
    hosted.RunJob();
    hosted.attributes.afterSet = nullptr;

    ASSERT_FALSE(hosted.form->Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "The last part " + set + ".z03 could not be renamed to " + set + ".zip"), 1u) << log;
    EXPECT_EQ(Count(log, "File created: " + set + ".z03 / "), 1u) << log;
    EXPECT_EQ(Count(log, "File created: " + set + ".zip"), 0u) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    ASSERT_NE(hosted.form->Runner(), nullptr);
    EXPECT_TRUE(hosted.form->Runner()->JobHadProblem);
    for (const char* part : {".z01", ".z02", ".z03"})
        EXPECT_TRUE(testsupport::FileExists(set + part)) << part;
    EXPECT_EQ(Count(log, "Archivebits reset for the files of: " + set + ".z03"), 1u) << log;
    EXPECT_TRUE(hosted.attributes.files.Get(source / "huge.bin") & gui::AttributeArchive);
}
