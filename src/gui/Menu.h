#pragma once
// Menus over real HMENUs: the main form's menu bar and popup menus. Items are found by name
// through their form. Win32 menus have no hidden items, so an item made invisible is
// removed from its menu and put back at the same place among its visible siblings when it
// shows again. A parent item's OnClick runs when its sub-menu is about to open, so handlers
// can bring the items up to date first.

#include "gui/Component.h"
#include "gui/Graphics.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gui {

class TForm;
class TAction;
class TMenu;

class TMenuItem : public TComponent {
  public:
    TMenuItem(TMenu& menu, TMenuItem* parent, std::string name, std::string caption);
    ~TMenuItem() override;

    // A child item; the parent's sub-menu is made with the first one.
    TMenuItem& Add(const std::string& name, const std::string& caption);
    // A separator line (unnamed).
    TMenuItem& AddSeparator();
    const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return items_; }
    TMenuItem* Parent() const { return parent_; }

    std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool Checked() const;
    void SetChecked(bool checked);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // Key and modifiers (ssCtrl, ssShift, ssAlt); key 0 for none.
    void SetShortCut(WORD key, TShiftState shift);
    WORD ShortCutKey() const { return shortCutKey_; }
    TShiftState ShortCutShift() const { return shortCutShift_; }
    bool AutoCheck = false;
    std::string Hint;

    void SetAction(TAction* action);
    TAction* Action() const { return action_; }
    // What a user's choice does: toggles an auto-check item, then runs the action or OnClick.
    void Click();
    std::function<void()> OnClick;

    UINT Command() const { return command_; }
    HMENU SubMenu() const { return subMenu_; }
    // The menu the item sits in (its parent's sub-menu or the menu's root).
    HMENU ContainerHandle() const;
    // Index among the visible siblings: where the item is in its container.
    int Position() const;

  private:
    friend class TMenu;
    friend class TAction;
    void Insert();
    void Changed();
    void ActionChanged();
    UINT StateFlags() const;
    std::string DisplayText() const;

    TMenu& menu_;
    TMenuItem* parent_;
    std::string caption_;
    bool separator_ = false;
    bool visible_ = true;
    bool checked_ = false;
    bool enabled_ = true;
    WORD shortCutKey_ = 0;
    TShiftState shortCutShift_ = 0;
    TAction* action_ = nullptr;
    UINT command_;
    HMENU subMenu_ = nullptr;
    std::vector<std::unique_ptr<TMenuItem>> items_;
};

class TMenu : public TComponent {
  public:
    TMenu(TForm& form, std::string name, bool popup);
    ~TMenu() override;

    HMENU Handle() const { return handle_; }
    TForm& Form() const { return form_; }
    TMenuItem& Add(const std::string& name, const std::string& caption);
    const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return root_; }
    TMenuItem* FindByCommand(UINT command) const;
    TMenuItem* FindBySubMenu(HMENU subMenu) const;
    TMenuItem* FindByName(const std::string& name) const;
    // Runs the item of a WM_COMMAND id; false when the id is not one of this menu's.
    bool Command(UINT command);
    // A sub-menu is about to open: its item's OnClick runs.
    void InitPopup(HMENU subMenu);
    // Runs the enabled, visible item whose shortcut this is; false when none matched.
    bool DispatchShortCut(WORD key, TShiftState shift);

  protected:
    friend class TMenuItem;
    void Changed();
    UINT NextCommand() { return nextCommand_++; }
    HWND window_ = nullptr;

  private:
    TForm& form_;
    HMENU handle_;
    std::vector<std::unique_ptr<TMenuItem>> root_;
    UINT nextCommand_ = 0x100;
};

// The form's menu bar.
class TMainMenu : public TMenu {
  public:
    TMainMenu(TForm& form, std::string name) : TMenu(form, std::move(name), false) {}
    ~TMainMenu() override;
    // Puts the bar on a window (nullptr takes it off).
    void Attach(HWND window);
};

class TPopupMenu : public TMenu {
  public:
    TPopupMenu(TForm& form, std::string name) : TMenu(form, std::move(name), true) {}
    // Shows the menu at a screen point through the prompter and runs the chosen item.
    // Returns the item chosen, or nullptr.
    TMenuItem* Popup(int x, int y);
    // The notification-area form: at the cursor, with the owner brought to the foreground
    // first and a null message after, so the menu closes when the user clicks elsewhere.
    TMenuItem* PopupAtCursor();
    // Enables or disables every item at once.
    void SetItemsEnabled(bool enabled);
    std::function<void()> OnPopup;
};

// "Ctrl+A" and the like, as menus show them.
std::string ShortCutText(WORD key, TShiftState shift);

} // namespace gui
