// The native controls the tabs and dialogs use, each a small owner of its window with typed
// callbacks for the notifications it sends its parent (which must be a TWindow: a skinned panel,
// a dialog). Made from an arguments struct in the parent's 96-dpi layout, e.g.
//     list.Create({.Parent = panel.Handle(), .Left = 3, .Top = 3, .Width = 744, .Height = 330});
// which the control scales with its parent's DPI (place, font, column widths), and again when the
// DPI changes. Each stands for its HWND where the platform's functions want one.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/Window.h"

namespace sk {

// ---------------------------------------------------------------------------------------------
// List view

struct TListViewArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Id = 0;
    // Window styles beyond WS_CHILD | WS_VISIBLE | WS_TABSTOP (LVS_REPORT, LVS_SINGLESEL, ...).
    DWORD Style = 0;
    DWORD ExStyle = WS_EX_CLIENTEDGE;
    DWORD ListExStyle = 0;  // LVS_EX_ styles
    HFONT Font = nullptr;   // not owned
};

class TListView : public TNativeControl {
public:
    bool Create(const TListViewArgs& args);

    // A column `width` layout pixels wide.
    void AddColumn(int index, int width, const std::wstring& caption);
    void SetColumnCaption(int index, const std::wstring& caption);
    // Inserts a row at `row` (its first column); returns its index, or -1.
    int InsertItem(int row, const std::wstring& text, LPARAM param = 0, std::optional<int> groupId = std::nullopt);
    void SetItemText(int row, int column, const std::wstring& text);
    // The row's tick box as its state picture: 0 none, 1 unticked, 2 ticked.
    void SetStateImage(int row, int image);
    // The number kept with the row, or nothing for a row that does not exist.
    std::optional<LPARAM> ItemParam(int row) const;
    int Count() const;
    void DeleteAllItems();

    // A row's state is about to change (selection, focus, its tick box): false refuses the change.
    std::function<bool(int row, UINT oldState, UINT newState)> OnItemStateChanging;
    // A row's state has changed.
    std::function<void(int row, UINT oldState, UINT newState)> OnItemStateChanged;
    // A row's tick box has changed (LVS_EX_CHECKBOXES): ticked or not.
    std::function<void(int row, bool checked)> OnItemChecked;
    // A row is about to be drawn: the handler may change the font (then answer CDRF_NEWFONT) and
    // the colours of the custom-draw record; CDRF_DODEFAULT leaves the row as it is.
    std::function<LRESULT(NMLVCUSTOMDRAW& draw)> OnItemPrePaint;

protected:
    bool Notified(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DpiChanged(int oldDpi, int newDpi) override;
};

// ---------------------------------------------------------------------------------------------
// List box

struct TListBoxArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Id = 0;
    // Window styles beyond WS_CHILD | WS_VISIBLE | WS_TABSTOP | LBS_HASSTRINGS.
    DWORD Style = WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    DWORD ExStyle = WS_EX_CLIENTEDGE;
    HFONT Font = nullptr;  // not owned
};

class TListBox : public TNativeControl {
public:
    bool Create(const TListBoxArgs& args);

    void Add(const std::wstring& line);
    void Delete(int index);
    void Clear();
    int Count() const;
    std::wstring Line(int index) const;
    std::vector<std::wstring> Lines() const;
    int SelectedCount() const;
    // The selected lines' indexes, in order (a list with LBS_EXTENDEDSEL or LBS_MULTIPLESEL).
    std::vector<int> SelectedIndexes() const;

    // The selection changed by the user's hand (LBN_SELCHANGE).
    std::function<void()> OnSelChange;

protected:
    bool Notified(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// ---------------------------------------------------------------------------------------------
// Check box

struct TCheckBoxArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Id = 0;
    std::wstring Caption;
    HFONT Font = nullptr;  // not owned
    // The surface the box stands on and its text's colour; without them the system's button face.
    std::optional<COLORREF> Color;
    COLORREF TextColor = ::GetSysColor(COLOR_BTNTEXT);
};

class TCheckBox : public TNativeControl {
public:
    bool Create(const TCheckBoxArgs& args);

    bool Checked() const;
    void SetChecked(bool checked);
    void SetCaption(const std::wstring& caption);

    // The user ticked or unticked the box (BN_CLICKED).
    std::function<void()> OnClick;

protected:
    bool Notified(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    TBrush FBrush;  // of Color
    COLORREF FColor = 0, FTextColor = 0;
};

// ---------------------------------------------------------------------------------------------
// Edit box

struct TEditArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Id = 0;
    std::wstring Text;
    // Window styles beyond WS_CHILD | WS_VISIBLE | WS_TABSTOP.
    DWORD Style = ES_AUTOHSCROLL;
    DWORD ExStyle = WS_EX_CLIENTEDGE;
    HFONT Font = nullptr;  // not owned
};

class TEdit : public TNativeControl {
public:
    bool Create(const TEditArgs& args);

    std::wstring Text() const;
    void SetText(const std::wstring& text);

    // The text changed (EN_CHANGE).
    std::function<void()> OnChange;

protected:
    bool Notified(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

}  // namespace sk
