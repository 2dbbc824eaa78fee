// The baseline of the start-up benchmark: the least a Win32 program does to show a window.
#include "MinimalWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    return skbench::RunMinimalWindow(instance, show, L"MinimalWindow");
}
