#include "gui/Menu.h"

#include "gui/Action.h"
#include "gui/Form.h"
#include "gui/Prompter.h"

namespace gui {

std::string ShortCutText(WORD key, TShiftState shift) {
    if (key == 0) return {};
    std::string text;
    if (shift & ssCtrl) text += "Ctrl+";
    if (shift & ssShift) text += "Shift+";
    if (shift & ssAlt) text += "Alt+";
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        text += static_cast<char>(key);
    else if (key >= VK_F1 && key <= VK_F12)
        text += "F" + std::to_string(key - VK_F1 + 1);
    else if (key == VK_DELETE)
        text += "Del";
    else if (key == VK_INSERT)
        text += "Ins";
    else
        text += "#" + std::to_string(key);
    return text;
}

// ---- items

TMenuItem::TMenuItem(TMenu& menu, TMenuItem* parent, std::string name, std::string caption)
    : TComponent(std::move(name)), menu_(menu), parent_(parent), caption_(std::move(caption)),
      command_(menu.NextCommand()) {
    if (!Name().empty()) menu_.Form().Register(*this);
}

TMenuItem::~TMenuItem() {
    if (action_) action_->Unlink(this);
    items_.clear();
    if (!Name().empty()) menu_.Form().Unregister(*this);
    // The sub-menu goes with its parent's menu when that is destroyed; a removed one is ours.
    if (subMenu_ && !visible_) DestroyMenu(subMenu_);
}

TMenuItem& TMenuItem::Add(const std::string& name, const std::string& caption) {
    if (!subMenu_) {
        subMenu_ = CreatePopupMenu();
        if (visible_) {
            // Re-insert so the item carries its new sub-menu.
            RemoveMenu(ContainerHandle(), static_cast<UINT>(Position()), MF_BYPOSITION);
            Insert();
        }
    }
    items_.push_back(std::make_unique<TMenuItem>(menu_, this, name, caption));
    items_.back()->Insert();
    menu_.Changed();
    return *items_.back();
}

TMenuItem& TMenuItem::AddSeparator() {
    TMenuItem& separator = Add("", "-");
    return separator;
}

HMENU TMenuItem::ContainerHandle() const {
    return parent_ ? parent_->subMenu_ : menu_.Handle();
}

int TMenuItem::Position() const {
    const auto& siblings = parent_ ? parent_->items_ : menu_.root_;
    int position = 0;
    for (const auto& sibling : siblings) {
        if (sibling.get() == this) return position;
        if (sibling->visible_) ++position;
    }
    return position;
}

std::string TMenuItem::DisplayText() const {
    const std::string shortCut = ShortCutText(shortCutKey_, shortCutShift_);
    return shortCut.empty() ? caption_ : caption_ + "\t" + shortCut;
}

UINT TMenuItem::StateFlags() const {
    return (checked_ ? MFS_CHECKED : 0u) | (enabled_ ? 0u : MFS_DISABLED | MFS_GRAYED);
}

void TMenuItem::Insert() {
    std::string text = DisplayText();
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_TYPE;
    info.fType = caption_ == "-" ? MFT_SEPARATOR : MFT_STRING;
    info.fState = StateFlags();
    info.wID = command_;
    info.hSubMenu = subMenu_;
    info.dwTypeData = text.data();
    InsertMenuItemA(ContainerHandle(), static_cast<UINT>(Position()), TRUE, &info);
}

// Rewrites the item in place from the fields.
void TMenuItem::Changed() {
    if (!visible_) return;
    std::string text = DisplayText();
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_TYPE;
    info.fType = caption_ == "-" ? MFT_SEPARATOR : MFT_STRING;
    info.fState = StateFlags();
    info.dwTypeData = text.data();
    SetMenuItemInfoA(ContainerHandle(), static_cast<UINT>(Position()), TRUE, &info);
    menu_.Changed();
}

void TMenuItem::SetCaption(const std::string& caption) {
    caption_ = caption;
    Changed();
}

bool TMenuItem::Checked() const {
    if (!visible_) return checked_;
    return (GetMenuState(ContainerHandle(), static_cast<UINT>(Position()), MF_BYPOSITION) & MF_CHECKED) != 0;
}

void TMenuItem::SetChecked(bool checked) {
    checked_ = checked;
    Changed();
}

bool TMenuItem::Enabled() const {
    if (!visible_) return enabled_;
    return (GetMenuState(ContainerHandle(), static_cast<UINT>(Position()), MF_BYPOSITION) &
            (MF_DISABLED | MF_GRAYED)) == 0;
}

void TMenuItem::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Changed();
}

void TMenuItem::SetVisible(bool visible) {
    if (visible == visible_) return;
    if (visible) {
        visible_ = true;
        Insert();
    } else {
        RemoveMenu(ContainerHandle(), static_cast<UINT>(Position()), MF_BYPOSITION);
        visible_ = false;
    }
    menu_.Changed();
}

