#include <windows.h>

#include "app/Application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) { return sk::RunSurfkeep(showCommand); }
