// The program run from a command line, for scripts and for managing many machines: the same engines
// and restore points as the window, no window, nothing that waits for input, an exit code to act on
// and, on request, a JSON report.
//
//     surfkeep.exe /scan [/json FILE]            exit 1 when something needs repair
//     surfkeep.exe /repair all|N[,N...]           ...  (/? lists them all)
#pragma once

#include <string>
#include <vector>

namespace sk {

// Exit codes.
inline constexpr int kExitDone = 0;         // done; nothing needs attention
inline constexpr int kExitNeedsRepair = 1;  // /scan found an item that needs repair
inline constexpr int kExitError = 2;        // something failed or was refused; standard error says what
inline constexpr int kExitBadArguments = 3; // the arguments are not understood; the usage is printed

// The program's arguments, without its own name (CommandLineToArgvW's rules for quotes).
std::vector<std::wstring> ProgramArguments();

// Runs one command (the arguments, not empty) and returns the process's exit code. Settings and the
// language pack are loaded as for the window, first. A command that changes the machine holds the
// program's instance mutex while it runs, and refuses (kExitError) while the window, or another such
// command, is running.
int RunCommandLine(const std::vector<std::wstring>& args);

}  // namespace sk
