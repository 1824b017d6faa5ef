#include "gui/Shell.h"

#include "gui/Exceptions.h"

#include <atomic>

namespace gui {

namespace {
std::atomic<TShell*> installed{nullptr};
std::atomic<TShell*> platformDefault{nullptr};
} // namespace

TShell& Shell() {
    if (TShell* shell = installed.load()) return *shell;
    if (TShell* shell = platformDefault.load()) return *shell;
    throw Exception("No shell is installed");
}

void SetShell(TShell* shell) {
    installed.store(shell);
}

void SetDefaultShell(TShell* shell) {
    platformDefault.store(shell);
}

bool TRecordingShell::Record(TShellCall call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    return Succeed;
}

bool TRecordingShell::Open(const std::string& target, const std::string& parameters,
                           const std::string& folder) {
    return Record({TShellCallKind::Open, target, parameters, folder});
}

bool TRecordingShell::StartHidden(const std::string& program, const std::string& parameters,
                                  const std::string& folder) {
    return Record({TShellCallKind::StartHidden, program, parameters, folder});
}

bool TRecordingShell::Help(void*, const std::string& helpFile, unsigned command, uintptr_t data) {
    return Record({TShellCallKind::Help, helpFile, {}, {}, command, data});
}

std::vector<TShellCall> TRecordingShell::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

} // namespace gui
