#include "base/MessageBox.h"

#include "base/Errors.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/StringTable.h"

namespace sk {

namespace {

using TVodMessageBox = int(WINAPI*)(HWND, const wchar_t*, const wchar_t*, UINT, WORD, int);

TModule gVodLib;
TVodMessageBox gVodMessageBox = nullptr;
TMessageBoxHook gHook = nullptr;

}  // namespace

void LoadMessageBoxLibrary() {
    const std::wstring path = FileFolderOf(ExecutablePath()) + L"VODLib.dll";
    if (!FileExists(path)) return;
    // The one DLL taken from the program's folder; whatever it needs comes from the system folder.
    gVodLib.Reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!gVodLib) return;
    gVodMessageBox = reinterpret_cast<TVodMessageBox>(
        reinterpret_cast<void*>(::GetProcAddress(gVodLib.Get(), "MessageBox")));
    if (!gVodMessageBox) gVodLib.Reset();
}

void UnloadMessageBoxLibrary() {
    gVodMessageBox = nullptr;
    gVodLib.Reset();
}

bool MessageBoxLibraryLoaded() { return gVodMessageBox != nullptr; }

void SetMessageBoxHook(TMessageBoxHook hook) { gHook = hook; }

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style, WORD languageId,
                   int extra) {
    if (gHook) return gHook(owner, text, caption, style);
    if (gVodMessageBox) return gVodMessageBox(owner, text.c_str(), caption.c_str(), style, languageId, extra);
    return ::MessageBoxExW(owner, text.c_str(), caption.c_str(), style, languageId);
}

std::wstring ErrorBoxText(const std::wstring& message) {
    if (!message.empty() && message.back() <= L'.') return message;
    return message + L'.';
}

void ShowErrorBox(HWND owner, const std::wstring& message) {
    const std::wstring text = ErrorBoxText(message);
    if (gHook) {
        gHook(owner, text, IDS_SURFKEEP_FormTitle, MB_OK | MB_ICONSTOP);
        return;
    }
    ::MessageBoxW(owner, text.c_str(), IDS_SURFKEEP_FormTitle.c_str(), MB_OK | MB_ICONSTOP);
}

}  // namespace sk
