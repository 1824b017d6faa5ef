// The unzip component against archives made at test time by Info-ZIP zip, 7z and python,
// and against damaged and hostile ones.

#include "DecodeSupport.h"
#include "UnZipperSupport.h"
#include "ZipperSupport.h"
#include "gui/ScriptedPrompter.h"
#include "zip/UnZipper.h"
#include "zip/ZipCodecErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

using codectest::Bytes;
using unziptest::TStdFileSystem;
using unziptest::TTempFolder;
namespace fs = std::filesystem;

// A tree with folders, text that deflates, random bytes that store, and an empty file.
void MakeTree(const std::string& root) {
    fs::create_directories(root + "/sub/deeper");
    testsupport::WriteFile(root + "/top.txt", std::string(5000, 'a') + "end");
    const Bytes noise = codectest::RandomBytes(150000, 3);
    codectest::WriteFile(root + "/sub/noise.bin", noise);
    const Bytes text = codectest::TextBytes(200000, 4);
    codectest::WriteFile(root + "/sub/deeper/text.txt", text);
    testsupport::WriteFile(root + "/sub/empty.txt", "");
    fs::create_directories(root + "/emptydir");
}

class UnZipperTest : public ::testing::Test {
  protected:
    void SetUp() override { MakeTree(tmp / "src"); }
    int Shell(const std::string& command) { return codectest::Run("cd '" + tmp.Path() + "' && " + command); }
    bool SameTree(const std::string& a, const std::string& b) {
        return codectest::Run("diff -r '" + a + "' '" + b + "' >/dev/null") == 0;
    }

    TTempFolder tmp;
    TStdFileSystem files;
    gui::TScriptedPrompter prompter; // anything unscripted fails the test
    gui::TPrompterScope scope{prompter};
};

TEST_F(UnZipperTest, QuestionMarksAskTheUserAndCancelRaises) {
    zip::TUnZipper z(files);
    prompter.AnswerFile({tmp / "chosen.zip"}).CancelFile().AnswerFolder(tmp / "dest").CancelFolder();
    z.SetZipName("C:\\nowhere\\?");
    EXPECT_EQ(z.ZipName(), tmp / "chosen.zip");
    EXPECT_THROW(z.SetZipName("?"), zip::EUserCanceled);
    z.SetDestDir("?");
    EXPECT_EQ(z.DestDir(), tmp / "dest");
    EXPECT_THROW(z.SetDestDir("?"), zip::EUserCanceled);
    EXPECT_EQ(prompter.Requests()[0].File.Title, "Open a Zip File");
    EXPECT_EQ(prompter.Requests()[0].File.InitialDir, "C:\\");
}

// The peers are Linux programs: the cases that need them exist in the native build only.
#ifndef _WIN32

struct TEvents {
    std::vector<std::pair<zip::TSkipReason, std::string>> skips;
    std::vector<int> badCrc;
    std::vector<std::string> ended;
};

void Watch(zip::TUnZipper& z, TEvents& events) {
    z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string& name, int, bool&) {
        events.skips.emplace_back(reason, name);
    };
    z.OnBadCRC = [&](zip::TUnZipper&, uint32_t, uint32_t, int index) { events.badCrc.push_back(index); };
    z.OnEndUnZip = [&](zip::TUnZipper&, int, const std::string& name) { events.ended.push_back(name); };
}

