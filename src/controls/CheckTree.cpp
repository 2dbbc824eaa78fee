#include "controls/CheckTree.h"

#include <windowsx.h>

#include <algorithm>

#include "base/Errors.h"
#include "base/Fonts.h"
#include "controls/KWTheme.h"
#include "controls/ScaledAssets.h"

namespace sk {

namespace {

constexpr int kBox = 16;  // the tick boxes and icons, in the layout

// State image numbers: 0 none, 1 unchecked, 2 checked, 3 mixed, then the same three disabled.
int StateImage(const TCheckNode& node) {
    if (node.CheckType == ctNone) return 0;
    const int base = node.CheckState == csChecked ? 2 : node.CheckState == csMixed ? 3 : 1;
    return node.Disabled ? base + 3 : base;
}

// One tick box of `size` pixels (16 in the layout) with its left edge at x.
void DrawBox(HDC dc, int x, int size, int kind, bool disabled) {
    const bool hc = KivHighContrast();
    const COLORREF border = hc ? ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT)
                               : disabled ? RGB(0xC4, 0xCA, 0xD3) : RGB(0x7A, 0x8A, 0x9E);
    const COLORREF fill = hc ? ::GetSysColor(COLOR_WINDOW) : disabled ? RGB(0xF1, 0xF3, 0xF6) : RGB(0xFF, 0xFF, 0xFF);
    const COLORREF mark = hc ? ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT)
                             : disabled ? RGB(0xA8, 0xB0, 0xBC) : RGB(0x1E, 0x5A, 0xA8);
    auto at = [size](int v) { return ::MulDiv(v, size, kBox); };
    const int edge = std::max(1, at(1));
    RECT box{x + at(2), at(2), x + at(15), at(15)};
    TBrush borderBrush(::CreateSolidBrush(border)), fillBrush(::CreateSolidBrush(fill));
    ::FillRect(dc, &box, borderBrush.Get());
    RECT inner{box.left + edge, box.top + edge, box.right - edge, box.bottom - edge};
    ::FillRect(dc, &inner, fillBrush.Get());
    if (kind == 2) {  // a tick: two strokes, two layout pixels thick
        TPen pen(::CreatePen(PS_SOLID, std::max(2, at(2)), mark));
        TSelectObject sel(dc, pen.Get());
        ::MoveToEx(dc, x + at(5), at(8), nullptr);
        ::LineTo(dc, x + at(7), at(11));
        ::LineTo(dc, x + at(12), at(5));
    } else if (kind == 3) {  // mixed: a filled square
        TBrush markBrush(::CreateSolidBrush(mark));
        RECT sq{box.left + at(3), box.top + at(3), box.right - at(3), box.bottom - at(3)};
        ::FillRect(dc, &sq, markBrush.Get());
    }
}

// An image list of premultiplied pictures of one size (straight alpha, as image lists want it).
HIMAGELIST ImageListOf(const std::vector<TKivPicture>& pictures, int size) {
    HIMAGELIST list = ::ImageList_Create(size, size, ILC_COLOR32, static_cast<int>(pictures.size()), 0);
    if (!list) return nullptr;
    TWindowDC screen(nullptr);
    for (const TKivPicture& picture : pictures) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* raw = nullptr;
        TBitmap bitmap(::CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &raw, nullptr, 0));
        if (!bitmap || !raw) break;
        auto* bits = static_cast<uint32_t*>(raw);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const uint32_t p = picture.Pixel(x, y);
                const uint32_t a = p >> 24;
                uint32_t out = 0;
                if (a == 255) {
                    out = p;
                } else if (a > 0) {
                    auto channel = [&](int shift) {
                        return std::min<uint32_t>(255, (((p >> shift) & 0xFF) * 255 + a / 2) / a);
                    };
                    out = (a << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
                }
                bits[y * size + x] = out;
            }
        }
        ::GdiFlush();
        ::ImageList_Add(list, bitmap.Get(), nullptr);
    }
    return list;
}

}  // namespace

