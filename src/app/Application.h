// Start-up, single instance and shutdown.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace sk {

class TIECleaner;
class TIEPlugInCleaner;
class TIESecurity;

// Everything that exists before the main window and outlives it: GDI+, the optional message-box
// library (and the engines). Made first, torn down in reverse order.
class TApplicationModule {
public:
    TApplicationModule();
    ~TApplicationModule();
    TApplicationModule(const TApplicationModule&) = delete;
    TApplicationModule& operator=(const TApplicationModule&) = delete;

    // The engines: one of each for the whole run, shared by the tabs.
    std::unique_ptr<TIECleaner> Cleaner;
    std::unique_ptr<TIEPlugInCleaner> PlugInCleaner;
    // Made once the program's folder is known: it keeps its list and backup there.
    std::unique_ptr<TIESecurity> Security;
};

class TfrmSurfkeep;
struct TfrmSurfkeepArgs;
// The main window's tabs on the module's engines and the real registry.
TfrmSurfkeepArgs DefaultTabs(TApplicationModule& module);

// Makes every later DLL load without a full path search the system folder only: the program runs
// elevated, and a folder users can write (a portable copy's) must not supply its DLLs. The DLLs that
// are not Known DLLs are delay-loaded, so the loader looks for none of them before this runs.
void LimitDllSearchToSystem();

// The program: the instance check, settings, string table, the main window and its message loop.
// Returns the process exit code.
int RunSurfkeep(int showCommand);

// Runs the start of the program (settings, window, message loop) and returns its exit code. When it
// fails (an error, too little memory, any standard exception) the error box says why and 1 is
// returned, so that the process ends: a copy without its window must not hold the instance mutex.
int RunGuardedStart(const std::function<int()>& start);

// The main window's title as the language pack beside the program gives it, read without creating
// or writing any file (a second copy finds the first's window by it).
std::wstring ReadFormTitle(const std::wstring& exePath);

class TfrmSurfkeep;
// The main window's message loop, until WM_QUIT.
int RunMessageLoop(TfrmSurfkeep& form);

// The instance mutex's name: the executable's file name with extension, without its folder.
std::wstring InstanceMutexName();
// Held beside the instance mutex while a change started from the command line runs.
std::wstring CommandLineMutexName();
// The text of key in the language pack the settings beside exePath name, read without loading the
// pack or writing any file; englishText when there is none.
std::wstring ReadPackText(const std::wstring& exePath, const wchar_t* key, const std::wstring& englishText);

}  // namespace sk