TEST_F(UnZipperTest, PeerArchivesTestAndExtractEqualToTheirSource) {
    ASSERT_EQ(Shell("cd src && zip -qr ../infozip.zip . && 7z a -tzip -bd ../seven.zip . >/dev/null && "
                    "python3 -c \"import zipfile,os\nwith "
                    "zipfile.ZipFile('../py.zip','w',zipfile.ZIP_DEFLATED) as z:\n"
                    " [z.write(os.path.join(r,n)) for r,ds,fs in os.walk('.') for n in ds+fs]\""),
              0);
    for (const char* name : {"infozip.zip", "seven.zip", "py.zip"}) {
        SCOPED_TRACE(name);
        zip::TUnZipper z(files);
        z.SetZipName(tmp / name);
        EXPECT_GE(z.Count(), 5);
        EXPECT_TRUE(z.TestArchive()); // folder entries count as good
        const std::string out = tmp / (std::string("out-") + name);
        z.SetDestDir(out);
        z.RecreateDirs = true;
        z.DoAll = true;
        z.UnZip();
        EXPECT_TRUE(SameTree(tmp / "src", out));
    }
}

TEST_F(UnZipperTest, PasswordsOfEveryPeerWorkAndAWrongOneLeavesNoFile) {
    ASSERT_EQ(
        Shell("cd src && zip -qr -P secret ../plain.zip . && (zip -qr -P secret - . > ../streamed.zip) && "
              "7z a -tzip -mem=ZipCrypto -psecret -bd ../seven.zip . >/dev/null"),
        0);
    for (const char* name : {"plain.zip", "streamed.zip", "seven.zip"}) {
        SCOPED_TRACE(name);
        TEvents events;
        zip::TUnZipper wrong(files);
        Watch(wrong, events);
        wrong.SetZipName(tmp / name);
        wrong.Password = "guess";
        wrong.SetDestDir(tmp / "wrong");
        wrong.DoAll = true;
        EXPECT_EQ(wrong.UnZip(), 0);
        EXPECT_FALSE(events.skips.empty());
        for (const auto& skip : events.skips)
            EXPECT_EQ(skip.first, zip::srBadPassword);
        EXPECT_TRUE(fs::is_empty(tmp / "wrong"));

        zip::TUnZipper right(files);
        right.SetZipName(tmp / name);
        right.Password = "guess";
        right.OnBadPassword = [](zip::TUnZipper&, int, std::string& password) { password = "secret"; };
        const std::string out = tmp / (std::string("out-") + name);
        right.SetDestDir(out);
        right.RecreateDirs = right.DoAll = true;
        right.UnZip();
        EXPECT_TRUE(SameTree(tmp / "src", out));
        fs::remove_all(tmp / "wrong");
    }
}