TCheckTree::~TCheckTree() {
    // Destroyed while this object's handler still runs and before the state pictures go.
    if (Handle()) ::DestroyWindow(Handle());
}

HWND TCheckTree::Create(HWND parent, int x, int y, int w, int h, int id) {
    const RECT layout{x, y, x + w, y + h};
    const RECT px = TDisplayScale::FromDpi(WindowDpi(parent)).Scale(layout);
    HWND tree = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                                      TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                                  px.left, px.top, px.right - px.left, px.bottom - px.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance(), nullptr);
    // Attached, not subclassed through comctl32, which looks its data up with a window property at
    // every message: a round trip to the server under Wine (about 130 microseconds a message), and a
    // scan sends the tree several messages per item.
    if (!tree || !Attach(tree)) {
        if (tree) ::DestroyWindow(tree);
        return nullptr;
    }
    AdoptLayout(layout);
    CreateStateImages();
    return tree;
}

void TCheckTree::CreateStateImages() {
    // Seven pictures side by side: blank, unchecked, checked, mixed, and the three disabled.
    constexpr int count = 7;
    const int box = ToPixels(kBox);
    TWindowDC screen(nullptr);
    TMemDC dc(::CreateCompatibleDC(screen.Get()));
    TBitmap bmp(::CreateCompatibleBitmap(screen.Get(), box * count, box));
    {
        TSelectObject sel(dc.Get(), bmp.Get());
        RECT all{0, 0, box * count, box};
        TBrush magenta(::CreateSolidBrush(RGB(255, 0, 255)));
        ::FillRect(dc.Get(), &all, magenta.Get());
        for (int i = 1; i < count; ++i) DrawBox(dc.Get(), i * box, box, i > 3 ? i - 3 : i, i > 3);
    }
    FStateImages.Reset(::ImageList_Create(box, box, ILC_COLOR24 | ILC_MASK, count, 0));
    ::ImageList_AddMasked(FStateImages.Get(), bmp.Get(), RGB(255, 0, 255));
    TreeView_SetImageList(Handle(), FStateImages.Get(), TVSIL_STATE);
}

void TCheckTree::SetIcons(const std::vector<std::wstring>& pictureNames) {
    FIconNames = pictureNames;
    CreateIcons();
}

void TCheckTree::CreateIcons() {
    if (!Handle() || FIconNames.empty()) return;
    const TDisplayScale scale = Scale();
    std::vector<TKivPicture> pictures;
    for (const std::wstring& name : FIconNames) {
        TKivPicture picture;
        try {
            picture = AssetPictureAt(name.c_str(), scale);
        } catch (const TError&) {
            // A missing picture gives a blank icon, which keeps the others at their indexes.
        }
        pictures.push_back(picture);
    }
    HIMAGELIST made = ImageListOf(pictures, scale.Scale(kBox));
    TreeView_SetImageList(Handle(), made, TVSIL_NORMAL);
    FIcons.Reset(made);  // the tree shows the new list already
}

void TCheckTree::OnDpiChanged(int) {
    // The given font, row height, tick boxes and icons, at the new scale.
    if (FLayoutFont) DefaultMessage(WM_SETFONT, reinterpret_cast<WPARAM>(FontForDpi(FLayoutFont, Dpi())), TRUE);
    CreateStateImages();
    CreateIcons();
    if (FLayoutItemHeight > 0) DefaultMessage(TVM_SETITEMHEIGHT, static_cast<WPARAM>(ToPixels(FLayoutItemHeight)), 0);
}

TCheckNode* TCheckTree::NodeOf(HTREEITEM item) const {
    if (!item) return nullptr;
    TVITEMW tvi{};
    tvi.mask = TVIF_PARAM | TVIF_HANDLE;
    tvi.hItem = item;
    if (!TreeView_GetItem(Handle(), &tvi)) return nullptr;
    return reinterpret_cast<TCheckNode*>(tvi.lParam);
}

