// The plug-in scanner and remover: lists the browser's context-menu extensions, toolbars and browser
// helper objects, and removes the chosen ones with their COM registration and DLL file. Every
// registry entry it deletes is first saved to a regedit file under backup\plugins\, and the DLL is
// moved there beside it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plugins/PlugInFiles.h"
#include "plugins/RegBackup.h"
#include "registry/RegistryStore.h"

namespace sk {

inline constexpr const wchar_t* kMenuExtPath = L"Software\\Microsoft\\Internet Explorer\\MenuExt";
inline constexpr const wchar_t* kToolbarPath = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
inline constexpr const wchar_t* kBHOPath =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
inline constexpr const wchar_t* kClassesCLSIDPath = L"Software\\Classes\\CLSID";
inline constexpr const wchar_t* kExtStatsPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats";

// The COM registration of one add-on. Every field is "" when its key or value is absent.
struct TIEBHOInfo {
    std::wstring CLSID;     // the name under which the add-on is listed, unchanged
    std::wstring AppID;     // value "AppID" of the class key
    std::wstring FileName;  // default value of the class key's "InprocServer32"
    std::wstring ProgID;
    std::wstring TypeLib;
    std::wstring VersionIndependentProgID;

    bool operator==(const TIEBHOInfo&) const = default;
};

// Where a COM add-on is listed.
enum class TPlugInSource { Toolbar, BrowserHelperObject };

// One listed COM add-on.
struct TIEPlugInInfo {
    std::wstring Name;  // the class key's default value, the add-on's display name
    TIEBHOInfo BHOInfo;
    TPlugInSource Source = TPlugInSource::Toolbar;
    // The registry view it is registered in: on 64-bit Windows the 32-bit browser's add-ons live in
    // the 32-bit view (Wow32). Everything about the add-on is read and removed in this view.
    TRegView View = TRegView::Native;

    bool operator==(const TIEPlugInInfo&) const = default;
};
using TPlugInInfoArray = std::vector<TIEPlugInInfo>;

// Called during a clean with the name of each add-on being removed, and once more at the end with ""
// while Finished is already true.
using TIEPlugInCleanEvent = std::function<void(const std::wstring& name)>;

enum class TRegEntryKind { Subkey, Value };

enum class TPlugInKind { MenuExtension, ComAddOn };

// One entry of a selection, naming exactly one add-on: a context-menu extension by its subkey name
// (letter case significant), or a COM add-on by its CLSID (letter case ignored, as the registry
// ignores it). Never a part of a longer text. View, when set, limits a COM entry to the add-on as
// listed in that view; unset, it takes the add-on in every view it is listed in.
struct TPlugInSelectionEntry {
    TPlugInKind Kind = TPlugInKind::ComAddOn;
    std::wstring Name;
    std::optional<TRegView> View;

    bool operator==(const TPlugInSelectionEntry&) const = default;
};
using TPlugInSelection = std::vector<TPlugInSelectionEntry>;

// What became of the DLL of a removed COM add-on.
enum class TPlugInFileFate {
    Moved,           // moved into the backup folder (MovedTo)
    KeptWindows,     // it lies in the Windows folder
    KeptShared,      // other registered classes still name it (UsedBy)
    KeptRegistered,  // the add-on's own class could not be removed from the registry
    KeptUnqualified, // the registration names it without its folder: which file it is cannot be told
    NotMoved,        // the move failed (a DLL in use, no rights); Error says why
};

struct TPlugInFileReport {
    std::wstring AddOn;  // the add-on's name, or its CLSID when it has none
    std::wstring File;   // the file as it really lies (a 32-bit registration's System32 is SysWOW64)
    TPlugInFileFate Fate = TPlugInFileFate::Moved;
    std::wstring MovedTo;
    std::vector<std::wstring> UsedBy;  // KeptShared: the CLSIDs of the classes that still name it
    DWORD Error = 0;                   // NotMoved: the system's error code
};
// The report's line for the user (string table texts).
std::wstring PlugInFileReportText(const TPlugInFileReport& report);

class TIEPlugInCleaner {
public:
    // backupFolder "" means backup\plugins\ beside the program (taken at each clean, so the engine
    // may be made before the program's folder is settled).
    explicit TIEPlugInCleaner(TRegistryBackend& backend = WindowsRegistryBackend(), std::wstring backupFolder = {},
                              TPlugInFiles& files = WindowsPlugInFiles());
    ~TIEPlugInCleaner();
    TIEPlugInCleaner(const TIEPlugInCleaner&) = delete;
    TIEPlugInCleaner& operator=(const TIEPlugInCleaner&) = delete;

