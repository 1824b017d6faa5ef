// Images read as discs by independent readers: xorriso, isoinfo and 7z list and extract what we
// write, a second session over an imported first shows old and new files, and sessions other
// programs wrote import and continue.

// The peers are Linux programs: these tests exist in the native build only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "IsoSupport.h"
#include "disc/IsoImport.h"
#include "disc/IsoNames.h"
#include "disc/IsoRecords.h"
#include "disc/IsoStream.h"

namespace disc {
namespace {

using namespace test;
namespace fs = std::filesystem;

std::string Utf8FromAnsi(const std::string& text) {
    std::string out;
    for (char16_t unit : AnsiToUcs2(text)) {
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | (unit >> 6));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.insert(line);
    return lines;
}

// Source files keyed by their path in the image ("/a/b"), written under root.
using Tree = std::map<std::string, std::string>;

void WriteTree(const std::string& root, const Tree& tree) {
    for (const auto& [path, bytes] : tree) {
        fs::path full = fs::path(root) / path.substr(1);
        fs::create_directories(full.parent_path());
        WriteBytes(full.string(), bytes);
    }
}

Tree SampleTree() {
    Tree tree;
    tree["/readme.txt"] = "hello disc\n";
    tree["/exact.bin"] = Pattern(2048, 1);
    tree["/one more.bin"] = Pattern(2049, 2);
    tree["/empty.dat"] = "";
    tree["/big.bin"] = Pattern(300000, 3);
    tree["/" + std::string(105, 'L') + ".zip"] = Pattern(5000, 4);
    std::string deep;
    for (int level = 1; level <= 12; ++level)
        deep += "/level" + std::to_string(level);
    tree[deep + "/deep.txt"] = "bottom";
    for (int i = 1; i <= 3; ++i)
        tree["/backups/MyDocumentsBackup00" + std::to_string(i) + ".zip"] = Pattern(100 + i, 10 + i);
    for (int i = 0; i < 150; ++i)
        tree["/wide/file number " + std::to_string(i) + ".txt"] = std::to_string(i);
    tree["/Mixed Case/Name With Spaces.TXT"] = "spaces";
    return tree;
}

// Every folder path of a tree, for listings that show folders too.
std::set<std::string> Folders(const Tree& tree) {
    std::set<std::string> folders;
    for (const auto& entry : tree)
        for (size_t slash = entry.first.find('/', 1); slash != std::string::npos;
             slash = entry.first.find('/', slash + 1))
            folders.insert(entry.first.substr(0, slash));
    return folders;
}

std::string BuildImage(TIsoImage& image, const std::string& path, uint32_t sessionStart = 0,
                       bool append = false) {
    image.PrepareImage(sessionStart);
    image.BuildImageHead();
    std::string error;
    EXPECT_TRUE(WriteIsoFile(image, path, error, nullptr, append)) << error;
    return error;
}

// Extracts with 7z and compares every file of the tree (names as UTF-8 on disk).
void ExpectExtractedEqual(const std::string& imagePath, const Tree& tree, const std::string& outFolder) {
    int code = 0;
    RunCommand("cd '" + outFolder + "' && LC_ALL=C.UTF-8 7z x -y '" + imagePath + "' >/dev/null 2>&1", &code);
    ASSERT_EQ(code, 0);
    for (const auto& [path, bytes] : tree) {
        std::string extracted = outFolder + Utf8FromAnsi(path);
        ASSERT_TRUE(fs::exists(extracted)) << path;
        EXPECT_EQ(ReadBytes(extracted), bytes) << path;
    }
}

TEST(IsoPeers, FileModeImageOfAVariedTreeListsAndExtractsAlikeInEveryReader) {
    TempFolder temp;
    Tree tree = SampleTree();
    WriteTree(temp / "src", tree);
    WriteBytes(temp / "src" + "/semi;colon.txt", "semi");
    WriteBytes(temp / "src" + "/renamed.txt", "euro");

    TIsoImage image;
    image.IdVolume = "Backup 2611";
    image.OnAddFile = [](const std::string&, std::string& longName, std::string&, TDateTime&, uint32_t,
                         int64_t, bool&) {
        if (longName == "renamed.txt") longName = "Caf\xE9 \x80.txt";
    };
    ASSERT_TRUE(image.InsertDir(temp / "src", "\\", true));
    image.FindFile(image.Root(), "readme.txt")->Attributes |= kAttrHidden;
    std::string iso = temp / "image.iso";
    BuildImage(image, iso);
    tree["/semi_colon.txt"] = "semi";
    tree["/Caf\xE9 \x80.txt"] = "euro";

    std::map<std::string, uint32_t> listed;
    std::vector<std::string> problems = CheckImage(iso, 0, &listed);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(listed.size(), tree.size());
    for (const auto& [path, bytes] : tree)
        EXPECT_EQ(listed[path], bytes.size()) << path;

    fs::create_directory(temp / "x");
    ExpectExtractedEqual(iso, tree, temp / "x");

    std::set<std::string> expected;
    for (const auto& entry : tree)
        expected.insert(Utf8FromAnsi(entry.first));
    for (const std::string& folder : Folders(tree))
        expected.insert(folder);
    // isoinfo knows no UTF-8; Latin-9 holds both the accent and the euro sign.
    std::set<std::string> latin9;
    for (std::string path : expected) {
        if (path.find("Caf") != std::string::npos) path = "/Caf\xE9 \xA4.txt";
        latin9.insert(path);
    }
    std::set<std::string> isoinfo = Lines(RunCommand("isoinfo -i '" + iso + "' -f -J -j iso8859-15"));
    EXPECT_EQ(isoinfo, latin9);

    std::set<std::string> xorriso;
    for (std::string line :
         Lines(RunCommand("LC_ALL=C.UTF-8 xorriso -indev '" + iso + "' -find / 2>/dev/null")))
        if (line.size() > 2 && line.front() == '\'') xorriso.insert(line.substr(1, line.size() - 2));
    xorriso.erase("/");
    EXPECT_EQ(xorriso, expected);

    std::string listing = RunCommand("isoinfo -i '" + iso + "' -l -J");
    EXPECT_NE(listing.find(" 01]  readme.txt"), std::string::npos) << "hidden files carry the existence flag";

    // The ISO tree alone is readable too: unique names, same file count.
    std::set<std::string> shortNames = Lines(RunCommand("isoinfo -i '" + iso + "' -f"));
    EXPECT_EQ(shortNames.size(), expected.size());
    EXPECT_EQ(shortNames.count("/BACKUPS/MYDOCUMEN.ZIP;1") + shortNames.count("/BACKUPS/MYDOCUM~1.ZIP;1") +
                  shortNames.count("/BACKUPS/MYDOCUM~2.ZIP;1"),
              3u);
}

TEST(IsoPeers, ManyFilesInManyFoldersStayConsistent) {
    TempFolder temp;
    Tree tree;
    for (int folder = 0; folder < 40; ++folder)
        for (int file = 0; file < 60; ++file)
            tree["/f" + std::to_string(folder) + "/n" + std::to_string(file) + ".dat"] =
                std::string(static_cast<size_t>(file % 3), 'a' + folder % 26);
    WriteTree(temp / "src", tree);
    TIsoImage image;
    image.JolietFileSystem = false;
    ASSERT_TRUE(image.InsertDir(temp / "src", "\\", true));
    std::string iso = temp / "many.iso";
    BuildImage(image, iso);
    std::map<std::string, uint32_t> listed;
    std::vector<std::string> problems = CheckImage(iso, 0, &listed);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(listed.size(), tree.size());
    int code = 0;
    std::string list = RunCommand("7z l '" + iso + "'", &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(list.find("2400 files, 40 folders"), std::string::npos) << list.substr(list.size() - 200);
}

struct TwoSessions {
    TempFolder temp;
    Tree first, second, all;
    uint32_t secondStart = 0;
    std::string image;

    // Writes the first session with `first`, imports it, adds `second` and writes session two.
    void Build(bool replace) {
        image = temp / "multi.iso";
        WriteTree(temp / "one", first);
        TIsoImage one;
        one.InsertDir(temp / "one", "\\", true);
        BuildImage(one, image);
        secondStart = one.GetTrackSize() + 2; // a gap, as between sessions on a disc

        TIsoImage two;
        two.ReplaceFile = replace;
        FileBlockReader reader(image);
        int imported = 0;
        ASSERT_TRUE(ImportIsoSession(reader, 0, 1, two, nullptr, &imported));
        EXPECT_EQ(imported, static_cast<int>(first.size() + Folders(first).size()));
        WriteTree(temp / "two", second);
        two.InsertDir(temp / "two", "\\", true);
        {
            std::FILE* grow = std::fopen(image.c_str(), "r+b");
            ASSERT_NE(grow, nullptr);
            std::fseek(grow, static_cast<long>(secondStart) * kBlockSize - 1, SEEK_SET);
            std::fputc(0, grow);
            std::fclose(grow);
        }
        BuildImage(two, image, secondStart, true);
        descriptors = two.DescriptorSet();
        all = first;
        for (const auto& entry : second)
            all[entry.first] = entry.second;
    }

    // A copy whose block 16 on holds the last session's descriptors, as overwritable media get
    // it and as readers without multi-session support need it.
    std::string LastSessionCopy(const std::vector<uint8_t>& descriptors) {
        std::string bytes = ReadBytes(image);
        std::string copy = temp / "last.iso";
        bytes.replace(16 * kBlockSize, descriptors.size(),
                      std::string(descriptors.begin(), descriptors.end()));
        WriteBytes(copy, bytes);
        return copy;
    }
    std::vector<uint8_t> descriptors;
};

TEST(IsoPeers, SecondSessionOverAnImportedFirstShowsOldAndNewFiles) {
    TwoSessions sessions;
    sessions.first = {{"/old/a.zip", Pattern(7000, 1)},
                      {"/old/b.txt", "bee"},
                      {"/keep.bin", Pattern(2048, 2)},
                      {"/replace.txt", "first version"}};
    sessions.second = {{"/old/c.zip", Pattern(3000, 3)},
                       {"/new folder/d.bin", Pattern(10000, 4)},
                       {"/replace.txt", "second version, longer"}};
    sessions.Build(true);

    std::vector<std::string> problems = CheckImage(sessions.image, sessions.secondStart);
    EXPECT_TRUE(problems.empty()) << problems.front();

    std::string found = RunCommand("xorriso -indev '" + sessions.image + "' -load sbsector " +
                                   std::to_string(sessions.secondStart) + " -find / 2>/dev/null");
    for (const auto& entry : sessions.all)
        EXPECT_NE(found.find("'" + entry.first + "'"), std::string::npos) << entry.first;

    std::set<std::string> isoinfo = Lines(RunCommand("isoinfo -i '" + sessions.image + "' -T " +
                                                     std::to_string(sessions.secondStart) + " -f -J"));
    for (const auto& entry : sessions.all)
        EXPECT_EQ(isoinfo.count(entry.first), 1u) << entry.first;

    std::string copy = sessions.LastSessionCopy(sessions.descriptors);
    fs::create_directory(sessions.temp / "x");
    ExpectExtractedEqual(copy, sessions.all, sessions.temp / "x");
}

// A session another program wrote: genisoimage with Joliet, plain ISO 9660 and Rock Ridge.
TEST(IsoPeers, ForeignSessionsImportAndContinue) {
    struct Case {
        const char* options;
        const char* name; // how the foreign file's name reads back
    } cases[] = {{"-J", "/docs/Report 2024.txt"}, {"", "/DOCS/REPORT_2.TXT"}, {"-R", "/DOCS/REPORT_2.TXT"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        TempFolder temp;
        WriteTree(temp / "src", {{"/docs/Report 2024.txt", "foreign data"}});
        std::string image = temp / "foreign.iso";
        int code = 0;
        RunCommand("genisoimage -quiet " + std::string(c.options) + " -o '" + image + "' '" + temp / "src" +
                       "'",
                   &code);
        ASSERT_EQ(code, 0);
        uint32_t start = static_cast<uint32_t>(fs::file_size(image) / kBlockSize);

        TIsoImage next;
        std::vector<std::string> messages;
        next.OnDebugMessage = [&](const std::string& text, int type) {
            if (type == kMsgError) messages.push_back(text);
        };
        FileBlockReader reader(image);
        ASSERT_TRUE(ImportIsoSession(reader, 0, 1, next, nullptr));
        EXPECT_TRUE(messages.empty()) << messages.front();
        std::string name = c.name;
        size_t slash = name.rfind('/');
        TFEntry* file = next.FindFile(next.FindDir(name.substr(0, slash)), name.substr(slash + 1));
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->Imported);

        WriteTree(temp / "add", {{"/added.txt", "ours"}});
        next.InsertFile(temp / "add" + "/added.txt", "\\");
        BuildImage(next, image, start, true);
        std::vector<std::string> problems = CheckImage(image, start);
        EXPECT_TRUE(problems.empty()) << problems.front();
        std::string found = RunCommand("xorriso -indev '" + image + "' -load sbsector " +
                                       std::to_string(start) + " -rockridge off -find / 2>/dev/null");
        EXPECT_NE(found.find("'/added.txt'"), std::string::npos) << found;
        TwoSessions view; // reuse the copy helper over this image
        view.image = image;
        view.secondStart = start;
        std::string copy = view.LastSessionCopy(next.DescriptorSet());
        fs::create_directory(view.temp / "x");
        ExpectExtractedEqual(copy, {{name, "foreign data"}, {"/added.txt", "ours"}}, view.temp / "x");
    }
}

} // namespace
} // namespace disc

#endif // _WIN32
