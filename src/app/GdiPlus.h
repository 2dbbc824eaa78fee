// GDI+, loaded at run time from the system folder and started for the life of the process.
#pragma once

namespace sk {

void StartGdiPlus();     // a missing gdiplus.dll leaves GDI+ unstarted; start-up goes on
void ShutdownGdiPlus();  // shuts GDI+ down and unloads the library
bool GdiPlusStarted();

}  // namespace sk
