// The job start as the hosted program runs it, for what reaches beyond the start: an
// unfinished run given up gives its archive bits back, the live registry hives are taken as
// their saved copies, the temporary folder typed on the drives tab wins, a catalogue list that
// cannot be written costs the job one try, and "mail is set up" means that a mail can go.
#include "HostedJob.h"
#include "core/Settings.h"
#include "gui/Edit.h"
#include "job/JobStartRules.h"
#include "job/MailReport.h"
#include "ui/MFoDiscs.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace hostedjob;

namespace {

// What a killed run of a job that clears archive bits leaves: the resume state and the list of
// the files whose bits its volumes clear, the bits of the volume it was building cleared.
std::vector<std::string> LeaveUnfinishedRun(HostedProgram& hosted, const TempFolder& lost) {
    std::vector<std::string> paths;
    std::string list;
    for (int i = 0; i < 3; ++i) {
        const std::string path = lost / ("lost" + std::to_string(i) + ".txt");
        WriteWholeFile(path, "lost half volume");
        hosted.attributes.files.files[path] = 0;
        paths.push_back(path);
        list += path + "\r\n";
    }
    WriteWholeFile(hosted.programFolder / "Att.Lst", list);
    WriteWholeFile(hosted.form->ResumeStatePath(".run"),
                   "[Running]\r\nJobName=Daily.dat\r\nZipDate=20261206\r\n");
    return paths;
}

} // namespace

// Given up by a hidden start, by No to the resume question, or by a fresh run of a hidden
// start that cannot offer the resume kept for it, the killed run's files get their archive
// bits back before the list goes; the list of a run that ended is only deleted.
TEST(HostedStart, AnUnfinishedRunGivenUpGetsItsArchiveBitsBackBeforeItsListIsDeleted) {
    for (const char* way : {"hidden start", "No to the question", "kept but hidden", "run that ended"}) {
        SCOPED_TRACE(way);
        const bool hidden = std::string(way) != "No to the question";
        HostedProgram hosted(hidden);
        TempFolder lost, source;
        WriteWholeFile(source / "today.txt", "today's file");
        job::JobDefinition daily;
        daily.Destination = hosted.programFolder / "dest";
        daily.IncludeList = {source.Path() + "*.*"};
        hosted.WriteJob(daily);
        const std::vector<std::string> paths = LeaveUnfinishedRun(hosted, lost);
        const bool ended = std::string(way) == "run that ended";
        if (ended) DeleteFileA(hosted.form->ResumeStatePath(".run").c_str());
        if (!hidden) hosted.prompter.AnswerMessage(gui::mrNo);
        hosted.form->KeepResumeState = std::string(way) != "hidden start";
        hosted.RunJob();

        EXPECT_EQ(Count(hosted.ProgramLog(), "Backup end: Daily.dat\r\n"), 1u) << hosted.ProgramLog();
        EXPECT_FALSE(std::filesystem::exists(hosted.programFolder / "Att.Lst"));
        EXPECT_FALSE(std::filesystem::exists(hosted.form->ResumeStatePath(".run")));
        for (const std::string& path : paths)
            EXPECT_EQ(hosted.attributes.Get(path) & gui::AttributeArchive, ended ? 0u : gui::AttributeArchive)
                << path;
        if (!hidden) {
            const std::vector<std::string> asked = hosted.prompter.MessageTexts();
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_TRUE(asked[0].starts_with("Your last job: Daily.dat was not finished")) << asked[0];
        }
    }
}

