// A second baseline of the start-up benchmark: the minimal window again, but started the way the
// program starts before it does any work of its own: the same manifest (common controls 6) and the
// same DLLs loaded at start. The difference to the minimal window is what any program with these
// DLLs pays; the difference to the program is the program's own work.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <wininet.h>

#include "MinimalWindow.h"

namespace {

// One function from each DLL the program imports, so that the loader maps them all at start.
void* volatile gImports[] = {
    reinterpret_cast<void*>(&::RegOpenKeyExW),          reinterpret_cast<void*>(&::CoInitializeEx),
    reinterpret_cast<void*>(&::ShellExecuteW),          reinterpret_cast<void*>(&::GetFileVersionInfoSizeW),
    reinterpret_cast<void*>(&::InternetOpenW),          reinterpret_cast<void*>(&::GdiAlphaBlend),
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&icc);
    const int result = skbench::RunMinimalWindow(instance, show, L"MinimalWindowSameDlls");
    return gImports[0] ? result : 1;
}
