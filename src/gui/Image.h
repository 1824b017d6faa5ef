#pragma once
// A picture: an icon or a bitmap shown by a static control. The caller keeps ownership of
// the image handle.

#include "gui/Control.h"

namespace gui {

class TImage : public TControl {
  public:
    TImage(TParent parent, std::string name, TBounds bounds);
    void SetIcon(HICON icon);
    HICON Icon() const { return reinterpret_cast<HICON>(SendMessageA(Handle(), STM_GETICON, 0, 0)); }
    void SetBitmap(HBITMAP bitmap);
    HBITMAP Bitmap() const {
        return reinterpret_cast<HBITMAP>(SendMessageA(Handle(), STM_GETIMAGE, IMAGE_BITMAP, 0));
    }
};

} // namespace gui
