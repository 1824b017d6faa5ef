// The job file's text: files the program wrote come back byte for byte, and files of every
// age and state of damage load with the fallbacks the format promises.

#include "JobTestSupport.h"

#include "core/Scramble.h"
#include "job/JobFile.h"

#include <gtest/gtest.h>

using job::JobDefinition;
using jobtest::CommaLocale;
using jobtest::Context;
using jobtest::JobLines;
using jobtest::JoinLines;

TEST(JobFile, WrittenFilesComeBackByteForByteInBothDecimalLocales) {
    for (const core::LocaleFormat& locale : {core::LocaleFormat{}, CommaLocale()}) {
        std::vector<std::string> lines = JobLines(locale);
        // Lists in the order the sorted list boxes keep, a 121-character password, an empty
        // exclude item, and bytes from the upper half of the code page.
        lines[10] = std::string("#####") + core::ScrambleText(std::string(121, 'p') + "!", core::ScrambleKey);
        lines.insert(lines.end() - 1, {"c:\\a\\", "C:\\b\xe9\\", "d:\\c.txt"});
        lines.insert(lines.end(), {"", "*.tmp"});
        const std::string text = JoinLines(lines);
        JobDefinition job;
        job::ReadJobText(text, job, Context(locale));
        EXPECT_EQ(job.ZipPassword, std::string(121, 'p') + "!");
        EXPECT_EQ(job::WriteJobText(job, Context(locale)), text);
    }
}

TEST(JobFile, OldLayoutsEarlyMarkersAndExtraLinesLoadWithTheirFallbacks) {
    std::vector<std::string> lines = JobLines();
    // The oldest layout: ten lines, then the include items; no password, no options.
    JobDefinition old;
    old.ZipPassword = "earlier job";
    old.EraseCD = true;
    old.Includefolderinformation = false;
    old.PreWait = 99;
    old.ExcludeList = {"x"};
    std::vector<std::string> oldest(lines.begin(), lines.begin() + 10);
    oldest.insert(oldest.end(), {"d:\\z\\", "*-Include-*", "c:\\a\\"});
    job::ReadJobText(JoinLines(oldest), old, Context());
    EXPECT_EQ(old.IncludeList, (std::vector<std::string>{"*-Include-*", "c:\\a\\", "d:\\z\\"}));
    EXPECT_TRUE(old.ExcludeList.empty());
    EXPECT_EQ(old.ZipPassword, "");
    EXPECT_TRUE(old.EraseCD);
    EXPECT_TRUE(old.Includefolderinformation);
    EXPECT_EQ(old.PreWait, 10);

    // Option lines that stop after line 17 keep the defaults of 18 to 29; "unchanged" ones
    // keep what the job held.
    std::vector<std::string> early(lines.begin(), lines.begin() + 17);
    early.insert(early.end(), {"*-Include-*", "c:\\a\\", "*-Exclude-*", "c:\\a\\b\\"});
    early[15] = "1"; // line 16, the catalogue option
    early[16] = "0"; // line 17, folder entries
    JobDefinition stopped;
    stopped.EraseCD = true;
    stopped.CatalogNames = "kept";
    stopped.WriterIndex = 3;
    stopped.Optimizeusedspace = false;
    job::ReadJobText(JoinLines(early), stopped, Context());
    EXPECT_TRUE(stopped.MakeCatalog);
    EXPECT_FALSE(stopped.Includefolderinformation);
    EXPECT_TRUE(stopped.Optimizeusedspace);
    EXPECT_TRUE(stopped.EraseCD);
    EXPECT_EQ(stopped.CatalogNames, "kept");
    EXPECT_EQ(stopped.WriterIndex, 3);
    EXPECT_EQ(stopped.PostWait, 1);
    EXPECT_EQ(stopped.IncludeList, std::vector<std::string>{"c:\\a\\"});
    EXPECT_EQ(stopped.ExcludeList, std::vector<std::string>{"c:\\a\\b\\"});

    // A newer layout's lines after line 29 are skipped up to the marker.
    std::vector<std::string> newer = lines;
    newer.insert(newer.begin() + 29, {"30", "new option", "1"});
    JobDefinition extra;
    job::ReadJobText(JoinLines(newer), extra, Context());
    JobDefinition plain;
    job::ReadJobText(JoinLines(lines), plain, Context());
    EXPECT_EQ(extra, plain);
}

