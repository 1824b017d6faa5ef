#pragma once
// The disc-writer frame: the one disc-writer component of the program, Burner1, with its
// settings, and the three handlers that turn the component's reports into work for the main
// window. Write done and erase done become WM_USER+122 and +123 posted to the main window, so
// the window handles them at a point of its own choosing and never inside the component's
// call; progress lines go to the detail log (and lines with an error to the program log).
//
// Progress lines may come from the writer or erase thread: they are queued and handed to the
// GUI thread by a posted call, because the memo and the logs belong to that thread. The
// frame is freed and made anew after every write and erase; the queue outlives it.

#include "disc/dwBurner.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace ui {

// Where the frame's reports go. Shared with the posted hand-overs, which may run after the
// frame that queued them is gone.
struct FrameReports {
    // The main window now (none: nothing is posted).
    std::function<HWND()> MainWindow;
    // The error text of the last write, read by the write's waiter after the frame is gone.
    std::string BurnErrorText;
    // Erase ends reported so far (a refused start is reported before EraseDisc returns).
    int EraseReports = 0;
    // A progress line on the GUI thread, and whether it also goes to the program log.
    std::function<void(const std::string& line, bool toProgramLog)> OnDebugLine;
};

class TFrameCDB {
  public:
    explicit TFrameCDB(std::shared_ptr<FrameReports> reports);
    ~TFrameCDB();
    TFrameCDB(const TFrameCDB&) = delete;
    TFrameCDB& operator=(const TFrameCDB&) = delete;

    disc::TDiscBurner Burner1;

    void Burner1WriteDone(void* sender, const std::string& error);
    void Burner1EraseDone(void* sender, bool withError);
    void Burner1DebugMessage(void* sender, const std::string& message, uint8_t mType);

    // The capability grids' marks: image 0 a capability the drive has, 1 one it lacks.
    HIMAGELIST ImageList1 = nullptr;

    // Calls into Burner1 that are on the stack now; the frame is freed only at 0.
    int CallsInProgress = 0;
    const std::shared_ptr<FrameReports>& Reports() const { return reports_; }

  private:
    // The frame as the debug handler reaches it. The handler may run on a worker thread while
    // the frame ends: the destructor cuts the link, under its lock, before any member goes.
    struct DebugLink {
        std::mutex lock;
        TFrameCDB* frame = nullptr;
    };
    std::shared_ptr<FrameReports> reports_;
    std::shared_ptr<DebugLink> debugLink_;
};

} // namespace ui
