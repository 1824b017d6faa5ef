#include "gui/Canvas.h"

#include "gui/CompareText.h"

#include <shellapi.h>

#include <map>

namespace gui {

TCanvas::TCanvas(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {
    SelectObject(dc_, GetStockObject(DEFAULT_GUI_FONT));
}

TCanvas::~TCanvas() {
    RestoreDC(dc_, saved_);
    if (brush_) DeleteObject(brush_);
    if (pen_) DeleteObject(pen_);
}

HBRUSH TCanvas::UseBrush() {
    if (!brush_ || brushColor_ != Brush.Color) {
        if (brush_) DeleteObject(brush_);
        brush_ = CreateSolidBrush(ColorToRGB(Brush.Color));
        brushColor_ = Brush.Color;
    }
    SelectObject(dc_, brush_);
    return brush_;
}

void TCanvas::UsePen() {
    if (!pen_ || penColor_ != Pen.Color) {
        // Select a stock pen first: a selected pen must not be deleted.
        SelectObject(dc_, GetStockObject(BLACK_PEN));
        if (pen_) DeleteObject(pen_);
        pen_ = CreatePen(PS_SOLID, 1, ColorToRGB(Pen.Color));
        penColor_ = Pen.Color;
    }
    SelectObject(dc_, pen_);
}

void TCanvas::UseFont() {
    SetTextColor(dc_, ColorToRGB(Font.Color));
    SetBkColor(dc_, ColorToRGB(Brush.Color));
    SetBkMode(dc_, OPAQUE);
}

void TCanvas::FillRect(const RECT& rect) {
    ::FillRect(dc_, &rect, UseBrush());
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
    UseBrush();
    UsePen();
    ::Rectangle(dc_, left, top, right, bottom);
}

void TCanvas::LineTo(int x, int y) {
    UsePen();
    ::LineTo(dc_, x, y);
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    UseFont();
    ::TextOutA(dc_, x, y, text.c_str(), static_cast<int>(text.size()));
}

void TCanvas::TextRect(const RECT& rect, int x, int y, const std::string& text) {
    UseFont();
    ExtTextOutA(dc_, x, y, ETO_CLIPPED | ETO_OPAQUE, &rect, text.c_str(), static_cast<UINT>(text.size()),
                nullptr);
}

int TCanvas::TextWidth(const std::string& text) const {
    SIZE size{};
    GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

int TCanvas::TextHeight(const std::string& text) const {
    SIZE size{};
    GetTextExtentPoint32A(dc_, text.empty() ? "Wg" : text.c_str(),
                          text.empty() ? 2 : static_cast<int>(text.size()), &size);
    return size.cy;
}

void TCanvas::DrawImage(HIMAGELIST images, int index, int x, int y) {
    if (images) ImageList_Draw(images, index, dc_, x, y, ILD_TRANSPARENT);
}

HIMAGELIST SystemSmallImages() {
    SHFILEINFOA info{};
    return reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoA("C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

int SystemIconIndex(const std::string& name, bool folder) {
    SHFILEINFOA info{};
    const DWORD attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!SHGetFileInfoA(name.c_str(), attributes, &info, sizeof info,
                        SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
        return -1;
    return info.iIcon;
}

std::string SmallIconKey(const std::string& fileName, bool folder) {
    if (folder) return "[FOLDER]";
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || dot + 1 == fileName.size()) return "*";
    return UpperCaseI(fileName.substr(dot + 1));
}

int SmallIconIndex(const std::string& fileName, bool folder) {
    static std::map<std::string, int> cache;
    const std::string key = SmallIconKey(fileName, folder);
    auto found = cache.find(key);
    if (found == cache.end())
        found =
            cache.emplace(key, SystemIconIndex(folder       ? "[FOLDER]"
                                               : key == "*" ? "x"
                                                            : "x." + key,
                                               folder))
                .first;
    return found->second;
}

} // namespace gui