TEST(JobFile, NumbersThatDoNotParseAndMissingLinesFallBack) {
    struct Case {
        int line;
        std::string text;
        int level;
        std::string sizeText;
        int64_t maxZipSize;
    };
    const Case cases[] = {
        {8, "5000", 6, "4095", 4'294'967'295}, {8, "4095", 6, "4095", 4095LL * 1'048'576},
        {8, "abc", 6, "650", 681'574'400},     {8, "99999999999999999999", 6, "650", 681'574'400},
        {7, "1", 2, "700", 700LL * 1'048'576}, {7, "12", 7, "700", 700LL * 1'048'576},
        {7, "x", 6, "700", 700LL * 1'048'576},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = JobLines();
        lines[7 - 1] = "9";
        lines[8 - 1] = "700";
        lines[c.line - 1] = c.text;
        JobDefinition job;
        job::ReadJobText(JoinLines(lines), job, Context());
        EXPECT_EQ(job.CompressionLevel, c.line == 7 ? c.level : 7) << c.text;
        EXPECT_EQ(job.ZipSizeText, c.sizeText) << c.text;
        EXPECT_EQ(job.JobMaxZipText, c.sizeText) << c.text;
        EXPECT_EQ(job.MaxZipSize, c.maxZipSize) << c.text;
    }

    // Lines 25, 26 and 28 that are no number leave the values as they were; line 4 gives now.
    std::vector<std::string> lines = JobLines();
    lines[3] = "yesterday";
    lines[24] = lines[25] = lines[27] = "n/a";
    JobDefinition job;
    job.WriterIndex = 2;
    job::ReadJobText(JoinLines(lines), job, Context());
    EXPECT_EQ(job.WriterIndex, 2);
    EXPECT_EQ(job.PreWait, 10);
    EXPECT_EQ(job.PostWait, 1);
    EXPECT_EQ(job.AfterDateText, core::DateToStrFixed(jobtest::now, core::LocaleFormat{}));

    // A file cut after line 5 reads the rest as empty lines.
    JobDefinition cut;
    cut.ZipName = "old";
    job::ReadJobText(JoinLines({"e:", "1", "1", "46000.5", "1"}), cut, Context());
    EXPECT_EQ(cut.ZipName, "");
    EXPECT_EQ(cut.CompressionLevel, 6);
    EXPECT_EQ(cut.ZipSizeText, "650");
    EXPECT_FALSE(cut.IncludeFulldriveInfo || cut.Includedriveinfo);
    EXPECT_TRUE(cut.IncludeList.empty());
}

TEST(JobFile, AnyLineEndsNulBytesAndOneHugeLineLoad) {
    const std::vector<std::string> lines = JobLines();
    JobDefinition crlf, lf, cr;
    job::ReadJobText(JoinLines(lines, "\r\n"), crlf, Context());
    job::ReadJobText(JoinLines(lines, "\n"), lf, Context());
    job::ReadJobText(JoinLines(lines, "\r"), cr, Context());
    EXPECT_EQ(lf, crlf);
    EXPECT_EQ(cr, crlf);

    std::vector<std::string> odd = lines;
    odd[0] = std::string("e:\0x", 4);
    odd.insert(odd.end() - 1, std::string(4 << 20, 'h'));
    JobDefinition job;
    job::ReadJobText(JoinLines(odd), job, Context());
    EXPECT_EQ(job.Destination, std::string("e:\0x", 4));
    ASSERT_EQ(job.IncludeList.size(), 1u);
    EXPECT_EQ(job.IncludeList[0].size(), 4u << 20);

    std::string binary;
    for (int i = 0; i < 5000; ++i)
        binary += static_cast<char>((i * 7919) % 256);
    JobDefinition garbage;
    try {
        job::ReadJobText(binary, garbage, Context());
    } catch (const core::EConvertError&) {
        // A password line of garbage is the one damage that stops a load.
    }
}

TEST(JobFile, PasswordLine) {
    std::vector<std::string> lines = JobLines();
    JobDefinition job;
    job.ZipPassword = "previous";
    lines[10] = "#####";
    job::ReadJobText(JoinLines(lines), job, Context());
    EXPECT_EQ(job.ZipPassword, "");
    EXPECT_EQ(job::WriteJobText(job, Context()), JoinLines(lines));

    // Damage stops the load; what was read before it stays.
    lines[0] = "f:";
    lines[10] = "#####12a45";
    EXPECT_THROW(job::ReadJobText(JoinLines(lines), job, Context()), core::EConvertError);
    EXPECT_EQ(job.Destination, "f:");
    EXPECT_TRUE(job.IncludeList.empty());
}

TEST(JobFile, ValuesThatWouldBreakTheLayoutAreNotStored) {
    JobDefinition job;
    job.AfterDateText = "not a date";
    job.IncludeList = {"c:\\a\\", "*-Exclude-*", "c:\\b\\"};
    job.ExcludeList = {"*-Include-*"};
    job.PreRunFile = "*-Include-*";
    job.PostRunFile = "run\r\nme";
    job.Includedriveinfo = job.IncludeFulldriveInfo = true;
    const std::string text = job::WriteJobText(job, Context());
    const std::vector<std::string> lines = jobtest::SplitLines(text);
    EXPECT_EQ(lines[0], "  ");
    EXPECT_EQ(lines[3], "40.1");
    EXPECT_EQ(lines[9], "2");
    EXPECT_EQ(lines[26], "");
    EXPECT_EQ(lines[28], "runme");
    JobDefinition back;
    job::ReadJobText(text, back, Context());
    EXPECT_EQ(back.IncludeList, (std::vector<std::string>{"c:\\a\\", "c:\\b\\"}));
    EXPECT_EQ(back.ExcludeList, std::vector<std::string>{"*-Include-*"});
    EXPECT_EQ(back.Destination, "  ");
}