TCheckNode* TCheckTree::NewNode(TCheckNode* parent, TCheckType type, int index, const std::wstring& text) {
    auto owned = std::make_unique<TCheckNode>();
    TCheckNode* node = owned.get();
    node->Parent = parent;
    node->CheckType = type;
    node->Index = index;
    node->Text = text;
    FNodes.push_back(std::move(owned));
    (parent ? parent->Children : FTopLevel).push_back(node);
    return node;
}

void TCheckTree::InsertItem(TCheckNode& node) {
    TVINSERTSTRUCTW ins{};
    ins.hParent = node.Parent ? node.Parent->Item : TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = const_cast<wchar_t*>(node.Text.c_str());
    ins.item.lParam = reinterpret_cast<LPARAM>(&node);
    ins.item.iImage = ins.item.iSelectedImage = node.Index < 0 ? 0 : node.Index;
    ins.item.stateMask = TVIS_STATEIMAGEMASK;
    ins.item.state = INDEXTOSTATEIMAGEMASK(StateImage(node));
    node.Item = TreeView_InsertItem(Handle(), &ins);
}

TCheckNode* TCheckTree::AddNode(TCheckNode* parent, TCheckType type, int index, const std::wstring& text) {
    TCheckNode* node = NewNode(parent, type, index, text);
    InsertItem(*node);
    return node;
}

TCheckNode* TCheckTree::AddNode(TCheckNode* parent, TCheckType type, int index, const std::wstring& text,
                                TCheckState state) {
    TCheckNode* node = NewNode(parent, type, index, text);
    SetCheckState(*node, state);
    InsertItem(*node);
    return node;
}

void TCheckTree::UpdateItemState(const TCheckNode& node) {
    if (!node.Item) return;
    TreeView_SetItemState(Handle(), node.Item, INDEXTOSTATEIMAGEMASK(StateImage(node)), TVIS_STATEIMAGEMASK);
}

bool TCheckTree::SetCheckState(TCheckNode& node, TCheckState state) {
    if (node.CheckState == state || node.Disabled) return false;
    if (OnChecking && !OnChecking(node, state)) return false;
    node.CheckState = state;
    UpdateItemState(node);
    if (OnChecked) OnChecked(node);
    if (TriStateTracking && state != csMixed) {
        // The children follow; their parent is settled once, afterwards (and tracking goes on as
        // before when a checking event raises).
        const bool outer = !FInParentUpdate;
        {
            const TScopedValue inParentUpdate(FInParentUpdate, true);
            for (TCheckNode* child : node.Children) SetCheckState(*child, state);
        }
        if (outer) UpdateParents(node.Parent);
    } else if (TriStateTracking && !FInParentUpdate) {
        UpdateParents(node.Parent);
    }
    return true;
}

void TCheckTree::UpdateParents(TCheckNode* parent) {
    for (; parent; parent = parent->Parent) {
        if (parent->CheckType != ctTriState) return;
        int checked = 0, unchecked = 0, boxes = 0;
        for (const TCheckNode* c : parent->Children) {
            if (c->CheckType == ctNone) continue;
            ++boxes;
            if (c->CheckState == csChecked) ++checked;
            else if (c->CheckState == csUnchecked) ++unchecked;
        }
        if (boxes == 0) return;
        const TCheckState state = checked == boxes ? csChecked : unchecked == boxes ? csUnchecked : csMixed;
        if (state == parent->CheckState || parent->Disabled) return;
        if (OnChecking && !OnChecking(*parent, state)) return;
        parent->CheckState = state;
        UpdateItemState(*parent);
        if (OnChecked) OnChecked(*parent);
    }
}

void TCheckTree::Toggle(TCheckNode& node) {
    if (node.CheckType == ctNone) return;
    SetCheckState(node, node.CheckState == csChecked ? csUnchecked : csChecked);
}

