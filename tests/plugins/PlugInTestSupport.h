// Helpers of the plug-in tests: registrations of add-ons made through any registry backend and
// removed again, a backend that records every deletion, a HKEY_CLASSES_ROOT kept apart from the
// machine's classes, and snapshots of registry trees.
#pragma once

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/Errors.h"
#include "plugins/IEPlugInFuncs.h"
#include "registry/RegistryStore.h"

namespace sk {
std::ostream& operator<<(std::ostream& os, const TIEPlugInInfo& info);
std::ostream& operator<<(std::ostream& os, TRegView view);
}  // namespace sk

namespace sktest {

// A CLSID-shaped name unique to this process: "{5EED00<nn>-5EED-4000-8000-<process id>}".
std::wstring TestGuid(int number);

// One add-on as an installer would register it.
struct TAddOnSetup {
    std::wstring Clsid;
    std::wstring Name;
    std::wstring FileName;
    std::wstring ProgID;    // with a key of its own that names the class
    std::wstring ViProgID;  // likewise, with CurVer
    std::wstring TypeLib;   // with its version, win32 file and flags
    std::wstring AppID;     // with its key, and a "<module>.dll" key that names it
    std::wstring AppIDModule = L"acme.exe";  // the AppID key's default value
    bool Toolbar = false;
    bool BHO = false;
    sk::TRegView View = sk::TRegView::Native;
    bool HasClass = true;  // false: listed, but with no class key at all
};

// Keys and values that a test makes, all removed again (newest first) when it ends. Only what did
// not exist before is removed; keys that were already there keep everything else.
class TRegFixture {
public:
    explicit TRegFixture(sk::TRegistryBackend& backend) : FBackend(backend) {}
    ~TRegFixture();
    TRegFixture(const TRegFixture&) = delete;
    TRegFixture& operator=(const TRegFixture&) = delete;

    void MakeKey(sk::TRegRoot root, sk::TRegView view, const std::wstring& path);
    void Set(sk::TRegRoot root, sk::TRegView view, const std::wstring& path, const std::wstring& name,
             const sk::TRegValue& value);
    void Set(sk::TRegRoot root, const std::wstring& path, const std::wstring& name, const sk::TRegValue& value) {
        Set(root, sk::TRegView::Native, path, name, value);
    }
    void AddMenuExtension(const std::wstring& name);
    // The class, ProgIDs, type library and AppID under classesRoot\classesPath (by default the
    // machine's HKLM\Software\Classes), usage statistics, and the toolbar and BHO entries.
    void AddAddOn(const TAddOnSetup& addOn);
    void AddClasses(const TAddOnSetup& addOn, sk::TRegRoot root, const std::wstring& classesPath);

    // Every key an add-on's registration made, for snapshots.
    struct TPlace {
        sk::TRegRoot Root;
        sk::TRegView View;
        std::wstring Path;
    };
    const std::vector<TPlace>& Places() const { return FPlaces; }

private:
    struct TMade {
        sk::TRegRoot Root;
        sk::TRegView View;
        std::wstring Path;
        bool IsValue;
        std::wstring Value;
    };
    bool MakeKeyReport(sk::TRegRoot root, sk::TRegView view, const std::wstring& path);

    sk::TRegistryBackend& FBackend;  // not owned
    std::vector<TMade> FMade;
    std::vector<TPlace> FPlaces;
};

bool KeyExists(sk::TRegistryBackend& backend, sk::TRegRoot root, sk::TRegView view, const std::wstring& path);
bool ValueExists(sk::TRegistryBackend& backend, sk::TRegRoot root, sk::TRegView view, const std::wstring& path,
                 const std::wstring& name);

// Every key, value (type and bytes) and subkey of the places, in a stable text form.
std::wstring Snapshot(sk::TRegistryBackend& backend, const std::vector<TRegFixture::TPlace>& places);

// Passes everything through and writes one line per deletion that succeeded:
// "HKCR CLSID\{...}" for a key, "HKLM:32 Software\...\Toolbar = {...}" for a value (":32" marks the
// 32-bit view).
class TRecordingBackend : public sk::TRegistryBackend {
public:
    explicit TRecordingBackend(sk::TRegistryBackend& inner) : FInner(inner) {}
    std::unique_ptr<sk::TRegistryKey> OpenKey(sk::TRegRoot root, sk::TRegView view, const std::wstring& path,
                                              bool create) override;
    std::vector<std::wstring> Log;

private:
    sk::TRegistryBackend& FInner;
};

// HKEY_CLASSES_ROOT as Windows shows it to a user with classes of their own, kept apart from
// HKLM\Software\Classes: here the user's Software\Classes (32-bit view: its Wow6432Node).
class TUserClassesBackend : public sk::TRegistryBackend {
public:
    explicit TUserClassesBackend(sk::TRegistryBackend& inner) : FInner(inner) {}
    std::unique_ptr<sk::TRegistryKey> OpenKey(sk::TRegRoot root, sk::TRegView view, const std::wstring& path,
                                              bool create) override;

private:
    sk::TRegistryBackend& FInner;
};

// Files as the remover sees them, in memory: a Windows folder of its own, the files that exist, and
// the moves into the backup. Paths match whatever their letter case.
class TFakePlugInFiles : public sk::TPlugInFiles {
public:
    std::wstring Windows = L"C:\\windows\\";
    std::wstring System = L"C:\\windows\\system32\\";
    std::wstring SysWow64 = L"C:\\windows\\syswow64\\";
    std::vector<std::wstring> Files;   // files that exist, as spelt here
    std::set<std::wstring> Locked;     // files that cannot be moved (in use)
    std::vector<std::wstring> Moved;   // "from" of every move, in order
    std::vector<std::wstring> Targets; // "to" of every move
    bool Forbidden = false;            // a move fails the test

    std::wstring WindowsFolder() override { return Windows; }
    std::wstring SystemFolder() override { return System; }
    std::wstring SystemFolderFor(sk::TRegView view) override {
        return view == sk::TRegView::Wow32 ? SysWow64 : System;
    }
    std::wstring FinalPath(const std::wstring& path) override;
    bool MoveToBackup(const std::wstring& from, const std::wstring& to, DWORD& error) override;
};

// The real file system, with another folder standing for the Windows folder (so that a file in the
// real System32 or SysWOW64 can be seen to move), and a log of the moves.
class TRealPlugInFiles : public sk::TPlugInFiles {
public:
    std::wstring Windows;  // "" means the real one
    std::vector<std::wstring> Moved;

    std::wstring WindowsFolder() override {
        return Windows.empty() ? sk::WindowsPlugInFiles().WindowsFolder() : Windows;
    }
    std::wstring SystemFolder() override { return sk::WindowsPlugInFiles().SystemFolder(); }
    std::wstring SystemFolderFor(sk::TRegView view) override { return sk::WindowsPlugInFiles().SystemFolderFor(view); }
    std::wstring FinalPath(const std::wstring& path) override { return sk::WindowsPlugInFiles().FinalPath(path); }
    bool MoveToBackup(const std::wstring& from, const std::wstring& to, DWORD& error) override {
        const bool moved = sk::WindowsPlugInFiles().MoveToBackup(from, to, error);
        if (moved) Moved.push_back(from);
        return moved;
    }
};

// What one clean reported: each callback's text with the Finished flag seen at that moment.
struct TProgressLog {
    std::vector<std::wstring> Names;
    std::vector<bool> FinishedFlags;
    sk::TIEPlugInCleanEvent Handler(const sk::TIEPlugInCleaner& cleaner);
};

}  // namespace sktest
