#include "base/Action.h"

#include <new>

#include "base/Errors.h"

namespace sk {

void TAction::SetCaption(const std::wstring& caption) {
    if (caption == FCaption) return;
    FCaption = caption;
    Changed();
}

void TAction::SetEnabled(bool enabled) {
    if (enabled == FEnabled) return;
    FEnabled = enabled;
    Changed();
}

void TAction::SetVisible(bool visible) {
    if (visible == FVisible) return;
    FVisible = visible;
    Changed();
}

void TAction::Subscribe(std::function<void(const TAction&)> listener) {
    FListeners.push_back(std::move(listener));
    FListeners.back()(*this);
}

void TAction::Changed() {
    for (const auto& l : FListeners) l(*this);
}

void TAction::Execute() {
    if (!FEnabled || !OnExecute) return;
    RunGuarded(Owner, OnExecute);
}

void BindAction(TAction& action, HWND owner, const wchar_t* name, std::function<void()> run) {
    action.Owner = owner;
    action.Name = name;
    action.OnExecute = std::move(run);
}

void RunGuarded(HWND owner, const std::function<void()>& fn) {
    try {
        fn();
    } catch (const TError& e) {
        ShowErrorBox(owner, e.Message());
    } catch (const std::bad_alloc&) {
        ShowErrorBox(owner, L"Out of memory");
    }
}

}  // namespace sk