void TCheckTree::SetText(TCheckNode& node, const std::wstring& text) {
    node.Text = text;
    TVITEMW tvi{};
    tvi.mask = TVIF_TEXT | TVIF_HANDLE;
    tvi.hItem = node.Item;
    tvi.pszText = const_cast<wchar_t*>(node.Text.c_str());
    TreeView_SetItem(Handle(), &tvi);
}

void TCheckTree::SetDisabled(TCheckNode& node, bool disabled) {
    node.Disabled = disabled;
    UpdateItemState(node);
}

void TCheckTree::Clear() {
    BeginUpdate();
    TreeView_DeleteAllItems(Handle());
    FTopLevel.clear();
    FNodes.clear();
    EndUpdate();
}

void TCheckTree::Expand(TCheckNode& node, bool expand) {
    TreeView_Expand(Handle(), node.Item, expand ? TVE_EXPAND : TVE_COLLAPSE);
}

void TCheckTree::BeginUpdate() {
    if (FUpdating++ == 0) FRedrawOff.emplace(Handle());
}

void TCheckTree::EndUpdate() {
    if (FUpdating > 0 && --FUpdating == 0) FRedrawOff.reset();
}

void TCheckTree::RepaintNow() {
    if (FUpdating > 0)
        RedrawHeldNow(Handle(), RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
    else
        ::UpdateWindow(Handle());
}

LRESULT TCheckTree::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND wnd = Handle();
    switch (msg) {
        case WM_SETFONT:
            // A font of the layout, shown at the tree's DPI.
            FLayoutFont = reinterpret_cast<HFONT>(wParam);
            return DefaultMessage(msg, reinterpret_cast<WPARAM>(FontForDpi(FLayoutFont, Dpi())), lParam);
        case TVM_SETITEMHEIGHT:
            // Layout pixels; -1 gives the tree its own height back.
            FLayoutItemHeight = static_cast<int>(static_cast<short>(LOWORD(wParam)));
            if (FLayoutItemHeight > 0) wParam = static_cast<WPARAM>(ToPixels(FLayoutItemHeight));
            return DefaultMessage(msg, wParam, lParam);
        case WM_SYSCOLORCHANGE: {
            const LRESULT r = DefaultMessage(msg, wParam, lParam);
            CreateStateImages();
            return r;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            TVHITTESTINFO hit{};
            hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            TreeView_HitTest(wnd, &hit);
            if (hit.hItem && (hit.flags & TVHT_ONITEMSTATEICON)) {
                if (::IsWindowEnabled(wnd)) {
                    ::SetFocus(wnd);
                    TreeView_SelectItem(wnd, hit.hItem);
                    if (TCheckNode* node = NodeOf(hit.hItem)) Toggle(*node);
                }
                return 0;
            }
            break;
        }
        case WM_KEYDOWN:
            if (wParam == VK_SPACE) {
                if (TCheckNode* node = NodeOf(TreeView_GetSelection(wnd))) Toggle(*node);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == L' ') return 0;  // no beep for the Space that toggled
            break;
    }
    return DefaultMessage(msg, wParam, lParam);
}

TCheckNode* AddCheckNode(TCheckTree& tree, TCheckNode* parent, TCheckState state, TCheckType type, int index,
                         const std::wstring& text) {
    return tree.AddNode(parent, type, index, text, state);
}

void SetCheckStateDeep(TCheckTree& tree, TCheckNode* node, TCheckState state) {
    if (!node) return;
    tree.SetCheckState(*node, state);
    for (TCheckNode* child : node->Children) SetCheckStateDeep(tree, child, state);
}

void SetAllCheckStates(TCheckTree& tree, TCheckState state) {
    for (TCheckNode* node : tree.TopLevel()) SetCheckStateDeep(tree, node, state);
}

TCheckNode* FindCategoryNode(const TCheckTree& tree, const std::wstring& text) {
    for (TCheckNode* node : tree.TopLevel())
        if (node->Text.find(text) != std::wstring::npos) return node;
    return nullptr;
}

}  // namespace sk
