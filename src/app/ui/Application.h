// Start-up, single instance and shutdown.
#pragma once

#include <string>

namespace sk {

// Everything that exists before the main window and outlives it: GDI+, the optional message-box
// library (and the engines). Made first, torn down in reverse order.
class TApplicationModule {
public:
    TApplicationModule();
    ~TApplicationModule();
    TApplicationModule(const TApplicationModule&) = delete;
    TApplicationModule& operator=(const TApplicationModule&) = delete;
};

// The program: settings, string table, the instance check, the main window and its message loop.
// Returns the process exit code.
int RunSurfkeep(int showCommand);

class TfrmSurfkeep;
// The main window's message loop, until WM_QUIT.
int RunMessageLoop(TfrmSurfkeep& form);

// The instance mutex's name: the executable's file name with extension, without its folder.
std::wstring InstanceMutexName();

}  // namespace sk
