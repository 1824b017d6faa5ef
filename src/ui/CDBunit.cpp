#include "ui/CDBunit.h"

#include "gui/Application.h"
#include "ui/MFo.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <mutex>

namespace ui {

namespace {
constexpr int dvdPlusRw = 10;

// Lines of every frame wait here for the GUI thread; one posted call drains them.
struct DebugQueue {
    std::mutex lock;
    std::deque<std::pair<std::string, bool>> lines;
    bool drainPosted = false;
};

DebugQueue& Queue() {
    static DebugQueue queue;
    return queue;
}

void Drain(const std::shared_ptr<FrameReports>& reports) {
    std::deque<std::pair<std::string, bool>> lines;
    {
        std::lock_guard<std::mutex> hold(Queue().lock);
        lines.swap(Queue().lines);
        Queue().drainPosted = false;
    }
    if (!reports->OnDebugLine) return;
    for (const auto& [line, toLog] : lines)
        reports->OnDebugLine(line, toLog);
}
} // namespace

TFrameCDB::TFrameCDB(std::shared_ptr<FrameReports> reports) : reports_(std::move(reports)) {
    Burner1.UnderrunProtection = true;
    Burner1.DoDebug = true;
    Burner1.ReadSpeed = 0;
    Burner1.FinalizeDisc = false;
    Burner1.TestWrite = false;
#pragma push_macro("ReplaceFile")
#undef ReplaceFile
    Burner1.Image.ReplaceFile = true;
#pragma pop_macro("ReplaceFile")
    Burner1.PerformOPC = true;
    Burner1.Image.IdApplication = "Tarnwick";
    Burner1.SetCacheSize(4194304);
    Burner1.Image.WritePostGap = false;
    Burner1.OnWriteDone = [this](void* sender, const std::string& error) { Burner1WriteDone(sender, error); };
    Burner1.OnEraseDone = [this](void* sender, bool withError) { Burner1EraseDone(sender, withError); };
    Burner1.OnDebugMessage = [this](void* sender, const std::string& message, uint8_t mType) {
        Burner1DebugMessage(sender, message, mType);
    };
}

TFrameCDB::~TFrameCDB() {
    // A report raised while the component ends has nobody to go to.
    Burner1.OnWriteDone = nullptr;
    Burner1.OnEraseDone = nullptr;
}

void TFrameCDB::Burner1WriteDone(void*, const std::string& error) {
    reports_->BurnErrorText = error;
    if (HWND window = reports_->MainWindow ? reports_->MainWindow() : nullptr)
        PostMessageA(window, WM_WRITE_DONE, error.empty() ? 0 : 1, 0);
}

void TFrameCDB::Burner1EraseDone(void*, bool withError) {
    if (HWND window = reports_->MainWindow ? reports_->MainWindow() : nullptr)
        PostMessageA(window, WM_ERASE_DONE, withError ? 1 : 0, 0);
}

// May run on the writer or erase thread: the tests read only what that thread's own commands
// left (the last media type, the erase flag), and the line is queued for the GUI thread.
void TFrameCDB::Burner1DebugMessage(void*, const std::string& message, uint8_t) {
    if (disc::LastMediaType == dvdPlusRw || Burner1.Erasing || !Burner1.DoDebug) return;
    std::string lower = message;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool toLog = lower.find("error") != std::string::npos;
    bool post = false;
    {
        std::lock_guard<std::mutex> hold(Queue().lock);
        Queue().lines.emplace_back(message, toLog);
        post = !Queue().drainPosted;
        Queue().drainPosted = true;
    }
    if (post && !gui::Application().Post([reports = reports_] { Drain(reports); })) {
        std::lock_guard<std::mutex> hold(Queue().lock);
        Queue().drainPosted = false;
    }
}

} // namespace ui
