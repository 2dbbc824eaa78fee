// A command of a window: caption, enabled and visible state, shortcut and what it does. Buttons,
// menu entries and keys run the same action; bound controls follow its state.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sk {

class TAction {
public:
    TAction() = default;
    TAction(const TAction&) = delete;
    TAction& operator=(const TAction&) = delete;

    const std::wstring& Caption() const { return FCaption; }
    bool Enabled() const { return FEnabled; }
    bool Visible() const { return FVisible; }
    void SetCaption(const std::wstring& caption);
    void SetEnabled(bool enabled);
    void SetVisible(bool visible);

    // Runs OnExecute when the action is enabled. An error it raises is shown in the application's
    // error box over Owner; the program goes on.
    void Execute();

    std::function<void()> OnExecute;
    HWND Owner = nullptr;  // the window whose error box shows a failure
    std::wstring Name;     // e.g. "actIERepair_Scan", for tests and diagnostics

    // Called whenever caption, enabled or visible change.
    void Subscribe(std::function<void(const TAction&)> listener);

private:
    void Changed();
    std::wstring FCaption;
    bool FEnabled = true;
    bool FVisible = true;
    std::vector<std::function<void(const TAction&)>> FListeners;
};

// Names an action, gives it the window whose error box shows its failures, and what it does.
void BindAction(TAction& action, HWND owner, const wchar_t* name, std::function<void()> run);

// Runs fn; a TError it raises goes to the error box over owner instead of further up.
void RunGuarded(HWND owner, const std::function<void()>& fn);

}  // namespace sk
