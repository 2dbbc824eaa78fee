// The one message box of the program. When VODLib.dll lies beside the executable and exports
// MessageBox, that function draws the box; otherwise MessageBoxExW does.
#pragma once

#include <windows.h>

#include <string>

namespace sk {

// Loads VODLib.dll from the executable's folder (never from the search path: the program runs
// elevated) and resolves its MessageBox export. Missing library or export: the platform box is used.
void LoadMessageBoxLibrary();
void UnloadMessageBoxLibrary();
bool MessageBoxLibraryLoaded();

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style, WORD languageId,
                   int extra);

// Replaces the box for tests: gets the same arguments and returns the answer.
using TMessageBoxHook = int (*)(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style);
void SetMessageBoxHook(TMessageBoxHook hook);

}  // namespace sk
