#include "controls/NativeControls.h"

#include "base/Fonts.h"
#include "controls/KWTheme.h"

namespace sk {

namespace {
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

int StateImageOf(UINT state) { return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12); }
}  // namespace

// ---------------------------------------------------------------------------------------------
// List view

bool TListView::Create(const TListViewArgs& a) {
    if (!CreateControl(WC_LISTVIEWW, a.ExStyle, kChild | a.Style, L"", a.Left, a.Top, a.Width, a.Height, a.Parent,
                       a.Id, nullptr))
        return false;
    if (a.ListExStyle) ListView_SetExtendedListViewStyle(Handle(), a.ListExStyle);
    if (a.Font) SetLayoutFont(a.Font);
    return true;
}

void TListView::AddColumn(int index, int width, const std::wstring& caption) {
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.cx = Scale().Scale(width);
    col.pszText = const_cast<wchar_t*>(caption.c_str());
    col.iSubItem = index;
    ListView_InsertColumn(Handle(), index, &col);
}

void TListView::SetColumnCaption(int index, const std::wstring& caption) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = const_cast<wchar_t*>(caption.c_str());
    ListView_SetColumn(Handle(), index, &col);
}

int TListView::InsertItem(int row, const std::wstring& text, LPARAM param, std::optional<int> groupId) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | (groupId ? LVIF_GROUPID : 0);
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.lParam = param;
    item.iGroupId = groupId.value_or(0);
    return ListView_InsertItem(Handle(), &item);
}

void TListView::SetItemText(int row, int column, const std::wstring& text) {
    ListView_SetItemText(Handle(), row, column, const_cast<wchar_t*>(text.c_str()));
}

void TListView::SetStateImage(int row, int image) {
    ListView_SetItemState(Handle(), row, INDEXTOSTATEIMAGEMASK(image), LVIS_STATEIMAGEMASK);
}

std::optional<LPARAM> TListView::ItemParam(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(Handle(), &item)) return std::nullopt;
    return item.lParam;
}

int TListView::Count() const { return ListView_GetItemCount(Handle()); }

void TListView::DpiChanged(int oldDpi, int newDpi) {
    TNativeControl::DpiChanged(oldDpi, newDpi);
    // The columns keep their share of the list, as the user left them.
    HWND header = ListView_GetHeader(Handle());
    const int columns = header ? Header_GetItemCount(header) : 0;
    for (int i = 0; i < columns; ++i)
        ListView_SetColumnWidth(Handle(), i, ::MulDiv(ListView_GetColumnWidth(Handle(), i), newDpi, oldDpi));
}

void TListView::DeleteAllItems() { ListView_DeleteAllItems(Handle()); }