// A job with the registry over the folder of the live hives, locked as Windows keeps them:
// each is accepted for its saved copy, which the volume holds under the live name, and
// neither the test nor the zip run reports it as a file left out.
TEST(HostedStart, LockedLiveHivesAreTakenAsTheirSavedCopiesWithoutASkippedFileWarning) {
    HostedProgram hosted;
    const std::string windows = hosted.environment.windowsFolder;
    const std::string config = windows + "\\system32\\config\\";
    const std::string regback = windows + "\\repair\\RegBack\\";
    const char* hives[] = {"system", "software", "security", "sam", "default"};
    std::filesystem::create_directories(config);
    std::vector<HANDLE> locks;
    for (const char* hive : hives) {
        WriteWholeFile(config + hive, std::string("live ") + hive);
        locks.push_back(CreateFileA((config + hive).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(locks.back(), INVALID_HANDLE_VALUE);
    }
    hosted.shell.onStart = [&](const std::string& program) {
        if (program != "NTBACKUP.EXE") return;
        std::filesystem::create_directories(regback);
        for (const char* hive : hives)
            WriteWholeFile(regback + hive, std::string("saved ") + hive);
    };
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.IncludeList = {"%REGISTRY%", config + "*.*"};
    hosted.WriteJob(daily);
    hosted.RunJob();
    for (HANDLE lock : locks)
        CloseHandle(lock);

    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    const std::string jobLog = ReadWholeFile(hosted.form->Session.JobLogName);
    EXPECT_EQ(Count(jobLog, "File skipped"), 0u) << jobLog;
    EXPECT_EQ(Count(log, "Warning some files where skipped"), 0u) << log;
    const std::vector<std::string> zips = ZipsIn(hosted.programFolder / "dest");
    ASSERT_EQ(zips.size(), 1u);
    std::map<std::string, int> stored;
    for (const std::string& name : EntriesOf(hosted.programFolder / ("dest\\" + zips[0])))
        ++stored[name];
    for (const char* hive : hives)
        EXPECT_EQ(stored[windows.substr(3) + "\\system32\\config\\" + hive], 1) << hive;
}

// The start's temporary folder is missing: the one typed on the drives tab is tried once
// more and kept, in both settings files. A catalogue list that refuses its first line is not
// tried again for every later one (each try waits a second).
TEST(HostedStart, TheTypedTemporaryFolderWinsAndARefusedCatalogueListIsTriedOnce) {
    HostedProgram hosted;
    TempFolder source;
    for (int i = 0; i < 12; ++i)
        WriteWholeFile(source / ("file" + std::to_string(i) + ".txt"), "text " + std::to_string(i));
    ui::TMF& form = *hosted.form;
    const std::string typed = hosted.programFolder / "typed temp\\";
    form.Flags().TempPath = "Q:\\no such drive\\";
    ASSERT_TRUE(form.DiscTab);
    form.DiscTab->EditTempPath->SetText(typed);
    job::JobDefinition daily;
    daily.Destination = hosted.programFolder / "dest";
    daily.MakeCatalog = true;
    daily.IncludeList = {source.Path() + "*.*", "%CATALOG%"};
    hosted.WriteJob(daily);
    // The list's name holds the minute of the start; a folder of that name refuses every line.
    const std::string csv =
        job::CsvFileNameFor(hosted.programFolder.Path(), "Daily.dat", gui::CurrentClock().Now());
    std::filesystem::create_directories(csv);
    hosted.RunJob();

    EXPECT_EQ(form.Flags().TempPath, typed);
    EXPECT_TRUE(std::filesystem::is_directory(typed));
    EXPECT_EQ(form.ProgramIni().ReadString("Files", "TempPath", ""), typed);
    EXPECT_EQ(form.DiscTab->EditTempPath->Text(), typed);
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "The catalogue list could not be written: " + csv), 1u) << log;
}

// A recipient alone is no mail set up: the job's notices would wait for a mail never sent.
TEST(HostedStart, MailIsSetUpOnlyWhenAMailCanBeSent) {
    HostedProgram hosted;
    struct Case {
        const char *to, *server, *port;
        bool configured;
    };
    for (const Case& c :
         {Case{"ops@example.com", "", "25", false}, Case{" ", "mail.example.com", "25", false},
          Case{"ops@example.com", "mail.example.com", " ", false},
          Case{"ops@example.com", " mail.example.com ", "25", true}}) {
        core::EMailSettings mail;
        mail.to = c.to;
        mail.smtpServer = c.server;
        mail.smtpPort = c.port;
        core::WriteEMail(hosted.form->ProgramIni(), mail);
        EXPECT_EQ(hosted.form->Host().MailConfigured(), c.configured)
            << c.to << "|" << c.server << "|" << c.port;
        EXPECT_EQ(job::MailConfigured(core::ReadEMail(hosted.form->ProgramIni())), c.configured);
    }
}
