#pragma once
// Static text. Labels take clicks (SS_NOTIFY) and, through that, hover for hints; a label's
// mnemonic focuses the control it names.

#include "gui/Control.h"

namespace gui {

enum class TAlignment { taLeftJustify, taCenter, taRightJustify };

class TLabel : public TControl {
  public:
    TLabel(TParent parent, std::string name, TBounds bounds, const std::string& caption,
           TAlignment alignment = TAlignment::taLeftJustify);

    std::string Caption() const { return TextOfWindow(); }
    void SetCaption(const std::string& caption);
    TControl* FocusControl = nullptr;

    bool AcceptsMnemonic(char key) const override {
        return FocusControl && CaptionHasMnemonic(Caption(), key);
    }
    void ActivateMnemonic() override;

  protected:
    TLabel(TParent parent, std::string name, TBounds bounds, const std::string& caption, DWORD style);
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// Static text with a sunken border, centred by default.
class TStaticText : public TLabel {
  public:
    TStaticText(TParent parent, std::string name, TBounds bounds, const std::string& caption,
                TAlignment alignment = TAlignment::taCenter);
};

} // namespace gui
