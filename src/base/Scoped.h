// Scoped guards of the window thread. Each undoes on every way out, an error included, what it did
// at its start: a depth count, a variable's value, a window's drawing, the pointer's shape, or any
// last step. What a guard runs at its end must not raise.
#pragma once

#include <windows.h>

#include <utility>

namespace sk {

// One level deeper for its lifetime: how far the program is inside a handler that may be entered
// again, or inside work that tells handlers to behave differently.
class TDepth {
public:
    explicit TDepth(int& depth) : FDepth(depth) { ++FDepth; }
    ~TDepth() { --FDepth; }
    TDepth(const TDepth&) = delete;
    TDepth& operator=(const TDepth&) = delete;

private:
    int& FDepth;
};

// Gives a variable a value for the guard's lifetime, then puts the old value back.
template <typename T>
class TScopedValue {
public:
    TScopedValue(T& variable, T value) : FVariable(variable), FOld(std::exchange(variable, std::move(value))) {}
    ~TScopedValue() { FVariable = std::move(FOld); }
    TScopedValue(const TScopedValue&) = delete;
    TScopedValue& operator=(const TScopedValue&) = delete;

private:
    T& FVariable;
    T FOld;
};

// Runs a last step when the scope ends, however it ends.
template <typename F>
class TScopeExit {
public:
    explicit TScopeExit(F step) : FStep(std::move(step)) {}
    ~TScopeExit() { FStep(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    F FStep;
};

// Turns a window's drawing on or off (WM_SETREDRAW); off, the window ignores every change on screen.
inline void SetRedraw(HWND wnd, bool on) { ::SendMessageW(wnd, WM_SETREDRAW, on ? TRUE : FALSE, 0); }

// A window's drawing held off for the guard's lifetime, while many items go into it; at the end it
// is drawn again, by default whole and with its background (the RedrawWindow flags say what).
class TRedrawOff {
public:
    explicit TRedrawOff(HWND wnd, UINT redrawFlags = RDW_INVALIDATE | RDW_ERASE) : FWnd(wnd), FFlags(redrawFlags) {
        SetRedraw(FWnd, false);
    }
    ~TRedrawOff() {
        SetRedraw(FWnd, true);
        ::RedrawWindow(FWnd, nullptr, nullptr, FFlags);
    }
    TRedrawOff(const TRedrawOff&) = delete;
    TRedrawOff& operator=(const TRedrawOff&) = delete;

private:
    HWND FWnd;
    UINT FFlags;
};

// For a window whose drawing is held off: shows now what it holds (RedrawWindow with these flags),
// then holds its drawing off again. A long fill shows its progress so.
inline void RedrawHeldNow(HWND wnd, UINT redrawFlags) {
    SetRedraw(wnd, true);
    ::RedrawWindow(wnd, nullptr, nullptr, redrawFlags);
    SetRedraw(wnd, false);
}

// The hourglass while the window thread waits (no message runs meanwhile, so nothing else changes
// the pointer).
class TWaitCursor {
public:
    TWaitCursor() : FOld(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~TWaitCursor() { ::SetCursor(FOld); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
    HCURSOR FOld;
};

}  // namespace sk
