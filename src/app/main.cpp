#include <windows.h>

#include "app/Application.h"
#include "app/CommandLine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // First of all, before anything loads a DLL: only from the system folder.
    sk::LimitDllSearchToSystem();
    // With arguments, a command for scripts: no window is made.
    const std::vector<std::wstring> args = sk::ProgramArguments();
    if (!args.empty()) return sk::RunCommandLine(args);
    return sk::RunSurfkeep(showCommand);
}
