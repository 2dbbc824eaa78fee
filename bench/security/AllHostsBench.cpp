// The all-hosts window's complete load of a hosts file with 250,000 entries: from Refresh to
// "Loading is completed.", with the window on screen as the user sees it (needs a display).
#include <windows.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "app/Handles.h"
#include "app/MessageBox.h"
#include "security/FormAllHostItems.h"
#include "security/IESecurityFuncs.h"

namespace {

constexpr int kEntries = 250000;
constexpr int kRuns = 3;

std::wstring MakeScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"sk-bench-allhosts-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void WriteHosts(const std::wstring& file) {
    std::string text = "# 2010-09-07\r\n127.0.0.1       localhost\r\n";
    text.reserve(static_cast<size_t>(kEntries) * 40);
    char line[64];
    for (int i = 0; i < kEntries; ++i) {
        const int n = std::snprintf(line, sizeof line, "127.0.0.1\tmalicious-host-%06d.example\r\n", i);
        text.append(line, static_cast<size_t>(n));
    }
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

int ReportBox(HWND, const std::wstring& text, const std::wstring&, UINT) {
    std::fwprintf(stderr, L"box: %ls\n", text.c_str());
    return IDOK;
}

}  // namespace

int main() {
    sk::SetMessageBoxHook(ReportBox);
    const std::wstring folder = MakeScratchFolder();
    sk::TIESecurityOptions options;
    options.HostsFileName = folder + L"hosts";
    options.ListFileName = folder + L"hosts.txt";
    options.BackupFileName = folder + L"backup\\hosts";
    options.SettingsFileName = folder + L"config.ini";
    options.FlushResolverCache = [] {};
    WriteHosts(options.HostsFileName);

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
