#pragma once
// The copy of a finished volume to another drive or folder on a worker thread, so that the
// GUI thread stays responsive while a slow medium takes it. The parameters and the result are
// unit variables shared with the GUI thread: written by the GUI thread before the thread
// starts or inside the thread's two synchronized steps, so they need no lock. Only the abort
// flag is read by the worker while it copies.
//
// A copy counts only when the target reads back as the source. One that fails or is aborted
// leaves no partial target, and never deletes a target it did not write to (a read-only one
// is refused).

#include "gui/Thread.h"

#include <atomic>
#include <functional>
#include <string>

namespace job {

extern std::string CopySrc;
extern std::string CopyDst;
extern bool CopyFailIfExists;
extern bool CopyBusy;
extern bool CopyResult;
// Raised by the GUI side when the job is cancelled: the copy stops at its next chunk.
extern std::atomic<bool> CopyAbort;

// Created running; frees itself when it ends.
class FCopy : public gui::TThread {
  public:
    FCopy();

  protected:
    void Execute() override;

  private:
    std::string source_;
    std::string destination_;
    bool failIfExists_ = false;
};

// Copies on an FCopy thread and waits for it, pumping messages; cancelled is asked after every
// pump and aborts the copy once it answers true. False as well while another copy is under
// way (a call from inside this one's pump).
bool CopyFileThreaded(const std::string& source, const std::string& destination, bool failIfExists,
                      const std::function<bool()>& cancelled = {});

// The file's bytes are the first bytes of source (all of them when the sizes are equal); false
// when either cannot be read, or once abort is raised.
bool HoldsStartOf(const std::string& file, const std::string& source,
                  const std::atomic<bool>* abort = nullptr);

} // namespace job