bool TListView::Notified(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
    if (msg != WM_NOTIFY) return false;
    const auto& hdr = *reinterpret_cast<const NMHDR*>(lParam);
    switch (hdr.code) {
        case LVN_ITEMCHANGING: {
            const auto& nm = reinterpret_cast<const NMLISTVIEW&>(hdr);
            if (!(nm.uChanged & LVIF_STATE) || !OnItemStateChanging) return false;
            if (OnItemStateChanging(nm.iItem, nm.uOldState, nm.uNewState)) return false;
            result = TRUE;  // refused
            return true;
        }
        case LVN_ITEMCHANGED: {
            const auto& nm = reinterpret_cast<const NMLISTVIEW&>(hdr);
            if (!(nm.uChanged & LVIF_STATE)) return false;
            // Copies: a handler may replace the callbacks.
            const auto changed = OnItemStateChanged;
            const auto checked = OnItemChecked;
            if (changed) changed(nm.iItem, nm.uOldState, nm.uNewState);
            if (checked && StateImageOf(nm.uOldState) != StateImageOf(nm.uNewState))
                checked(nm.iItem, StateImageOf(nm.uNewState) == 2);
            return false;
        }
        case NM_CUSTOMDRAW: {
            if (!OnItemPrePaint) return false;
            auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
            if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
                result = CDRF_NOTIFYITEMDRAW;
                return true;
            }
            if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                result = OnItemPrePaint(draw);
                if (result & CDRF_NEWFONT) {
                    // A font of the layout the handler chose shows at the list's DPI.
                    const HFONT chosen = static_cast<HFONT>(::GetCurrentObject(draw.nmcd.hdc, OBJ_FONT));
                    const HFONT scaled = FontForDpi(chosen, Dpi());
                    if (scaled && scaled != chosen) ::SelectObject(draw.nmcd.hdc, scaled);
                    if (KivHighContrast()) draw.clrText = draw.clrTextBk = CLR_DEFAULT;
                }
                return true;
            }
            return false;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// List box

bool TListBox::Create(const TListBoxArgs& a) {
    return CreateControl(L"LISTBOX", a.ExStyle, kChild | LBS_HASSTRINGS | a.Style, L"", a.Left, a.Top, a.Width,
                         a.Height, a.Parent, a.Id, a.Font);
}

void TListBox::Add(const std::wstring& line) {
    ::SendMessageW(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void TListBox::Delete(int index) { ::SendMessageW(Handle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0); }

void TListBox::Clear() { ::SendMessageW(Handle(), LB_RESETCONTENT, 0, 0); }

int TListBox::Count() const { return static_cast<int>(::SendMessageW(Handle(), LB_GETCOUNT, 0, 0)); }

std::wstring TListBox::Line(int index) const {
    const LRESULT length = ::SendMessageW(Handle(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got =
        ::SendMessageW(Handle(), LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return text;
}

std::vector<std::wstring> TListBox::Lines() const {
    std::vector<std::wstring> lines;
    const int count = Count();
    for (int i = 0; i < count; ++i) lines.push_back(Line(i));
    return lines;
}

int TListBox::SelectedCount() const {
    const LRESULT count = ::SendMessageW(Handle(), LB_GETSELCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
}

std::vector<int> TListBox::SelectedIndexes() const {
    const int count = SelectedCount();
    std::vector<int> selected(static_cast<size_t>(count));
    if (count == 0) return selected;
    const LRESULT got = ::SendMessageW(Handle(), LB_GETSELITEMS, static_cast<WPARAM>(count),
                                       reinterpret_cast<LPARAM>(selected.data()));
    selected.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return selected;
}

bool TListBox::Notified(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
    if (msg != WM_COMMAND || HIWORD(wParam) != LBN_SELCHANGE || !OnSelChange) return false;
    const auto onSelChange = OnSelChange;
    onSelChange();
    result = 0;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Check box

bool TCheckBox::Create(const TCheckBoxArgs& a) {
    if (a.Color) {
        FColor = *a.Color;
        FTextColor = a.TextColor;
        FBrush.Reset(::CreateSolidBrush(FColor));
    }
    return CreateControl(L"BUTTON", 0, kChild | BS_AUTOCHECKBOX, a.Caption, a.Left, a.Top, a.Width, a.Height, a.Parent,
                         a.Id, a.Font);
}

bool TCheckBox::Checked() const { return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
    ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::SetCaption(const std::wstring& caption) { ::SetWindowTextW(Handle(), caption.c_str()); }

bool TCheckBox::Notified(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (msg) {
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED || !OnClick) return false;
            {
                const auto onClick = OnClick;
                onClick();
            }
            result = 0;
            return true;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            if (!FBrush || KivHighContrast()) return false;  // the system's colours then
            const HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetBkColor(dc, FColor);
            ::SetTextColor(dc, FTextColor);
            result = reinterpret_cast<LRESULT>(FBrush.Get());
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Edit box

bool TEdit::Create(const TEditArgs& a) {
    return CreateControl(L"EDIT", a.ExStyle, kChild | a.Style, a.Text, a.Left, a.Top, a.Width, a.Height, a.Parent, a.Id,
                         a.Font);
}

std::wstring TEdit::Text() const {
    const int n = ::GetWindowTextLengthW(Handle());
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(Handle(), text.data(), n + 1);
    text.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return text;
}

void TEdit::SetText(const std::wstring& text) { ::SetWindowTextW(Handle(), text.c_str()); }

bool TEdit::Notified(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
    if (msg != WM_COMMAND || HIWORD(wParam) != EN_CHANGE || !OnChange) return false;
    const auto onChange = OnChange;
    onChange();
    result = 0;
    return true;
}

}  // namespace sk
