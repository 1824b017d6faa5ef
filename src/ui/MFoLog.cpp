// The main form's log: one routine every part reports through, mirrored to the running job's
// or restore's log, the run log, the job report's mail body and the log view.
#include "ui/MFo.h"

#include "core/LogFile.h"
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
constexpr char idleCaption[] = "&Start";

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
    const std::string folder = DataDir().empty() ? environment_.ProgramFolder() : DataDir();
    return folder + environment_.ProgramBaseName() + ".log";
}

std::string TMF::LogFolder() const {
    return (DataDir().empty() ? environment_.ProgramFolder() : DataDir()) + "Log\\";
}

void TMF::AppendTo(const std::string& path, const std::string& text, bool stamp,
                   const std::string& firstLine) {
    if (path.empty()) return;
    core::AppendLogLine(path, core::LogLine(StampText(), text, stamp), firstLine);
}

void TMF::AddToLog(const std::string& text, bool stamp) {
    const std::string line = core::LogLine(StampText(), text, stamp);
    core::AppendLogLine(ProgramLogPath(), line, core::LogCreatedLine(StampText()));
    JobLogLines.push_back(line);
    if (StartRestore && StartRestore->Caption() != idleCaption) AddToRestoreLog(text, stamp);
    if (Startbackup && Startbackup->Caption() != idleCaption) AddToJobLog(text, stamp);
    if (PageControl1 && PageControl1->ActivePage() == TabSheet3) {
        if (LogViewStale) {
            LogViewStale = false;
            UpdateLogExecute();
        } else {
            ListBox5->Items().Insert(0, Shown(line));
        }
    }
}

void TMF::AddToJobLog(const std::string& text, bool stamp) {
    AppendTo(JobLogName, text, stamp, core::LogCreatedLine(StampText()));
    AddToRunLog(text, stamp);
}

void TMF::AddToRestoreLog(const std::string& text, bool stamp) {
    AppendTo(RestoreLogName, text, stamp, core::LogCreatedLine(StampText()));
    AddToRunLog(text, stamp);
}

void TMF::AddToRunLog(const std::string& text, bool stamp) {
    if (flags_.JobName.empty()) return;
    std::string jobFile = flags_.JobName.substr(flags_.JobName.find_last_of("\\/:") + 1);
    const size_t dot = jobFile.find_last_of('.');
    const std::string runLog = environment_.ProgramFolder() + jobFile.substr(0, dot) + ".log";
    AppendTo(runLog, text, stamp, core::LogLine(StampText(), flags_.JobName, true));
}

void TMF::UpdateLogExecute() {
    ListBox5->Items().Clear();
    gui::ProcessMessages();
    bool archive = false;
    std::vector<std::string> lines;
    try {
        std::string text;
        const std::string path = ProgramLogPath();
        if (!gui::ReadWholeFile(path, text)) core::AppendLogLine(path, core::LogCreatedLine(StampText()), "");
        lines = SplitLines(text);
        archive = static_cast<int>(lines.size()) - 1 > maxLogViewLines && !JobRunning;
    } catch (const std::exception&) {
        archive = true;
    }
    if (archive) {
        const std::string saved =
            core::ArchiveProgramLog(ProgramLogPath(), LogFolder(), environment_.ProgramBaseName());
        const std::string message = "The log file is saved as: " + saved;
        AddToLog(message);
        if (ListBox5->Items().Count() == 0)
            ListBox5->Items().Insert(0, Shown(core::LogLine(StampText(), message, true)));
        return;
    }
    std::vector<std::string> shown;
    shown.reserve(lines.size());
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        shown.push_back(Shown(*line));
    ListBox5->Items().AddStrings(shown);
    gui::ProcessMessages();
}

void TMF::FlushAttributeList() {
    gui::ProcessMessages();
    core::AppendLines(environment_.ProgramFolder() + "Att.Lst", ArchiveBitPending, "");
    ArchiveBitPending.clear();
    gui::ProcessMessages();
}

void TMF::ClearLog(bool ask) {
    if (ask && !AskYesNo("The log will be cleared, continue?")) return;
    if (!gui::ReplaceFileContents(ProgramLogPath(), {}))
        throw core::ELogWriteError("Cannot empty the log " + ProgramLogPath());
    ListBox5->Items().Clear();
    UpdateLogExecute();
}

} // namespace ui