// The handler is handed the password that failed. A damaged local header and an entry too
// short for its encryption header are damaged entries: no password is asked for them, and
// neither ends the run.
TEST_F(UnZipperTest, DamagedEncryptedEntriesFailAloneAndOnlyAWrongPasswordIsAskedAbout) {
    ASSERT_EQ(Shell("cd src && zip -q -P secret ../p.zip top.txt sub/noise.bin sub/deeper/text.txt"), 0);
    Bytes archive = codectest::ReadFile(tmp / "p.zip");
    archive[0] ^= 0xFF; // top.txt's local header
    const Bytes central{0x50, 0x4B, 0x01, 0x02};
    auto record = std::search(archive.begin(), archive.end(), central.begin(), central.end());
    record = std::search(record + 1, archive.end(), central.begin(), central.end());
    ASSERT_NE(record, archive.end());
    record[20] = 5; // noise.bin claims 5 compressed bytes
    record[21] = record[22] = record[23] = 0;
    codectest::WriteFile(tmp / "p.zip", archive);

    TEvents events;
    zip::TUnZipper z(files);
    Watch(z, events);
    std::vector<std::string> handed;
    z.OnBadPassword = [&](zip::TUnZipper&, int, std::string& password) {
        handed.push_back(password);
        password = "secret";
    };
    z.Password = "guess";
    z.SetZipName(tmp / "p.zip");
    EXPECT_FALSE(z.TestArchive());
    EXPECT_EQ(handed, std::vector<std::string>{"guess"});
    EXPECT_EQ(events.badCrc, (std::vector<int>{0, 1}));
    EXPECT_TRUE(events.skips.empty());

    z.SetDestDir(tmp / "out");
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_EQ(testsupport::ReadFile(tmp / "out/text.txt"),
              testsupport::ReadFile(tmp / "src/sub/deeper/text.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "out"), fs::directory_iterator{}), 1);
}

// A test names each entry as stored, whatever the destination settings; a run ended by a
// cancel reports the files it wrote.
TEST_F(UnZipperTest, TestsNameEntriesAsStoredAndACancelledRunCountsWhatItWrote) {
    ASSERT_EQ(Shell("cd src && zip -q ../a.zip top.txt sub/noise.bin sub/deeper/text.txt"), 0);
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "a.zip");
    z.SetDestDir(tmp / "out");
    std::vector<std::string> started, ended;
    z.OnStartUnZip = [&](zip::TUnZipper&, int, std::string& name, bool&) { started.push_back(name); };
    z.OnEndUnZip = [&](zip::TUnZipper&, int, const std::string& name) { ended.push_back(name); };
    EXPECT_TRUE(z.TestArchive());
    const std::vector<std::string> stored{"top.txt", "sub\\noise.bin", "sub\\deeper\\text.txt"};
    EXPECT_EQ(started, stored);
    EXPECT_EQ(ended, stored);
    EXPECT_EQ(z.DestDir(), tmp / "out");
    EXPECT_FALSE(z.RecreateDirs);

    int written = 0, completed = -1;
    z.OnEndUnZip = [&](zip::TUnZipper& unzipper, int, const std::string&) {
        if (++written == 2) unzipper.CancelTheOperation();
    };
    z.OnUnZipComplete = [&](zip::TUnZipper&, int count) { completed = count; };
    z.DoAll = true;
    EXPECT_THROW(z.UnZip(), zip::EUserCanceled);
    EXPECT_EQ(completed, 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "out"), fs::directory_iterator{}), 2);
}

TEST_F(UnZipperTest, DamagedEntryFailsAloneAndTheExistingTargetSurvives) {
    ASSERT_EQ(Shell("cd src && zip -q ../a.zip top.txt sub/deeper/text.txt"), 0);
    Bytes archive = codectest::ReadFile(tmp / "a.zip");
    archive[30 + 7 + 40] ^= 0x55; // inside top.txt's deflated data
    codectest::WriteFile(tmp / "a.zip", archive);
    testsupport::WriteFile(tmp / "out/top.txt", "keep me");

    TEvents events;
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "a.zip");
    EXPECT_FALSE(z.TestArchive());
    EXPECT_FALSE(z.TestEntry(0));
    EXPECT_TRUE(z.TestEntry(1));
    Watch(z, events);
    z.SetDestDir(tmp / "out");
    z.OverwriteMode = zip::Always;
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_EQ(events.badCrc.size(), 1u);
    EXPECT_EQ(testsupport::ReadFile(tmp / "out/top.txt"), "keep me");
    EXPECT_EQ(testsupport::ReadFile(tmp / "out/text.txt"),
              testsupport::ReadFile(tmp / "src/sub/deeper/text.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "out"), fs::directory_iterator{}), 2);
}

TEST_F(UnZipperTest, HostileNamesStayInsideTheDestination) {
    ASSERT_EQ(
        Shell("python3 -c \"import zipfile\nwith zipfile.ZipFile('h.zip','w') as z:\n"
              " [z.writestr(zipfile.ZipInfo(n), 'x') for n in ['../up.txt','../../../../tmp/tw-evil.txt',"
              "'/abs.txt','C:/drive.txt','//server/share/unc.txt','CON.txt','a\\x01b:c.txt','.../"
              "dots.txt']]\""),
        0);
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "h.zip");
    z.SetDestDir(tmp / "out/dest");
    z.RecreateDirs = z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 8);
    std::vector<std::string> names;
    for (auto& item : fs::recursive_directory_iterator(tmp / "out"))
        if (item.is_regular_file())
            names.push_back(fs::relative(item.path(), tmp / "out/dest").generic_string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"_CON.txt", "a_b_/c.txt", "abs.txt", "dots.txt", "drive.txt",
                                               "server/share/unc.txt", "tmp/tw-evil.txt", "up.txt"}));
}

