// The hosts-file manager behind the security shield: it swaps the system hosts file for the list of
// malicious hosts and back, lists, counts, adds and deletes blocking lines, and tells whether the
// server holds a newer list than the local copy. Window thread only.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Errors.h"
#include "base/MessagePump.h"
#include "security/HostsLine.h"
#include "security/InternetSupport.h"

namespace sk {

// One host name per call; an empty text marks the end (ListingDone is already true then).
using THostListedEvent = std::function<void(const std::wstring& host)>;

// Where the manager keeps its files and how it reaches the platform. Empty names mean the real
// places; tests point all of them into a folder of their own.
struct TIESecurityOptions {
    std::wstring HostsFileName;     // default: "Hosts" in system32\drivers\etc
    std::wstring ListFileName;      // default: "hosts.txt" in the program's folder
    std::wstring BackupFileName;    // default: "backup\hosts" in the program's folder
    std::wstring SettingsFileName;  // default: the program's settings file (for "HostsListUrl")
    TMessagePump* Pump = nullptr;   // default: WindowsMessagePump()
    // Called after every change of the hosts file. Default: DnsFlushResolverCache of dnsapi.dll
    // when the system has it.
    std::function<void()> FlushResolverCache;
    // Connect, send and receive limit of the version check, in milliseconds.
    uint32_t TimeoutMs = 30000;
};

class TIESecurity {
public:
    // The real places, made once at process start. Makes the one-time backup of the hosts file.
    TIESecurity();
    explicit TIESecurity(const TIESecurityOptions& options);
    TIESecurity(const TIESecurity&) = delete;
    TIESecurity& operator=(const TIESecurity&) = delete;

    std::wstring HostsFileName;
    std::wstring ListFileName;
    std::wstring BackupFileName;
    std::wstring ListUrl;
    bool ShieldOn = false;
    bool AutoUpdate = false;  // kept here for the tab, which loads and saves it
    bool ListingDone = true;
    THostListedEvent OnHostListed;

    // Copies the list file over the hosts file, once every line of the list has been checked to
    // point only at this computer. Nothing happens without a list file. Raises TError when the
    // list is refused or a file cannot be read or written; ShieldOn then keeps its value.
    void TurnOn();
    // Puts the backup (or the default text when there is none) back as the hosts file.
    void TurnOff();
    // Calls callback with the host field of each entry line, at most limit times (0: all), then
    // once with an empty text. Lets the window's messages run while it reads.
    void ListHosts(int limit, THostListedEvent callback);
    int CountHosts();
    void AddHost(const std::wstring& host, bool skipIfPresent);
    bool HostExists(const std::wstring& host);
    void DeleteHost(const std::wstring& host);
    // True when the server holds a newer list than the local one, or when there is no local list.
    // Raises TUpdateCheckError when the server could not be asked, and TConvertError when a
    // marker is not a date.
    bool NeedUpdate();

    static std::wstring HostOfLine(const std::wstring& line);
    static bool IsHostEntry(const std::wstring& line);
    // The marker of the file's first line; empty when the file does not exist.
    static std::wstring ReadLocalVersion(const std::wstring& fileName);
    // The marker of the first line of the file at url. Raises TUpdateCheckError.
    std::wstring ReadRemoteVersion(const std::wstring& url);
    static TUrlParts SplitUrl(const std::wstring& url);
    // Raises TConvertError for a piece that is not a decimal integer.
    static TVersionDate ParseVersionDate(const std::wstring& text);
    static void ParseVersionDate(const std::wstring& text, int& year, int& month, int& day);
    static std::vector<std::wstring> DefaultHostsText();

    // The text after the first "#" of the line (all of it without one), trimmed.
    static std::wstring MarkerOfLine(std::wstring_view line);
    // 127.0.0.0/8, 0.0.0.0, ::1 or ::, written the plain way.
    static bool IsLoopbackOrNullAddress(std::wstring_view address);

    // The system hosts file, its folder made when missing.
    static std::wstring SystemHostsFileName();
    // The list address: "HostsListUrl" of section "SURFKEEP" in the settings file, when set.
    static std::wstring ListUrlFromSettings(const std::wstring& settingsFileName);

private:
    void HostsFileChanged();
    void MakeBackup();

    TMessagePump& FPump;
    std::function<void()> FFlushResolverCache;
    uint32_t FTimeoutMs;
};

}  // namespace sk
