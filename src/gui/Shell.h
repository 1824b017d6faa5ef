#pragma once
// The shell seam: opening documents and links, starting programs and the help viewer. The
// product goes to the system; tests install the recording shell, which starts nothing.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace gui {

class TShell {
  public:
    virtual ~TShell() = default;
    // "open" of a URL, mailto: link, document or program, shown normally. False on failure.
    virtual bool Open(const std::string& target, const std::string& parameters = {},
                      const std::string& folder = {}) = 0;
    // Starts a program without showing its window, in the given working folder.
    virtual bool StartHidden(const std::string& program, const std::string& parameters,
                             const std::string& folder) = 0;
    // The help viewer with a command (HELP_FINDER, HELP_CONTEXT...) and its data.
    virtual bool Help(void* owner, const std::string& helpFile, unsigned command, uintptr_t data) = 0;
};

// The shell in use: a test's when installed, else the system's (Windows build).
TShell& Shell();
void SetShell(TShell* shell);
void SetDefaultShell(TShell* shell);
// The system's shell (Windows build only).
TShell& SystemShell();

enum class TShellCallKind { Open, StartHidden, Help };

struct TShellCall {
    TShellCallKind Kind;
    std::string Target; // document, program or help file
    std::string Parameters;
    std::string Folder;
    unsigned Command = 0;
    uintptr_t Data = 0;
};

// Records every call and answers with Succeed.
class TRecordingShell : public TShell {
  public:
    bool Open(const std::string& target, const std::string& parameters, const std::string& folder) override;
    bool StartHidden(const std::string& program, const std::string& parameters,
                     const std::string& folder) override;
    bool Help(void* owner, const std::string& helpFile, unsigned command, uintptr_t data) override;

    std::vector<TShellCall> Calls() const;
    bool Succeed = true;

  private:
    bool Record(TShellCall call);
    mutable std::mutex mutex_;
    std::vector<TShellCall> calls_;
};

} // namespace gui
