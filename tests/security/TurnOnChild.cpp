// A child process for the fault tests: makes the shield on the given files, signals the named
// event, then turns the shield on, so that the test can end it at any moment of Turn on.
//   security_turnon_child.exe <hosts> <list> <backup> <settings> <event name>
#include <windows.h>
#include <shellapi.h>

#include "security/IESecurityFuncs.h"

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 6) return 2;
    sk::TIESecurityOptions options;
    options.HostsFileName = argv[1];
    options.ListFileName = argv[2];
    options.BackupFileName = argv[3];
    options.SettingsFileName = argv[4];
    options.FlushResolverCache = [] {};
    try {
        sk::TIESecurity shield(options);
        const HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[5]);
        if (ready) ::SetEvent(ready);
        shield.TurnOn();
    } catch (const sk::TError&) {
        return 1;
    }
    return 0;
}
