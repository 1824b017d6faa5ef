#pragma once
// Actions: one command with its caption, enabled, checked and visible state, shared by the
// menu items and buttons linked to it. The action is the state: code reads a caption such as
// "&Start" / "&Cancel" from the action, and every linked client mirrors each change.

#include "gui/Component.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace gui {

class TForm;

class TAction : public TComponent {
  public:
    TAction(TForm& form, std::string name, std::string caption = {});
    ~TAction() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption) { Set(caption_, caption); }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { Set(enabled_, enabled); }
    bool Checked() const { return checked_; }
    void SetChecked(bool checked) { Set(checked_, checked); }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { Set(visible_, visible); }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { Set(hint_, hint); }

    std::function<void()> OnExecute;
    // Runs OnExecute when enabled; false when nothing ran.
    bool Execute();

    // Clients register a callback that copies the action's state into themselves; it gets
    // nullptr when the action goes first, so the client drops the link.
    using Changed = std::function<void(TAction* action)>;
    void Link(const void* client, Changed changed);
    void Unlink(const void* client);

  private:
    template <typename T> void Set(T& field, const T& value) {
        if (field == value) return;
        field = value;
        Notify();
    }
    void Notify();

    std::string caption_;
    bool enabled_ = true;
    bool checked_ = false;
    bool visible_ = true;
    std::string hint_;
    std::vector<std::pair<const void*, Changed>> clients_;
};

} // namespace gui
