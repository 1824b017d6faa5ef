#include "job/ProgramLine.h"

#include "gui/IniDocument.h"
#include "gui/Shell.h"
#include "gui/TextTrim.h"

#include <algorithm>
#include <limits>

namespace job {

namespace {} // namespace

ProgramCall SplitProgramLine(std::string_view line) {
    ProgramCall call;
    const std::string text = gui::Trim(line);
    if (!text.empty() && text.front() == '"') {
        const size_t close = text.find('"', 1);
        if (close == std::string::npos) {
            call.Program = gui::Trim(std::string_view(text).substr(1));
        } else {
            call.Program = gui::Trim(std::string_view(text).substr(1, close - 1));
            call.Parameters = gui::Trim(std::string_view(text).substr(close + 1));
        }
    } else {
        call.Program = text;
    }
    const size_t slash = call.Program.find_last_of("\\/");
    if (slash != std::string::npos) call.Folder = call.Program.substr(0, slash + 1);
    return call;
}

int WaitSecondsOf(const std::string& text, int old) {
    const int value = gui::ParseIniInteger(text, old);
    return value < 0 ? 0 : value;
}

int ProgramWaitMs(int seconds) {
    constexpr int longest = std::numeric_limits<int>::max() / 1000;
    return std::clamp(seconds, 0, longest) * 1000;
}

bool StartProgramLine(std::string_view line) {
    const ProgramCall call = SplitProgramLine(line);
    if (call.Program.empty()) return false;
    return gui::Shell().Open(call.Program, call.Parameters, call.Folder);
}

} // namespace job
