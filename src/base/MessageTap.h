// Hears the messages of a window that is not ours to subclass (a panel that holds a list view, so
// the list's notifications reach the tab that owns the list).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

namespace sk {

class TMessageTap {
public:
    // Return a value to answer the message; std::nullopt passes it on to the window.
    using THandler = std::function<std::optional<LRESULT>(UINT msg, WPARAM wParam, LPARAM lParam)>;

    TMessageTap() = default;
    ~TMessageTap() { Detach(); }
    TMessageTap(const TMessageTap&) = delete;
    TMessageTap& operator=(const TMessageTap&) = delete;

    void Attach(HWND wnd, THandler handler);
    void Detach();

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR ref);
    HWND FWnd = nullptr;
    THandler FHandler;
};

}  // namespace sk