TEST_F(UnZipperTest, OverwriteRulesKeepOrReplaceWithTheirReasons) {
    ASSERT_EQ(Shell("cd src && zip -q ../a.zip top.txt"), 0);
    zip::TUnZipper first(files);
    first.SetZipName(tmp / "a.zip");
    first.SetDestDir(tmp / "out");
    first.DoAll = true;
    ASSERT_EQ(first.UnZip(), 1);

    for (zip::TUZOverwriteMode mode : {zip::Never, zip::ifNewer, zip::ifOlder}) {
        TEvents events;
        zip::TUnZipper z(files);
        Watch(z, events);
        z.SetZipName(tmp / "a.zip");
        z.SetDestDir(tmp / "out");
        z.OverwriteMode = mode; // equal dates keep the file under both date rules
        z.DoAll = true;
        EXPECT_EQ(z.UnZip(), 0);
        ASSERT_EQ(events.skips.size(), 1u);
        EXPECT_EQ(events.skips[0].first, zip::srKeepExisting);
    }
    fs::permissions(tmp / "out/top.txt",
                    (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
                    fs::perm_options::remove);
    for (bool replaceReadOnly : {false, true}) {
        TEvents events;
        zip::TUnZipper z(files);
        Watch(z, events);
        z.SetZipName(tmp / "a.zip");
        z.SetDestDir(tmp / "out");
        z.OverwriteMode = zip::Always;
        z.ReplaceReadOnly = replaceReadOnly;
        z.DoAll = true;
        EXPECT_EQ(z.UnZip(), replaceReadOnly ? 1 : 0);
        if (!replaceReadOnly) {
            ASSERT_EQ(events.skips.size(), 1u);
            EXPECT_EQ(events.skips[0].first, zip::srCantCreateOutput);
        }
    }
}

TEST_F(UnZipperTest, SplitSetReadsWithoutPromptAndAMissingPartCancels) {
    ASSERT_EQ(Shell("cd src && zip -qr -s 64k ../set.zip ."), 0);
    ASSERT_TRUE(fs::exists(tmp / "set.z02"));
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "set.zip");
    EXPECT_EQ(z.MultiMode(), zip::mmNone); // nothing read yet
    EXPECT_TRUE(z.TestArchive());
    EXPECT_EQ(z.MultiMode(), zip::mmBlocks);
    z.SetDestDir(tmp / "out");
    z.RecreateDirs = z.DoAll = true;
    z.UnZip();
    EXPECT_TRUE(SameTree(tmp / "src", tmp / "out"));

    fs::remove(tmp / "set.z02");
    zip::TUnZipper broken(files);
    broken.SetZipName(tmp / "set.zip");
    EXPECT_THROW(broken.TestArchive(), zip::EUserCanceled);
}

TEST_F(UnZipperTest, MemoryStreamAndSelectionTargets) {
    ASSERT_EQ(Shell("cd src && zip -qr ../a.zip ."), 0);
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "a.zip");
    z.Sort(zip::ByName);
    int textIndex = -1;
    for (int i = 0; i < z.Count(); ++i)
        if (z.FullName(i) == "sub\\deeper\\text.txt") textIndex = i;
    ASSERT_GE(textIndex, 0);
    std::unique_ptr<uint8_t[]> buffer;
    EXPECT_EQ(z.UnZipToBuffer(buffer, textIndex), 1);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.get()), z.UncompressedSize(textIndex)),
              testsupport::ReadFile(tmp / "src/sub/deeper/text.txt"));

    gui::TMemoryStream out;
    EXPECT_EQ(z.UnZipToStream(&out, "  *TOP.TXT "), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.Memory()), out.Size()),
              testsupport::ReadFile(tmp / "src/top.txt"));

    z.SetSelected(textIndex, true);
    EXPECT_EQ(z.NumSelected(), 1);
    z.SetDestDir(tmp / "sel");
    EXPECT_EQ(z.UnZipSelected(), 1);
    EXPECT_EQ(z.NumSelected(), 0);
    EXPECT_TRUE(fs::exists(tmp / "sel/text.txt"));
    EXPECT_THROW(z.Filename(z.Count()), zip::EListError);
}

