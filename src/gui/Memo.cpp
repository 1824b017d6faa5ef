#include "gui/Memo.h"

#include <algorithm>

namespace gui {

TMemo::TMemo(TParent parent, std::string name, TBounds bounds, bool readOnly)
    : TEdit(parent, std::move(name), bounds, {},
            ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL |
                (readOnly ? ES_READONLY : 0u)) {
    SendMessageA(Handle(), EM_SETLIMITTEXT, textLimit, 0);
}

int TMemo::LineCount() const {
    if (GetWindowTextLengthA(Handle()) == 0) return 0;
    return static_cast<int>(SendMessageA(Handle(), EM_GETLINECOUNT, 0, 0));
}

std::string TMemo::Line(int index) const {
    const LRESULT start = SendMessageA(Handle(), EM_LINEINDEX, static_cast<WPARAM>(index), 0);
    if (index < 0 || index >= LineCount() || start < 0) return {};
    const auto length =
        static_cast<size_t>(SendMessageA(Handle(), EM_LINELENGTH, static_cast<WPARAM>(start), 0));
    // EM_GETLINE takes the buffer size in its first WORD and needs room for at least that.
    std::string line(std::max<size_t>(length, sizeof(WORD)), '\0');
    *reinterpret_cast<WORD*>(line.data()) = static_cast<WORD>(std::min<size_t>(line.size(), 0xFFFF));
    const auto copied = static_cast<size_t>(SendMessageA(Handle(), EM_GETLINE, static_cast<WPARAM>(index),
                                                         reinterpret_cast<LPARAM>(line.data())));
    line.resize(std::min(copied, length));
    return line;
}

void TMemo::AddLine(const std::string& line) {
    const int end = GetWindowTextLengthA(Handle());
    const std::string text = end == 0 ? line : "\r\n" + line;
    settingProperty_ = true;
    SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageA(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    settingProperty_ = false;
    if (MaxLines > 0 && LineCount() > MaxLines) DropOldestLines(LineCount() - MaxLines);
}

void TMemo::DropOldestLines(int count) {
    const LRESULT end = SendMessageA(Handle(), EM_LINEINDEX, static_cast<WPARAM>(count), 0);
    if (end <= 0) return;
    settingProperty_ = true;
    SendMessageA(Handle(), EM_SETSEL, 0, end);
    SendMessageA(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    const int length = GetWindowTextLengthA(Handle());
    SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(length), length);
    settingProperty_ = false;
}

} // namespace gui
