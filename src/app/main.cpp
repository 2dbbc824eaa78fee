#include <windows.h>

#include "app/Application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // First of all, before anything loads a DLL: only from the system folder.
    sk::LimitDllSearchToSystem();
    return sk::RunSurfkeep(showCommand);
}
