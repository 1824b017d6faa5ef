// The job's disc writer as the program has it, over the window's disc-writer component and the
// simulated drive beside the program: the writer chosen by its letter or by the job's writer
// choice, the room on the disc (blocks of 2,048 bytes, nothing on a closed disc), and no room
// after an erase for a disc that cannot be erased, which a job with the erase option is told
// and writes without the erase. A disc whose session is no file system gets the box that it
// must be erased.
#include "DiscJobSupport.h"
#include "job/JobStart.h"

#include <gtest/gtest.h>

#include <random>

using discjob::Count;
using discjob::DiscJob;
using testsupport::WriteWholeFile;

namespace {

struct DiscCase {
    const char* media;
    const char* discKeys;
    bool room;
    int64_t afterErase;
};

// Two sessions: 40 blocks at 0 and 30 blocks one session gap on.
const DiscCase discCases[] = {
    {"CD-R", "", true, -1},
    {"CD-R", "Prefill=s1.iso@0,s2.iso@11440\nClosed=1\n", false, -1},
    {"CD-RW", "Prefill=s1.iso@0,s2.iso@11440\n", true, 359'849LL * 2048},
};

} // namespace

TEST(JobDisc, TheWriterIsChosenByLetterOrChoiceAndSaysWhenItsDiscCannotBeErased) {
    for (const DiscCase& c : discCases) {
        SCOPED_TRACE(std::string(c.media) + " " + c.discKeys);
        DiscJob p(c.media, c.discKeys);
        WriteWholeFile(p.folder / "s1.iso", disctest::CraftedIso(40, 40));
        WriteWholeFile(p.folder / "s2.iso", disctest::CraftedIso(30, 30));
        ui::TMF& form = p.Form();
        ASSERT_GE(form.WriterChoices.size(), 2u) << "\"Use path\" and the drive";
        job::DiscWriter& writer = form.JobDiscWriter();
        ASSERT_TRUE(writer.Load(false));
        ASSERT_TRUE(writer.Select(form.WriterChoices[1], 0));
        EXPECT_TRUE(writer.Ready(5'000));
        // The drives tab's rule for the room on a disc.
        const int64_t free = form.DiscTab->DiscFreeBytes();
        EXPECT_EQ(free > 0, c.room) << free;
        EXPECT_EQ(writer.FreeBytes(), free);
        EXPECT_EQ(writer.CapacityAfterErase(), c.afterErase);
        EXPECT_EQ(writer.RoomAfterErase(), c.afterErase >= 0 ? c.afterErase : free)
            << "a disc that cannot be erased is appended to";
        ASSERT_TRUE(writer.Select("", 'F'));
        EXPECT_EQ(writer.FreeBytes(), free);
        writer.Release();
    }
}

// The erase option on a write-once disc: the start says so once, and every volume is written
// and compared without an erase command reaching the drive.
TEST(JobDisc, AJobThatWouldEraseAWriteOnceDiscIsToldAndWritesWithoutErasing) {
    DiscJob p("CD-R");
    p.job.EraseCD = true;
    p.Sources("a", 2, 3'000'000, 7);
    p.Run();
    const std::string log = p.ProgramLog();
    EXPECT_EQ(Count(log, "Disc is not Erasable"), 1u) << log;
    const size_t volumes = Count(log, "File created: ");
    EXPECT_GE(volumes, 2u) << log;
    EXPECT_EQ(Count(log, "Burned and compared with source, OK"), volumes) << log;
    EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
    EXPECT_EQ(p.Commands("a1 "), 0u) << "no erase reaches the drive";
}

// A rewritable disc whose session holds no file system: the box (hidden: the log line) before
// the first volume, which is then written after it; the next volume's name test reads the
// job's own session and says nothing.
TEST(JobDisc, ADiscFormattedForAnotherKindOfWritingGetsTheBoxThatItMustBeErased) {
    const std::string formatted =
        "The destination disc is formated. The program can not write to it, you have "
        "to select erase disc or erase it manually";
    for (const bool hidden : {true, false}) {
        SCOPED_TRACE(hidden ? "hidden" : "shown");
        std::mt19937 random(11);
        std::string packets(40 * 2048, '\0');
        for (char& c : packets)
            c = static_cast<char>(random());
        DiscJob p("CD-RW", "Prefill=packets.bin@0\n", 0, "", {{"packets.bin", packets}});
        p.program->Flags().Hidden = hidden;
        p.job.Testarchiveafterbackup1 = false;
        p.Sources("a", 2, 3'000'000, 5);
        if (!hidden) p.prompter.AnswerMessage(gui::mrOk);
        p.Run();
        const std::string log = p.ProgramLog();
        EXPECT_EQ(Count(log, formatted), 1u) << log;
        EXPECT_GE(Count(log, "File created: "), 2u) << log;
        EXPECT_EQ(Count(log, "Backup end: Daily.dat"), 1u) << log;
        const std::vector<gui::TPromptRecord> asked = p.prompter.Requests();
        if (hidden) {
            EXPECT_TRUE(asked.empty());
        } else {
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].Message.Text, formatted);
            EXPECT_EQ(asked[0].Message.Icon, gui::TMsgIcon::Exclamation);
        }
    }
}