void TMenuItem::SetShortCut(WORD key, TShiftState shift) {
    shortCutKey_ = key;
    shortCutShift_ = shift;
    Changed();
}

void TMenuItem::SetAction(TAction* action) {
    if (action_) action_->Unlink(this);
    action_ = action;
    if (action_)
        action_->Link(this, [this](TAction* linked) {
            if (!linked)
                action_ = nullptr;
            else
                ActionChanged();
        });
}

void TMenuItem::ActionChanged() {
    caption_ = action_->Caption();
    checked_ = action_->Checked();
    enabled_ = action_->Enabled();
    Hint = action_->Hint();
    Changed();
    SetVisible(action_->Visible());
}

void TMenuItem::Click() {
    if (!Enabled()) return;
    if (AutoCheck) SetChecked(!Checked());
    if (action_)
        action_->Execute();
    else if (OnClick)
        OnClick();
}

// ---- menus

TMenu::TMenu(TForm& form, std::string name, bool popup)
    : TComponent(std::move(name)), form_(form), handle_(popup ? CreatePopupMenu() : CreateMenu()) {}

TMenu::~TMenu() {
    root_.clear();
    DestroyMenu(handle_);
}

TMenuItem& TMenu::Add(const std::string& name, const std::string& caption) {
    root_.push_back(std::make_unique<TMenuItem>(*this, nullptr, name, caption));
    root_.back()->Insert();
    Changed();
    return *root_.back();
}

void TMenu::Changed() {
    if (window_) DrawMenuBar(window_);
}

namespace {
template <typename Match>
TMenuItem* FindItem(const std::vector<std::unique_ptr<TMenuItem>>& items, const Match& match) {
    for (const auto& item : items) {
        if (match(*item)) return item.get();
        if (TMenuItem* found = FindItem(item->Items(), match)) return found;
    }
    return nullptr;
}
} // namespace

TMenuItem* TMenu::FindByCommand(UINT command) const {
    return FindItem(root_, [command](const TMenuItem& item) { return item.Command() == command; });
}

TMenuItem* TMenu::FindBySubMenu(HMENU subMenu) const {
    return FindItem(root_, [subMenu](const TMenuItem& item) { return item.SubMenu() == subMenu; });
}

TMenuItem* TMenu::FindByName(const std::string& name) const {
    if (name.empty()) return nullptr;
    return FindItem(root_, [&name](const TMenuItem& item) { return item.Name() == name; });
}

bool TMenu::Command(UINT command) {
    TMenuItem* item = FindByCommand(command);
    if (!item || item->SubMenu()) return false;
    item->Click();
    return true;
}

void TMenu::InitPopup(HMENU subMenu) {
    if (TMenuItem* item = FindBySubMenu(subMenu)) {
        if (item->action_)
            item->action_->Execute();
        else if (item->OnClick)
            item->OnClick();
    }
}

bool TMenu::DispatchShortCut(WORD key, TShiftState shift) {
    shift &= ssShift | ssCtrl | ssAlt;
    TMenuItem* item = FindItem(root_, [key, shift](const TMenuItem& candidate) {
        return candidate.ShortCutKey() == key && candidate.ShortCutShift() == shift;
    });
    if (!item || !item->Visible() || !item->Enabled()) return false;
    item->Click();
    return true;
}

TMainMenu::~TMainMenu() {
    Attach(nullptr);
}

void TMainMenu::Attach(HWND window) {
    if (window_ && window_ != window && GetMenu(window_) == Handle()) ::SetMenu(window_, nullptr);
    window_ = window;
    if (window_) {
        ::SetMenu(window_, Handle());
        DrawMenuBar(window_);
    }
}

TMenuItem* TPopupMenu::Popup(int x, int y) {
    if (OnPopup) OnPopup();
    TPopupRequest request;
    request.Owner = Form().Handle();
    request.Menu = Handle();
    request.X = x;
    request.Y = y;
    request.CommandOf = [this](const std::string& itemName) {
        TMenuItem* item = FindByName(itemName);
        return item ? static_cast<int>(item->Command()) : 0;
    };
    const int command = Prompter().TrackPopup(request);
    TMenuItem* chosen = command ? FindByCommand(static_cast<UINT>(command)) : nullptr;
    if (chosen) chosen->Click();
    return chosen;
}

TMenuItem* TPopupMenu::PopupAtCursor() {
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(Form().Handle());
    TMenuItem* chosen = Popup(cursor.x, cursor.y);
    PostMessageA(Form().Handle(), WM_NULL, 0, 0);
    return chosen;
}

void TPopupMenu::SetItemsEnabled(bool enabled) {
    for (const auto& item : Items())
        item->SetEnabled(enabled);
}

} // namespace gui
