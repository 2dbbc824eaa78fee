// Start-up, single instance and shutdown.
#pragma once

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

// The program: settings, string table, the instance check, the main window and its message loop.
// Returns the process exit code.
int RunSurfkeep(int showCommand);

class TfrmSurfkeep;
// The main window's message loop, until WM_QUIT.
int RunMessageLoop(TfrmSurfkeep& form);

// The instance mutex's name: the executable's file name with extension, without its folder.
std::wstring InstanceMutexName();

}  // namespace sk
