#pragma once
// Drawing surface handed to owner-draw handlers: a device context with a brush, pen and
// font colour that apply to the next call, as cell drawing code expects. GDI objects are made
// on demand and released with the canvas; the DC is left as it was found.

#include "gui/Graphics.h"

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace gui {

class TCanvas {
  public:
    explicit TCanvas(HDC dc);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    HDC Handle() const { return dc_; }

    struct TColorOf {
        TColor Color;
    };
    TColorOf Brush{clWindow};
    TColorOf Pen{clBlack};
    TColorOf Font{clWindowText};

    void FillRect(const RECT& rect);
    // Outline in the pen colour, filled with the brush colour.
    void Rectangle(int left, int top, int right, int bottom);
    void MoveTo(int x, int y) { MoveToEx(dc_, x, y, nullptr); }
    void LineTo(int x, int y);
    // One cell's share of a frame around a whole grid row, in the pen colour: its top and
    // bottom lines, and its outer side where it begins or ends the row.
    void FrameRowCell(const RECT& rect, bool firstCell, bool lastCell) {
        MoveTo(rect.left, rect.top);
        LineTo(rect.right, rect.top);
        MoveTo(rect.left, rect.bottom - 1);
        LineTo(rect.right, rect.bottom - 1);
        if (firstCell) {
            MoveTo(rect.left, rect.top);
            LineTo(rect.left, rect.bottom);
        }
        if (lastCell) {
            MoveTo(rect.right - 1, rect.top);
            LineTo(rect.right - 1, rect.bottom);
        }
    }
    // Text on the brush colour.
    void TextOut(int x, int y, const std::string& text);
    // Fills the rectangle and draws the text at (x, y), cut at the rectangle's edges.
    void TextRect(const RECT& rect, int x, int y, const std::string& text);
    int TextWidth(const std::string& text) const;
    int TextHeight(const std::string& text) const;
    // An image of an image list (the system small-icon list or one of ours).
    void DrawImage(HIMAGELIST images, int index, int x, int y);
    COLORREF Pixel(int x, int y) const { return GetPixel(dc_, x, y); }

  private:
    HBRUSH UseBrush();
    void UsePen();
    void UseFont();

    HDC dc_;
    int saved_;
    HBRUSH brush_ = nullptr;
    TColor brushColor_ = clDefault;
    HPEN pen_ = nullptr;
    TColor penColor_ = clDefault;
};

// The system's list of small file icons, and the index in it of a name's icon. The name need
// not exist: the icon is chosen by its extension (or as a folder).
HIMAGELIST SystemSmallImages();
int SystemIconIndex(const std::string& name, bool folder);
// The icon index of a file name's type, asked of the system once per key: the extension in
// upper case ("*" for none) or "[FOLDER]". One cache serves every grid of the program.
std::string SmallIconKey(const std::string& fileName, bool folder);
int SmallIconIndex(const std::string& fileName, bool folder);

} // namespace gui