TEST_F(UnZipperTest, DirectoryFallbacksAndBrokenArchives) {
    ASSERT_EQ(Shell("cd src && zip -q ../a.zip top.txt sub/noise.bin"), 0);
    const Bytes whole = codectest::ReadFile(tmp / "a.zip");
    zip::TEndCentral end;
    {
        zip::TUnZipper z(files);
        z.SetZipName(tmp / "a.zip");
        ASSERT_EQ(z.Count(), 2);
        end = z.EndCentral();
    }
    ASSERT_EQ(
        Shell("python3 -c \"import zipfile\nwith zipfile.ZipFile('c.zip','w') as z:\n"
              " i=zipfile.ZipInfo('n.txt'); i.comment=b'entry note'; z.writestr(i,'x'); z.writestr('m','y');"
              " z.comment=b'archive note'\""),
        0);
    zip::TUnZipper comments(files);
    comments.SetZipName(tmp / "c.zip");
    EXPECT_EQ(comments.FileComment(0), "entry note");
    EXPECT_EQ(comments.FileComment(1), "");
    EXPECT_EQ(comments.ZipComment(), "archive note");

    // The records alone in a side file, no end record: read to their end.
    codectest::WriteFile(tmp / "cut.zip", Bytes(whole.begin(), whole.begin() + end.CentralOffset));
    codectest::WriteFile(tmp / "cut.zfc", Bytes(whole.begin() + end.CentralOffset, whole.end() - 22));
    zip::TUnZipper side(files);
    side.SetZipName(tmp / "cut.zip");
    EXPECT_EQ(side.Count(), 2);
    EXPECT_TRUE(side.TestArchive());

    // No end record, no side file: each mode gives its answer; the walk finds the entries.
    codectest::WriteFile(tmp / "lost.zip", Bytes(whole.begin(), whole.begin() + end.CentralOffset));
    zip::TUnZipper lost(files);
    lost.SetZipName(tmp / "lost.zip");
    EXPECT_THROW(lost.Count(), zip::EIncompleteZip);
    lost.IncompleteZipMode = zip::izAssumeNotAZip;
    EXPECT_THROW(lost.Count(), zip::ENotAZipFile);
    lost.IncompleteZipMode = zip::izAssumeBad;
    EXPECT_EQ(lost.Count(), 2);
    EXPECT_TRUE(lost.TestArchive());

    // Damaged central records fall back to the walk; a damaged local header fails its entry.
    Bytes broken = whole;
    broken[end.CentralOffset] ^= 0xFF;
    broken[0] = 'X';
    codectest::WriteFile(tmp / "broken.zip", broken);
    zip::TUnZipper bad(files);
    bad.SetZipName(tmp / "broken.zip");
    EXPECT_EQ(bad.Count(), 1);

    Bytes header = whole;
    header[0] = 'X';
    codectest::WriteFile(tmp / "header.zip", header);
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "header.zip");
    EXPECT_FALSE(z.TestArchive());
    EXPECT_TRUE(z.TestEntry(1));

    codectest::WriteFile(tmp / "empty.zip", {});
    zip::TUnZipper empty(files);
    empty.SetZipName(tmp / "empty.zip");
    EXPECT_EQ(empty.Count(), 0);
    EXPECT_TRUE(empty.TestArchive());

    codectest::WriteFile(tmp / "junk.zip", codectest::RandomBytes(5000, 9));
    zip::TUnZipper junk(files);
    junk.SetZipName(tmp / "junk.zip");
    junk.IncompleteZipMode = zip::izAssumeBad;
    EXPECT_THROW(junk.Count(), zip::EBadZipFile);
}

