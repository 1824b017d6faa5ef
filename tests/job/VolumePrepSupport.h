#pragma once
// The window as volume preparation sees it, played by a recorder: boxes answered from a
// script (each answer may first change the world, as a user swapping a disk does), waits run
// on the manual clock with a hook per wait, mails and status boxes recorded. And a rig: a
// program folder with its temporary folder, a session with a running job, and the manual
// clock installed.

#include "WinTestSupport.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "job/VolumePrep.h"
#include "job/WindowlessHost.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace volpreptest {

class PrepHost : public job::WindowlessHost {
  public:
    explicit PrepHost(job::JobSession& session, std::string folder)
        : session_(session), folder_(std::move(folder)) {}

    void AddToLog(const std::string& text) override { log.push_back(text); }
    void ShowStatusAndLog(const std::string& text) override { log.push_back(text); }
    void Wait(int milliseconds) override {
        waits.push_back(milliseconds);
        static_cast<gui::ManualClock&>(gui::CurrentClock()).Advance(milliseconds);
        if (onWait) onWait(milliseconds);
    }
    bool Cancelled() override { return session_.Cancelled; }
    void SetCancelled(bool cancelled) override { session_.Cancelled = cancelled; }
    bool Hidden() override { return hidden; }
    void ShowMessage(const std::string& text, gui::TMsgIcon) override { boxes.push_back(text); }
    bool AskYesNo(const std::string& text, gui::TMsgIcon) override { return Answer(text); }
    bool AskOkCancel(const std::string& text, gui::TMsgIcon) override { return Answer(text); }
    std::string ProgramFolder() override { return folder_; }
    std::string ProgramFile() override { return folder_ + "tarnwick.exe"; }
    std::string DataBase() override { return folder_; }
    std::string TempPath() override { return folder_ + "temp\\"; }
    std::string JobName() override { return "Daily.dat"; }
    bool MailConfigured() override { return mailTo; }
    int HiddenWaitMinutes() override { return waitMinutes; }
    void SendJobMail(const std::vector<std::string>& body, const std::string& suffix,
                     const std::string& attachment) override {
        std::string text;
        for (const std::string& line : body)
            text += line + "\n";
        mails.push_back(suffix + "|" + attachment + "|" + text);
    }
    void ShowStatusBox(const std::string& text) override { statusBoxes.push_back(text); }
    job::DiscDrives Drives() override { return drives; }

    // A scripted answer: the question is recorded, the action runs, the answer is given.
    // A question without an answer fails the test and is answered Cancel/No.
    struct Reply {
        bool Yes = true;
        std::function<void()> Before;
    };
    std::deque<Reply> replies;
    bool hidden = false, mailTo = false;
    int waitMinutes = 1440;
    job::DiscDrives drives;
    std::function<void(int)> onWait;
    std::vector<std::string> log, boxes, asked, mails, statusBoxes;
    std::vector<int> waits;

    bool Logged(const std::string& part) const {
        for (const std::string& line : log)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

  private:
    bool Answer(const std::string& text) {
        asked.push_back(text);
        if (replies.empty()) {
            ADD_FAILURE() << "unscripted question: " << text;
            return false;
        }
        Reply reply = replies.front();
        replies.pop_front();
        if (reply.Before) reply.Before();
        return reply.Yes;
    }

    job::JobSession& session_;
    std::string folder_;
};

// A running job whose volumes go to destination, MaxZipSize bytes each.
struct PrepRig {
    PrepRig() : host(session, folder.Path()) {
        gui::Application();
        testsupport::DrainQueue();
        gui::SetClock(&clock);
        CreateDirectoryA(host.TempPath().c_str(), nullptr);
        session.State = job::JobState::Running;
        session.JobLogName = folder / "Log\\Daily_100.txt";
        job::JobRun& run = session.Run;
        run.TempPath = host.TempPath();
        run.ZipDate = "20261207";
        run.ZipName = "Vol";
        run.TotalMB = 1000;
    }
    ~PrepRig() {
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    void Destination(const std::string& path, int64_t maxZipSize) {
        session.Run.DestPath = path;
        session.Run.DestList = {path};
        session.Run.MaxZipSize = maxZipSize;
    }

    gui::ManualClock clock;
    testsupport::TempFolder folder;
    job::JobSession session;
    PrepHost host;
    job::VolumePrep prep{session, host};
};

// Deterministic bytes that do not compress.
inline std::string Bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 23);
    }
    return bytes;
}

} // namespace volpreptest
