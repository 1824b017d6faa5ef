// The job file's text: files the program wrote come back byte for byte, and files of every
// age and state of damage load with the fallbacks the format promises.

#include "JobTestSupport.h"

#include <gtest/gtest.h>

using job::JobDefinition;
using jobtest::JobLines;
using jobtest::JoinLines;
using jobtest::Read;

TEST(JobFile, WrittenFilesComeBackByteForByteInBothDecimalLocales) {
    for (const core::LocaleFormat& locale : {core::LocaleFormat{}, jobtest::CommaLocale()}) {
        // Sorted lists, a 121-character password, an empty item, upper code-page bytes.
        std::vector<std::string> lines = JobLines(locale);
        lines[10] = "#####" + core::ScrambleText(std::string(121, 'p'), core::ScrambleKey);
        lines.insert(lines.end() - 1, {"c:\\a\\", "C:\\b\xe9\\", "d:\\c.txt"});
        lines.insert(lines.end(), {"", "*.tmp"});
        JobDefinition job;
        job::ReadJobText(JoinLines(lines), job, jobtest::Context(locale));
        EXPECT_EQ(job.ZipPassword, std::string(121, 'p'));
        EXPECT_EQ(job::WriteJobText(job, jobtest::Context(locale)), JoinLines(lines));
    }
}

TEST(JobFile, OldLayoutsEarlyMarkersAndExtraLinesLoadWithTheirFallbacks) {
    const std::vector<std::string> lines = JobLines();
    // The oldest layout: ten lines, then the include items; no password, no options.
    JobDefinition before;
    before.ZipPassword = "earlier job";
    before.EraseCD = true;
    before.Includefolderinformation = false;
    before.ExcludeList = {"x"};
    std::vector<std::string> oldest(lines.begin(), lines.begin() + 10);
    oldest.insert(oldest.end(), {"d:\\z\\", "c:\\a\\"});
    const JobDefinition old = Read(oldest, before);
    EXPECT_EQ(old.IncludeList, (std::vector<std::string>{"c:\\a\\", "d:\\z\\"}));
    EXPECT_TRUE(old.ExcludeList.empty());
    EXPECT_EQ(old.ZipPassword, "");
    EXPECT_TRUE(old.EraseCD && old.Includefolderinformation);

    // Options that stop after line 17 keep the defaults of the rest; "unchanged" ones keep
    // what the job held.
    std::vector<std::string> early(lines.begin(), lines.begin() + 17);
    early.insert(early.end(), {"*-Include-*", "c:\\a\\", "*-Exclude-*", "c:\\a\\b\\"});
    before.Optimizeusedspace = false;
    const JobDefinition stopped = Read(early, before);
    EXPECT_TRUE(stopped.MakeCatalog && stopped.Includefolderinformation && stopped.Optimizeusedspace);
    EXPECT_TRUE(stopped.EraseCD);
    EXPECT_EQ(stopped.PostWait, 1);
    EXPECT_EQ(stopped.ExcludeList, std::vector<std::string>{"c:\\a\\b\\"});

    // A newer layout's lines after line 29 are skipped; any line ends read alike.
    std::vector<std::string> newer = lines;
    newer.insert(newer.begin() + 29, {"30", "new option"});
    JobDefinition lf, cr;
    job::ReadJobText(JoinLines(lines, "\n"), lf, jobtest::Context());
    job::ReadJobText(JoinLines(lines, "\r"), cr, jobtest::Context());
    EXPECT_EQ(Read(newer), Read(lines));
    EXPECT_EQ(lf, Read(lines));
    EXPECT_EQ(cr, Read(lines));
}

