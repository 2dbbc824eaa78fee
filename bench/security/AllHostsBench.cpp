// The all-hosts window's complete load of a hosts file with 250,000 entries: from Refresh to
// "Loading is completed.", with the window on screen as the user sees it (needs a display).
#include <windows.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "HostsBenchSupport.h"
#include "base/Handles.h"
#include "base/MessageBox.h"
#include "security/ui/FormAllHostItems.h"
#include "security/IESecurityFuncs.h"

namespace {

constexpr int kEntries = skbench::kHostsEntries;
constexpr int kRuns = 3;

int ReportBox(HWND, const std::wstring& text, const std::wstring&, UINT) {
    std::fwprintf(stderr, L"box: %ls\n", text.c_str());
    return IDOK;
}

}  // namespace

int main() {
    sk::SetMessageBoxHook(ReportBox);
    const std::wstring folder = skbench::MakeScratchFolder(L"sk-bench-allhosts-");
    sk::TIESecurityOptions options;
    options.HostsFileName = folder + L"hosts";
    options.ListFileName = folder + L"hosts.txt";
    options.BackupFileName = folder + L"backup\\hosts";
    options.SettingsFileName = folder + L"config.ini";
    options.FlushResolverCache = [] {};
    skbench::WriteHostsList(options.HostsFileName);

    int status = 0;
    {
        sk::TIESecurity security(options);
        sk::TfrmShowAll form(security);
        if (!form.Create(nullptr)) {
            std::fprintf(stderr, "the window could not be made (no display?)\n");
            return 1;
        }
        ::ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
        form.FormClose();  // the loads below are started here, not by the window's timer
        ::UpdateWindow(form.Handle());

        form.btnRefreshClick();  // warm-up: the file in the cache, the list's memory once
        const double ms = skbench::MedianMs(kRuns, [&] { form.btnRefreshClick(); });
        if (form.LineCount() != kEntries || form.Loading()) {
            std::fprintf(stderr, "the window holds %d lines, not %d\n", form.LineCount(), kEntries);
            status = 1;
        }
        skbench::Report("allhosts-250k-load-s", ms / 1000.0, "s", "< 5");
    }

    ::DeleteFileW(options.HostsFileName.c_str());
    ::DeleteFileW(options.BackupFileName.c_str());
    ::RemoveDirectoryW((folder + L"backup").c_str());
    ::RemoveDirectoryW(folder.c_str());
    return status;
}