    // Subkey names of the current user's MenuExt key, in enumeration order.
    std::vector<std::wstring> ListMenuExtensions();
    // Toolbars (values of the Toolbar key), then browser helper objects (subkeys of their key), each
    // first in the native view and then in the 32-bit one, in enumeration order, each record filled
    // by ReadClassRegistration. An add-on listed in several places is listed once per place.
    TPlugInInfoArray ListToolbarsAndBHOs();
    // Fills Name and BHOInfo of a record whose CLSID and View are set, from its class key
    // HKLM\Software\Classes\CLSID\<CLSID> in the record's view. A value of the wrong type reads as "".
    void ReadClassRegistration(TIEPlugInInfo& record);

    // Removes the selected add-ons: context-menu extensions first, then COM add-ons, each in the
    // order of the selection; returns after the final callback. A context-menu extension counts when
    // its key is deleted, a COM add-on when its Toolbar value or BHO key (where it was listed) is gone
    // afterwards. Of a COM add-on's registration only what is its own goes: its type library only
    // when the library's files are the add-on's DLL and no other class names the library, its AppID
    // only when no other class names it. Its DLL is moved into the backup folder, beside the .reg
    // file and named after it ("<time> <file name>"), unless it lies in the Windows folder or another
    // class (of either view) still names it; FileReports says what became of each DLL.
    // An error (a registry value of an unexpected type, a backup file that cannot be written) still
    // ends with Finished true and the final callback, and then reaches the caller.
    void Clean(const TPlugInSelection& selection, TIEPlugInCleanEvent onProgress);
    // Each text names a context-menu extension by its exact name, or a COM add-on (every view) by its
    // exact CLSID. A {}-selection needs the type spelt out.
    void Clean(const std::vector<std::wstring>& selection, TIEPlugInCleanEvent onProgress);
    // The same clean on another registry and file system than the engine's own, for this call only:
    // a restore point's recording registry, and files that are captured before they move. Both wrap
    // what Registry() and Files() reach (not owned; they must outlive the call). The backup file's
    // key names stay those of the engine's own registry.
    void Clean(const TPlugInSelection& selection, TIEPlugInCleanEvent onProgress, TRegistryBackend& registry,
               TPlugInFiles& files);

    // The registry and the file system the engine works on (its own, or those of the running clean).
    TRegistryBackend& Registry() const { return *FBackend; }
    TPlugInFiles& Files() const { return *FFiles; }

    // Removes the subkey (with everything beneath it) or the value called name beneath root\path
    // ("" is the root itself), saving it to the backup first. Nothing happens for a blank name, a
    // subkey name holding a "\" (that would reach deeper than one key), or a path that does not
    // open. Returns whether something was removed.
    bool RemoveRegistryEntry(TRegRoot root, const std::wstring& path, const std::wstring& name, TRegEntryKind kind,
                             TRegView view = TRegView::Native);
    // The default value of root\path with its extension replaced by ".dll", or current when the key
    // does not open.
    std::wstring ReadAppIdName(TRegRoot root, const std::wstring& path, const std::wstring& current,
                               TRegView view = TRegView::Native);

    // The folder the backups go to, with a trailing backslash.
    std::wstring BackupFolder() const;

    int32_t CleanedCount = 0;  // removals made by the running or last clean
    bool Finished = true;      // false only while a clean runs
    TIEPlugInCleanEvent OnProgress;
    // How keys are named in the backup file; by default the system is asked for the real registry.
    TRegKeyNamer KeyNamer;
    // The regedit file of the last clean (or RemoveRegistryEntry call outside a clean); "" when it
    // removed nothing from the registry.
    std::wstring BackupFileName;
    // What became of the DLL of every COM add-on the last clean removed, in order.
    std::vector<TPlugInFileReport> FileReports;

private:
    struct TClassIndex;  // which classes name which files, type libraries and AppIDs

    void RemoveMenuExtensions(const TPlugInSelection& selection);
    void RemoveComAddOns(const TPlugInSelection& selection);
    void RemoveComAddOn(const TIEPlugInInfo& record);
    bool TypeLibIsOwn(const TIEPlugInInfo& record, const std::wstring& dll);
    void RemoveAddOnFile(const TIEPlugInInfo& record);
    std::wstring PhysicalPath(const std::wstring& registered, TRegView view);
    bool IsStillListed(const TIEPlugInInfo& record);
    void RemoveProgID(TRegRoot root, const std::wstring& path, const std::wstring& progId, const std::wstring& clsid,
                      TRegView view);
    bool RemoveSaved(TRegRoot root, TRegView view, const std::wstring& path, const std::wstring& name,
                     TRegEntryKind kind);
    std::vector<TRegView> AddOnViews();
    void Progress(const std::wstring& name);
    void BeginBackup();
    void EndBackup();

    TRegistryBackend* FBackend;  // not owned
    std::wstring FBackupFolder;
    TPlugInFiles* FFiles;  // not owned
    std::unique_ptr<TRegBackupFile> FBackup;  // the running clean's file, made at its first removal
    std::unique_ptr<TClassIndex> FClasses;    // the running clean's, made at its first COM add-on
};

}  // namespace sk
