#include "gui/Prompter.h"

#include "gui/Exceptions.h"

#include <atomic>

namespace gui {

namespace {
// Workers may ask too (through the GUI thread), so the slots are atomic.
std::atomic<TPrompter*> installed{nullptr};
std::atomic<TPrompter*> platformDefault{nullptr};
} // namespace

TPrompter& Prompter() {
    if (TPrompter* prompter = installed.load()) return *prompter;
    if (TPrompter* prompter = platformDefault.load()) return *prompter;
    throw Exception("No prompter is installed to ask the user");
}

void SetPrompter(TPrompter* prompter) {
    installed.store(prompter);
}

void SetDefaultPrompter(TPrompter* prompter) {
    platformDefault.store(prompter);
}

TPrompterScope::TPrompterScope(TPrompter& prompter) : previous_(installed.exchange(&prompter)) {}

TPrompterScope::~TPrompterScope() {
    installed.store(previous_);
}

} // namespace gui
