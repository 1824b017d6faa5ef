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

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Any thread: the line waits in the queue, and one posted call hands the queue to the GUI thread.
void QueueLine(const std::shared_ptr<FrameReports>& reports, const std::string& message, bool toLog) {
    bool post = false;
    {
        std::lock_guard<std::mutex> hold(Queue().lock);
        Queue().lines.emplace_back(message, toLog);
        post = !Queue().drainPosted;
        Queue().drainPosted = true;
    }
    if (post && !gui::Application().Post([reports] { Drain(reports); })) {
        std::lock_guard<std::mutex> hold(Queue().lock);
        Queue().drainPosted = false;
    }
}

// A green tick and a red cross, drawn once per frame on white, which the mask leaves out.
HIMAGELIST MakeMarks() {
    constexpr int size = 16;
    HIMAGELIST marks = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 2, 0);
    if (!marks) return nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 2 * size, size);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    const RECT all{0, 0, 2 * size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HPEN tick = CreatePen(PS_SOLID, 2, RGB(0, 128, 0)), cross = CreatePen(PS_SOLID, 2, RGB(192, 0, 0));
    const HGDIOBJ oldPen = SelectObject(dc, tick);
    MoveToEx(dc, 3, 8, nullptr);
    LineTo(dc, 6, 12);
    LineTo(dc, 13, 3);
    SelectObject(dc, cross);
    MoveToEx(dc, size + 4, 4, nullptr);
    LineTo(dc, size + 12, 12);
    MoveToEx(dc, size + 12, 4, nullptr);
    LineTo(dc, size + 4, 12);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBitmap);
    DeleteObject(tick);
    DeleteObject(cross);
    DeleteDC(dc);
    ImageList_AddMasked(marks, bitmap, RGB(255, 255, 255));
    DeleteObject(bitmap);
    return marks;
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
    ImageList1 = MakeMarks();
    Burner1.OnWriteDone = [this](void* sender, const std::string& error) { Burner1WriteDone(sender, error); };
    Burner1.OnEraseDone = [this](void* sender, bool withError) { Burner1EraseDone(sender, withError); };
    debugLink_ = std::make_shared<DebugLink>();
    debugLink_->frame = this;
    Burner1.OnDebugMessage = [link = debugLink_, reports = reports_](void* sender, const std::string& message,
                                                                     uint8_t mType) {
        std::lock_guard<std::mutex> hold(link->lock);
        if (link->frame)
            link->frame->Burner1DebugMessage(sender, message, mType);
        else if (mType == disc::kMsgError)
            // The component's last words (a writer that would not end) still reach the log.
            QueueLine(reports, message, true);
    };
}

TFrameCDB::~TFrameCDB() {
    {
        std::lock_guard<std::mutex> hold(debugLink_->lock);
        debugLink_->frame = nullptr;
    }
    // A report raised while the component ends has nobody to go to.
    Burner1.OnWriteDone = nullptr;
    Burner1.OnEraseDone = nullptr;
    if (ImageList1) ImageList_Destroy(ImageList1);
}

void TFrameCDB::Burner1WriteDone(void*, const std::string& error) {
    reports_->BurnErrorText = error;
    if (HWND window = reports_->MainWindow ? reports_->MainWindow() : nullptr)
        PostMessageA(window, WM_WRITE_DONE, error.empty() ? 0 : 1, 0);
}

void TFrameCDB::Burner1EraseDone(void*, bool withError) {
    ++reports_->EraseReports;
    if (HWND window = reports_->MainWindow ? reports_->MainWindow() : nullptr)
        PostMessageA(window, WM_ERASE_DONE, withError ? 1 : 0, 0);
}

// May run on the writer or erase thread: the tests read only what that thread's own commands
// left (the last media type, the erase flag), and the line is queued for the GUI thread.
void TFrameCDB::Burner1DebugMessage(void*, const std::string& message, uint8_t) {
    if (disc::LastMediaType == dvdPlusRw || Burner1.Erasing || !Burner1.DoDebug) return;
    QueueLine(reports_, message, Lowered(message).find("error") != std::string::npos);
}

} // namespace ui
