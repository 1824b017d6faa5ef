// The main form's log: one routine every part reports through, mirrored to the running job's
// or restore's log, the run log, the job report's mail body and the log view.
#include "ui/MFo.h"

#include "core/LogFile.h"
#include "core/PathText.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/FileText.h"
#include "gui/ListBox.h"
#include "gui/PageControl.h"
#include "gui/Prompter.h"
#include "gui/Wait.h"

namespace ui {

namespace {
constexpr int maxLogViewLines = 1000;
// The view shows the start of very long lines only; the file keeps them whole.
constexpr size_t maxShownLineLength = 1024;

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::string Shown(const std::string& line) {
    std::string shown = line.substr(0, maxShownLineLength);
    for (char& c : shown)
        if (c == '\0') c = ' ';
    return shown;
}
} // namespace

std::string TMF::StampText() const {
    try {
        return DateToStrFixed(gui::CurrentClock().Now(), Locale);
    } catch (const std::exception&) {
        return {};
    }
}

std::string TMF::ProgramLogPath() const {
    return core::DataFolder(DataDir(), environment_.ProgramFolder()) + environment_.ProgramBaseName() +
           ".log";
}

std::string TMF::LogFolder() const {
    return core::DataFolder(DataDir(), environment_.ProgramFolder()) + "Log\\";
}

core::LogWritten TMF::AppendTo(const std::string& path, const std::string& text, bool stamp,
                               const std::string& firstLine, bool fallBack) {
    if (path.empty()) return core::LogWritten::Dropped;
    return logFiles_.Write(path, {core::LogLine(StampText(), text, stamp)}, firstLine, fallBack);
}

void TMF::AddToLog(const std::string& text, bool stamp) {
    const std::string line = core::LogLine(StampText(), text, stamp);
    logFiles_.Write(ProgramLogPath(), {line}, core::LogCreatedLine(StampText()));
    Session.MailBody.push_back(line);
    if (RestoreRunning()) WriteRestoreLog(text, stamp, false);
    // A job's log takes lines while the job runs, not those of a burn or an erase after it.
    if (Session.Logging()) WriteJobLog(text, stamp, false);
    if (PageControl1 && PageControl1->ActivePage() == TabSheet3) {
        if (LogViewStale) {
            LogViewStale = false;
            UpdateLogExecute();
        } else {
            ListBox5->Items().Insert(0, Shown(line));
            ListBox5->WidenFor({Shown(line)});
        }
    }
}

void TMF::AddToJobLog(const std::string& text, bool stamp) {
    WriteJobLog(text, stamp, true);
}

void TMF::AddToRestoreLog(const std::string& text, bool stamp) {
    WriteRestoreLog(text, stamp, true);
}

void TMF::AddToRunLog(const std::string& text, bool stamp) {
    WriteRunLog(text, stamp, true);
}

void TMF::WriteJobLog(const std::string& text, bool stamp, bool fallBack) {
    const auto written =
        AppendTo(Session.JobLogName, text, stamp, core::LogCreatedLine(StampText()), fallBack);
    WriteRunLog(text, stamp, fallBack && written != core::LogWritten::Fallback);
}

void TMF::WriteRestoreLog(const std::string& text, bool stamp, bool fallBack) {
    const auto written = AppendTo(RestoreLogName, text, stamp, core::LogCreatedLine(StampText()), fallBack);
    WriteRunLog(text, stamp, fallBack && written != core::LogWritten::Fallback);
}

void TMF::WriteRunLog(const std::string& text, bool stamp, bool fallBack) {
    if (flags_.JobName.empty()) return;
    // The name the job start deletes at a fresh run.
    const std::string jobFile = flags_.JobName.substr(flags_.JobName.find_last_of("\\/:") + 1);
    const std::string runLog = environment_.ProgramFolder() + core::JobBaseName(jobFile) + ".log";
    AppendTo(runLog, text, stamp, core::LogLine(StampText(), flags_.JobName, true), fallBack);
}

void TMF::BeginJobLog(const std::string& jobLogName) {
    Session.JobLogName = jobLogName;
    if (!jobLogHeld_) logFiles_.Hold();
    jobLogHeld_ = true;
}

void TMF::EndJobLog() {
    if (jobLogHeld_) logFiles_.Release();
    jobLogHeld_ = false;
}

void TMF::BeginRestoreLog(const std::string& restoreLogName) {
    RestoreLogName = restoreLogName;
    // A verify names no log: nothing to hold.
    if (restoreLogName.empty() || restoreLogHeld_) return;
    logFiles_.Hold();
    restoreLogHeld_ = true;
}

void TMF::EndRestoreLog() {
    if (restoreLogHeld_) logFiles_.Release();
    restoreLogHeld_ = false;
}

void TMF::UpdateLogExecute() {
    ListBox5->Items().Clear();
    ListBox5->ResetWidth();
    gui::ProcessMessages();
    bool archive = false;
    std::vector<std::string> lines;
    try {
        std::string text;
        const std::string path = ProgramLogPath();
        if (!gui::ReadWholeFile(path, text)) logFiles_.Write(path, {}, core::LogCreatedLine(StampText()));
        lines = SplitLines(text);
        archive = static_cast<int>(lines.size()) - 1 > maxLogViewLines && !Session.Running();
    } catch (const std::exception&) {
        archive = true;
    }
    if (archive) {
        std::string saved;
        logFiles_.Close(ProgramLogPath());
        try {
            saved = core::ArchiveProgramLog(ProgramLogPath(), LogFolder(), environment_.ProgramBaseName());
        } catch (const core::ELogWriteError& error) {
            // The log stays as it was; the next update tries again.
            AddToLog(error.what());
            return;
        }
        const std::string message = "The log file is saved as: " + saved;
        AddToLog(message);
        if (ListBox5->Items().Count() == 0) {
            ListBox5->Items().Insert(0, Shown(core::LogLine(StampText(), message, true)));
            ListBox5->WidenFor({ListBox5->Items()[0]});
        }
        return;
    }
    std::vector<std::string> shown;
    shown.reserve(lines.size());
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        shown.push_back(Shown(*line));
    ListBox5->Items().AddStrings(shown);
    ListBox5->WidenFor(shown);
    gui::ProcessMessages();
}

void TMF::FlushAttributeList() {
    gui::ProcessMessages();
    core::AppendLines(environment_.ProgramFolder() + "Att.Lst", Session.ArchiveBitPending, "");
    Session.ArchiveBitPending.clear();
    gui::ProcessMessages();
}

void TMF::ClearLog(bool ask) {
    if (ask && !AskYesNo("The log will be cleared, continue?")) return;
    logFiles_.Close(ProgramLogPath());
    if (!gui::ReplaceFileContents(ProgramLogPath(), {})) AddToLog("Cannot empty the log " + ProgramLogPath());
    ListBox5->Items().Clear();
    UpdateLogExecute();
}

} // namespace ui