TEST_F(UnZipperTest, SideFileRecordsGiveTheirOwnComments) {
    ASSERT_EQ(
        Shell("python3 -c \"import zipfile\nwith zipfile.ZipFile('c.zip','w') as z:\n"
              " i=zipfile.ZipInfo('n.txt'); i.comment=b'entry note'; z.writestr(i,'x'); z.writestr('m','y');"
              " j=zipfile.ZipInfo('o.txt'); j.comment=b'second'; z.writestr(j,'z'); z.comment=b'archive "
              "note'\""),
        0);
    const Bytes whole = codectest::ReadFile(tmp / "c.zip");
    zip::TEndCentral end;
    {
        zip::TUnZipper z(files);
        z.SetZipName(tmp / "c.zip");
        ASSERT_EQ(z.Count(), 3);
        end = z.EndCentral();
    }
    // The archive keeps its data only; its local headers lie where the side file's records
    // would send a reader that looked in the wrong file.
    const Bytes data(whole.begin(), whole.begin() + end.CentralOffset);
    const Bytes records(whole.begin() + end.CentralOffset,
                        whole.begin() + end.CentralOffset + end.CentralSize);
    const Bytes withEnd(whole.begin() + end.CentralOffset, whole.end());
    for (const Bytes* side : {&records, &withEnd}) {
        SCOPED_TRACE(side == &records ? "records only" : "with end record");
        codectest::WriteFile(tmp / "cut.zip", data);
        codectest::WriteFile(tmp / "cut.zfc", *side);
        zip::TUnZipper z(files);
        z.SetZipName(tmp / "cut.zip");
        ASSERT_EQ(z.Count(), 3);
        EXPECT_EQ(z.FileComment(0), "entry note");
        EXPECT_EQ(z.FileComment(1), "");
        EXPECT_EQ(z.FileComment(2), "second");
        EXPECT_EQ(z.ZipComment(), side == &withEnd ? "archive note" : "");
        EXPECT_TRUE(z.TestArchive());
    }
}

TEST_F(UnZipperTest, SpannedSetAsksForEachDiskAndChecksItsLabel) {
    ASSERT_EQ(Shell("cd src && zip -qr -s 64k ../set.zip ."), 0);
    ziptest::TFloppyDrive drive;
    const std::vector<std::string> parts = {"set.z01", "set.z02", "set.zip"};
    ASSERT_TRUE(fs::exists(tmp / "set.z02"));
    ASSERT_FALSE(fs::exists(tmp / "set.z03"));
    for (size_t i = 0; i < parts.size(); ++i) {
        drive.disks.push_back(tmp / ("disk" + std::to_string(i + 1)));
        fs::create_directories(drive.disks.back());
        fs::copy_file(tmp / parts[i], drive.disks.back() + "/set.zip");
        drive.labels.push_back("PKBACK# 00" + std::to_string(i + 1));
    }
    drive.inserted = 2;
    ziptest::TFloppyReader reading(drive);
    ziptest::TDiskChanger changer(drive);
    gui::TPrompterScope changerScope(changer);
    // The directory starts on the last disk; then disks 1, 2 (the wrong one first) and 3.
    drive.nextDisks = {0, 2, 1, 2};
    for (int i = 0; i < 4; ++i)
        changer.AnswerMessage(gui::mrOk);

    zip::TUnZipper z(reading);
    // Busy with the hourglass, but each prompt shows the normal cursor.
    zip::TZipCursor cursor = zip::TZipCursor::HourGlass;
    std::vector<zip::TZipCursor> cursorsAsked;
    changer.onPrompt = [&] { cursorsAsked.push_back(cursor); };
    z.Cursor = [&](zip::TZipCursor shown) { return std::exchange(cursor, shown); };
    z.SetZipName("A:\\set.zip");
    z.SetDestDir(tmp / "out");
    z.RecreateDirs = z.DoAll = true;
    z.UnZip();
    EXPECT_EQ(cursorsAsked, std::vector<zip::TZipCursor>(4, zip::TZipCursor::Default));
    EXPECT_EQ(cursor, zip::TZipCursor::HourGlass);
    EXPECT_EQ(z.MultiMode(), zip::mmSpan);
    EXPECT_TRUE(SameTree(tmp / "src", tmp / "out"));
    const auto texts = changer.MessageTexts();
    EXPECT_EQ(changer.Pending(), 0u);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Please insert disk 1 of the multi-disk set.");
    EXPECT_EQ(texts[1], "Please insert disk 2 of the multi-disk set.");
    EXPECT_EQ(texts[2], "Please insert disk 2 of the multi-disk set."); // the wrong label asks again

    changer.Clear();
    changer.AnswerMessage(gui::mrCancel);
    zip::TUnZipper refused(reading);
    drive.inserted = 2;
    refused.SetZipName("A:\\set.zip");
    try {
        refused.TestArchive();
        FAIL() << "no exception";
    } catch (const zip::EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User canceled loading new disk.");
    }
}