TEST(JobFile, DamagedValuesFallBack) {
    struct Case {
        int line;
        std::string text;
        int level;
        std::string sizeText;
        int64_t maxZipSize;
    } const cases[] = {
        {8, "5000", 9, "4095", 4'294'967'295},
        {8, "abc", 9, "650", 681'574'400},
        {8, "99999999999999999999", 9, "650", 681'574'400},
        {7, "1", 2, "700", 700LL << 20},
        {7, "12", 9, "700", 700LL << 20},
        {7, "x", 6, "700", 700LL << 20},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = JobLines();
        lines[6] = "9";
        lines[7] = "700";
        lines[c.line - 1] = c.text;
        JobDefinition job;
        job.CompressionMax = 9;
        job = Read(lines, job);
        EXPECT_EQ(job.CompressionLevel, c.level) << c.text;
        EXPECT_EQ(job.JobMaxZipText, c.sizeText) << c.text;
        EXPECT_EQ(job.MaxZipSize, c.maxZipSize) << c.text;
    }
    // Lines 25, 26 and 28 that are no number are ignored; line 4 gives now. NUL bytes and a
    // huge line load as they are.
    std::vector<std::string> lines = JobLines();
    lines[0] = std::string("e:\0x", 4);
    lines[3] = "yesterday";
    lines[24] = lines[25] = lines[27] = "n/a";
    lines.insert(lines.end() - 1, std::string(4 << 20, 'h'));
    JobDefinition before;
    before.WriterIndex = 2;
    const JobDefinition job = Read(lines, before);
    EXPECT_EQ(job.Destination, std::string("e:\0x", 4));
    EXPECT_EQ(job.WriterIndex, 2);
    EXPECT_EQ(job.PreWait, 10);
    EXPECT_EQ(job.AfterDateText, core::DateToStrFixed(jobtest::now, core::LocaleFormat{}));
    EXPECT_EQ(job.IncludeList.at(0).size(), 4u << 20);

    // A file cut after line 5 reads the rest as empty lines.
    const JobDefinition cut = Read({"e:", "1", "1", "46000.5", "1"});
    EXPECT_EQ(cut.CompressionLevel, 6);
    EXPECT_EQ(cut.ZipSizeText, "650");
    EXPECT_TRUE(cut.IncludeList.empty());
}

TEST(JobFile, PasswordLineAndValuesThatWouldBreakTheLayout) {
    // "#####" alone is no password (not the unscrambled filler of nothing).
    std::vector<std::string> lines = JobLines();
    lines[10] = "#####";
    JobDefinition job;
    job.ZipPassword = "previous";
    job = Read(lines, job);
    EXPECT_EQ(job.ZipPassword, "");
    EXPECT_EQ(job::WriteJobText(job, jobtest::Context()), JoinLines(lines));

    // Damage stops the load; what was read before it stays.
    lines[0] = "f:";
    lines[10] = "#####12a45";
    EXPECT_THROW(job::ReadJobText(JoinLines(lines), job, jobtest::Context()), core::EConvertError);
    EXPECT_EQ(job.Destination, "f:");

    job = JobDefinition{};
    job.AfterDateText = "not a date";
    job.IncludeList = {"c:\\a\\", "*-Exclude-*", "c:\\b\\"};
    job.PreRunFile = "*-Include-*";
    job.PostRunFile = "run\r\nme";
    const std::string text = job::WriteJobText(job, jobtest::Context());
    const std::vector<std::string> written = jobtest::SplitLines(text);
    EXPECT_EQ(written[0], "  ");
    EXPECT_EQ(written[3], "40.1");
    EXPECT_EQ(written[26], "");
    EXPECT_EQ(written[28], "runme");
    JobDefinition back;
    job::ReadJobText(text, back, jobtest::Context());
    EXPECT_EQ(back.IncludeList, (std::vector<std::string>{"c:\\a\\", "c:\\b\\"}));
    EXPECT_TRUE(back.ExcludeList.empty());
}

TEST(JobFile, EveryStoredValueSitsOnItsOwnLineAndComesBack) {
    // Reader and writer share one list of lines; an entry naming the wrong value, or one
    // left out, would still give a file that reads back to itself byte for byte.
    JobDefinition plain;
    plain.Destination = "g:";
    plain.AfterDateText = core::DateToStrFixed(46001.5, core::LocaleFormat{});
    const std::vector<std::string> plainLines =
        jobtest::SplitLines(job::WriteJobText(plain, jobtest::Context()));
    using Flag = bool JobDefinition::*;
    const std::pair<size_t, Flag> flags[] = {
        {2, &JobDefinition::ClearArchiveBit},
        {3, &JobDefinition::ChangedOnly},
        {5, &JobDefinition::UseAfterDate},
        {9, &JobDefinition::Uselasttime1},
        {10, &JobDefinition::IncludeFulldriveInfo},
        {12, &JobDefinition::Testarchiveafterbackup1},
        {13, &JobDefinition::OverwriteExistingZipFile1},
        {14, &JobDefinition::Allfilenames1},
        {15, &JobDefinition::IncludeDateTime1},
        {16, &JobDefinition::MakeCatalog},
        {17, &JobDefinition::Includefolderinformation},
        {18, &JobDefinition::Optimizeusedspace},
        {19, &JobDefinition::Splitlargefiles},
        {20, &JobDefinition::EraseCD},
        {21, &JobDefinition::FullEraseCD},
        {22, &JobDefinition::CBCatalog},
        {24, &JobDefinition::OEMConvert},
    };
    for (const auto& [line, flag] : flags) {
        JobDefinition job = plain;
        job.*flag = !(plain.*flag);
        std::vector<std::string> expected = plainLines;
        expected[line - 1] = job.*flag ? "1" : "0";
        EXPECT_EQ(jobtest::SplitLines(job::WriteJobText(job, jobtest::Context())), expected) << line;
        EXPECT_EQ(Read(expected), job) << line;
    }

    JobDefinition job = plain;
    job.Destination = "h:";
    job.AfterDateText = core::DateToStrFixed(46002.25, core::LocaleFormat{});
    job.ZipName = "z";
    job.CompressionLevel = 3;
    job.ZipSizeText = job.JobMaxZipText = "700";
    job.MaxZipSize = 700LL << 20;
    job.Includedriveinfo = true;
    job.ZipPassword = "p";
    job.CatalogNames = "c";
    job.WriterIndex = 2;
    job.PreWait = 4;
    job.PreRunFile = "pre";
    job.PostWait = 5;
    job.PostRunFile = "post";
    job.IncludeList = {"i"};
    job.ExcludeList = {"e"};
    std::vector<std::string> expected = plainLines;
    for (const auto& [line, value] : std::initializer_list<std::pair<size_t, std::string>>{
             {1, "h:"},
             {4, "46002.2500000000"},
             {6, "z"},
             {7, "3"},
             {8, "700"},
             {10, "2"},
             {11, "#####" + core::ScrambleText("p", core::ScrambleKey)},
             {23, "c"},
             {25, "2"},
             {26, "4"},
             {27, "pre"},
             {28, "5"},
             {29, "post"}})
        expected[line - 1] = value;
    expected.insert(expected.begin() + 30, "i");
    expected.push_back("e");
    EXPECT_EQ(jobtest::SplitLines(job::WriteJobText(job, jobtest::Context())), expected);
    EXPECT_EQ(Read(expected), job);
}
