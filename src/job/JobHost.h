#pragma once
// The one way the job engine reaches the window. The main form implements it; tests and the
// console drivers implement it with recorders, so the engine runs whole without a window.
// Each member says what the engine needs, not how the window does it; parts of the engine
// add the members they need, each with its own short note.

#include <string>
#include <vector>

namespace job {

class JobHost {
  public:
    virtual ~JobHost() = default;

    // One stamped line of the program log (mirrored wherever the window mirrors it).
    virtual void AddToLog(const std::string& text) = 0;

    // Spends the time while the window stays alive: messages are pumped, so timer ticks and
    // posted messages run nested inside, and may call back into the engine.
    virtual void Wait(int milliseconds) = 0;

    // --- The selection and the job items ---
    // A stamped line of the running job's log only.
    virtual void AddToJobLog(const std::string& text) = 0;
    // The status line (Label1), the megabyte total (Label2) and ProgressBar3.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetTotalText(const std::string& text) = 0;
    virtual void SetProgress3(int position, int maximum) = 0;
    // Pump now (the loops' status points), or at most once per short interval (per entry).
    virtual void Pump() = 0;
    virtual void PumpIfDue() = 0;
    // The cancel flag of the running job.
    virtual bool Cancelled() = 0;
    virtual void SetCancelled(bool cancelled) = 0;
    // The window is hidden: no boxes, no status between queue entries.
    virtual bool Hidden() = 0;
    // A warning box (OK); callers show it only when not hidden.
    virtual void ShowWarning(const std::string& text) = 0;
    // Paths whose archive bit the job will clear, and their flush to the archive-bit list.
    virtual std::vector<std::string>& ArchiveBitPending() = 0;
    virtual void FlushAttributeList() = 0;
    // --- end of the selection and the job items ---

    // --- The job end (defaults do nothing, for hosts that never end a job) ---
    // Mail is set up with a recipient; SendJobMail mails the lines with the attachment.
    virtual bool MailConfigured() { return false; }
    virtual void SendJobMail(const std::vector<std::string>& body, const std::string& suffix,
                             const std::string& attachment) {}
    // The window after a job: JobRunning cleared, actions enabled, the start action reads
    // "&Start", the catalogue list emptied, the disc layer unloaded, the window state saved.
    virtual void JobEnded(bool cancelled) {}
    // Closes the main window (the program ends after the job).
    virtual void CloseMainWindow() {}
    // --- end of the job end ---
};

} // namespace job