// The zip component keeps a copy of the directory, without end record, beside the first
// disk of a spanned set: read from there, the set is still spanned and its disks are asked for.
TEST_F(UnZipperTest, SpannedSetReadThroughTheSideFileOnItsFirstDisk) {
    ASSERT_EQ(Shell("cd src && zip -qr -s 64k ../set.zip ."), 0);
    const std::vector<std::string> parts = {"set.z01", "set.z02", "set.zip"};
    ASSERT_FALSE(fs::exists(tmp / "set.z03"));
    zip::TEndCentral end;
    {
        zip::TUnZipper z(files);
        z.SetZipName(tmp / "set.zip");
        ASSERT_GT(z.Count(), 0);
        end = z.EndCentral();
    }
    ASSERT_EQ(end.StartDisk, 2); // the directory lies whole on the last part
    const Bytes last = codectest::ReadFile(tmp / "set.zip");
    ziptest::TFloppyDrive drive;
    for (size_t i = 0; i < parts.size(); ++i) {
        drive.disks.push_back(tmp / ("disk" + std::to_string(i + 1)));
        fs::create_directories(drive.disks.back());
        fs::copy_file(tmp / parts[i], drive.disks.back() + "/set.zip");
        drive.labels.push_back("PKBACK# 00" + std::to_string(i + 1));
    }
    codectest::WriteFile(
        drive.disks[0] + "/set.zfc",
        Bytes(last.begin() + end.CentralOffset, last.begin() + end.CentralOffset + end.CentralSize));
    drive.inserted = 0;
    drive.nextDisks = {1, 2};
    ziptest::TFloppyReader reading(drive);
    ziptest::TDiskChanger changer(drive);
    gui::TPrompterScope changerScope(changer);
    changer.AnswerMessage(gui::mrOk).AnswerMessage(gui::mrOk);

    zip::TUnZipper z(reading);
    z.SetZipName("A:\\set.zip");
    z.SetDestDir(tmp / "out");
    z.RecreateDirs = z.DoAll = true;
    z.UnZip();
    EXPECT_EQ(z.MultiMode(), zip::mmSpan);
    EXPECT_TRUE(SameTree(tmp / "src", tmp / "out"));
    EXPECT_EQ(changer.MessageTexts(),
              (std::vector<std::string>{"Please insert disk 2 of the multi-disk set.",
                                        "Please insert disk 3 of the multi-disk set."}));
}

#endif // _WIN32

} // namespace
