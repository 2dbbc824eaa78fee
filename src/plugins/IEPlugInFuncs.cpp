#include "plugins/IEPlugInFuncs.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "base/Format.h"
#include "base/Paths.h"
#include "base/Scoped.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "plugins/RegBackup.h"

namespace sk {

namespace {

bool IsBlank(const std::wstring& text) {
    for (wchar_t c : text)
        if (c > L' ') return false;
    return true;
}

// Upper case for map keys that must match as the registry and the file system match names.
std::wstring Folded(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool SameTextI(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// A registration field: text up to its first zero. A value of another type cannot name anything, so
// it reads as "" rather than failing the whole listing over one damaged add-on.
std::wstring RegistrationText(TRegistryStore& store, const std::wstring& name) {
    const auto value = store.ReadValue(name);
    if (!value || (value->Type != REG_SZ && value->Type != REG_EXPAND_SZ)) return {};
    std::wstring text(value->Data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(text.data(), value->Data.data(), text.size() * sizeof(wchar_t));
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
}

// Only a fully qualified name is taken as the add-on's own file: a bare or relative name
// ("mscoree.dll" of add-ons written for .NET) would be looked up in whatever folder happens to be
// current, and the file found there belongs to somebody else.
bool IsFullPath(const std::wstring& name) {
    if (name.size() >= 3 && ((name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z')) &&
        name[1] == L':' && (name[2] == L'\\' || name[2] == L'/'))
        return true;
    return name.size() > 2 && name[0] == L'\\' && name[1] == L'\\';
}

// A registered file name as a path: surrounding blanks and quotes removed.
std::wstring Unquoted(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && text[first] <= L' ') ++first;
    while (last > first && text[last - 1] <= L' ') --last;
    if (last - first >= 2 && text[first] == L'"' && text[last - 1] == L'"') {
        ++first;
        --last;
    }
    return text.substr(first, last - first);
}

// The folders below System32 that the file-system redirector leaves alone.
bool IsRedirectionExempt(const std::wstring& relative) {
    for (const wchar_t* exempt : {L"catroot", L"catroot2", L"drivers\\etc", L"logfiles", L"spool"})
        if (PathIsWithin(relative, exempt)) return true;
    return false;
}

// A type library's file entry may end in a resource number ("acme.dll\2").
std::wstring WithoutResourceNumber(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos || cut + 1 >= path.size()) return path;
    for (size_t i = cut + 1; i < path.size(); ++i)
        if (path[i] < L'0' || path[i] > L'9') return path;
    return path.substr(0, cut);
}

const wchar_t* const kUserClassesCLSIDPath = L"Software\\Classes\\CLSID";

}  // namespace

std::wstring PlugInFileReportText(const TPlugInFileReport& report) {
    switch (report.Fate) {
        case TPlugInFileFate::Moved: return Fmt(IDS_IEPLUGIN_FileMoved, report.File, report.MovedTo);
        case TPlugInFileFate::KeptWindows: return Fmt(IDS_IEPLUGIN_FileKeptWindows, report.File);
        case TPlugInFileFate::KeptShared: return Fmt(IDS_IEPLUGIN_FileKeptShared, report.File);
        case TPlugInFileFate::KeptRegistered: return Fmt(IDS_IEPLUGIN_FileKeptRegistered, report.File);
        case TPlugInFileFate::KeptUnqualified: return Fmt(IDS_IEPLUGIN_FileKeptUnqualified, report.File);
        case TPlugInFileFate::NotMoved: return Fmt(IDS_IEPLUGIN_FileNotMoved, report.File);
    }
    return report.File;
}

// Which registered classes name which file, type library and AppID, so that nothing another class
// still uses is removed with an add-on. Keyed by folded text; each use is one class registration,
// "<root> <view> <CLSID>".
struct TIEPlugInCleaner::TClassIndex {
    struct TNames {
        std::wstring File, TypeLib, AppID;  // folded; "" when absent
    };
    std::map<std::wstring, TNames> Classes;
    std::map<std::wstring, std::set<std::wstring>> Files, TypeLibs, AppIDs;

    static std::wstring KeyOf(TRegRoot root, TRegView view, const std::wstring& clsid) {
        return std::to_wstring(static_cast<int>(root)) + L" " + std::to_wstring(static_cast<int>(view)) + L" " +
               Folded(clsid);
    }
    void Add(const std::wstring& key, TNames names) {
        Remove(key);
        if (!names.File.empty()) Files[names.File].insert(key);
        if (!names.TypeLib.empty()) TypeLibs[names.TypeLib].insert(key);
        if (!names.AppID.empty()) AppIDs[names.AppID].insert(key);
        Classes[key] = std::move(names);
    }
    void Remove(const std::wstring& key) {
        const auto it = Classes.find(key);
        if (it == Classes.end()) return;
        Files[it->second.File].erase(key);
        TypeLibs[it->second.TypeLib].erase(key);
        AppIDs[it->second.AppID].erase(key);
        Classes.erase(it);
    }
    bool Has(const std::wstring& key) const { return Classes.count(key) != 0; }
    // The classes that name text in map, the registrations in own left out.
    static std::vector<std::wstring> Others(const std::map<std::wstring, std::set<std::wstring>>& map,
                                            const std::wstring& text, const std::set<std::wstring>& own) {
        std::vector<std::wstring> others;
        const auto it = map.find(text);
        if (text.empty() || it == map.end()) return others;
        for (const auto& key : it->second)
            if (!own.count(key)) others.push_back(key);
        return others;
    }
};

TIEPlugInCleaner::TIEPlugInCleaner(TRegistryBackend& backend, std::wstring backupFolder, TPlugInFiles& files)
    : FBackend(&backend), FBackupFolder(std::move(backupFolder)), FFiles(&files) {
    KeyNamer = DefaultRegKeyNamer(backend);
}

TIEPlugInCleaner::~TIEPlugInCleaner() = default;

std::wstring TIEPlugInCleaner::BackupFolder() const {
    if (!FBackupFolder.empty()) return WithTrailingBackslash(FBackupFolder);
    const std::wstring program = ProgramFolder.empty() ? FileFolderOf(ExecutablePath()) : ProgramFolder;
    return program + L"backup\\plugins\\";
}

std::vector<TRegView> TIEPlugInCleaner::AddOnViews() {
#if defined(_WIN64)
    return {TRegView::Native, TRegView::Wow32};
#else
    // A 32-bit build sees the 32-bit view as its own; the 64-bit browser's add-ons lie in the other.
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) return {TRegView::Native, TRegView::Wow64};
    return {TRegView::Native};
#endif
}

std::vector<std::wstring> TIEPlugInCleaner::ListMenuExtensions() {
    TRegistryStore store(*FBackend, TRegRoot::CurrentUser);
    if (!store.Open(kMenuExtPath, false)) return {};
    return store.ListSubkeys();
}

TPlugInInfoArray TIEPlugInCleaner::ListToolbarsAndBHOs() {
    TPlugInInfoArray list;
    const auto views = AddOnViews();
    const auto listPlace = [&](const wchar_t* path, TPlugInSource source) {
        for (size_t i = 0; i < views.size(); ++i) {
            // Where the system keeps one key for both views, the second view would list it again.
            if (i > 0 && SameTextI(KeyNamer(TRegRoot::LocalMachine, views[0], path),
                                   KeyNamer(TRegRoot::LocalMachine, views[i], path)))
                continue;
            std::vector<std::wstring> names;
            {
                TRegistryStore store(*FBackend, TRegRoot::LocalMachine, views[i]);
                if (!store.Open(path, false)) continue;
                names = source == TPlugInSource::Toolbar ? store.ListValueNames() : store.ListSubkeys();
            }
            for (const auto& name : names) {
                TIEPlugInInfo record;
                record.BHOInfo.CLSID = name;
                record.Source = source;
                record.View = views[i];
                ReadClassRegistration(record);
                list.push_back(std::move(record));
            }
        }
    };
    listPlace(kToolbarPath, TPlugInSource::Toolbar);
    listPlace(kBHOPath, TPlugInSource::BrowserHelperObject);
    return list;
}

void TIEPlugInCleaner::ReadClassRegistration(TIEPlugInInfo& record) {
    TIEBHOInfo& info = record.BHOInfo;
    // No key has an empty name: without this the CLSID container itself would be read.
    if (info.CLSID.empty()) return;
    const std::wstring classPath = JoinRegPath(kClassesCLSIDPath, info.CLSID);
    TRegistryStore store(*FBackend, TRegRoot::LocalMachine, record.View);
    if (!store.Open(classPath, false)) return;
    record.Name = RegistrationText(store, L"");
    info.AppID = RegistrationText(store, L"AppID");
    const std::pair<const wchar_t*, std::wstring*> fields[] = {
        {L"InprocServer32", &info.FileName},
        {L"ProgID", &info.ProgID},
        {L"TypeLib", &info.TypeLib},
        {L"VersionIndependentProgID", &info.VersionIndependentProgID},
    };
    for (const auto& [subkey, field] : fields) {
        if (!store.HasSubkey(subkey)) continue;
        TRegistryStore sub(*FBackend, TRegRoot::LocalMachine, record.View);
        if (sub.Open(JoinRegPath(classPath, subkey), false)) *field = RegistrationText(sub, L"");
    }
}

void TIEPlugInCleaner::Clean(const std::vector<std::wstring>& selection, TIEPlugInCleanEvent onProgress) {
    TPlugInSelection entries;
    entries.reserve(selection.size() * 2);
    for (const auto& text : selection) {
        entries.push_back({TPlugInKind::MenuExtension, text, std::nullopt});
        entries.push_back({TPlugInKind::ComAddOn, text, std::nullopt});
    }
    Clean(entries, std::move(onProgress));
}

void TIEPlugInCleaner::Clean(const TPlugInSelection& selection, TIEPlugInCleanEvent onProgress,
                             TRegistryBackend& registry, TPlugInFiles& files) {
    const TScopedValue<TRegistryBackend*> useRegistry(FBackend, &registry);
    const TScopedValue<TPlugInFiles*> useFiles(FFiles, &files);
    Clean(selection, std::move(onProgress));
}

void TIEPlugInCleaner::Clean(const TPlugInSelection& selection, TIEPlugInCleanEvent onProgress) {
    OnProgress = std::move(onProgress);
    CleanedCount = 0;
    Finished = false;
    BackupFileName.clear();
    FileReports.clear();
    try {
        BeginBackup();
        RemoveMenuExtensions(selection);
        RemoveComAddOns(selection);
    } catch (...) {
        FClasses.reset();
        EndBackup();
        Finished = true;
        Progress(L"");
        throw;
    }
    FClasses.reset();
    EndBackup();
    Finished = true;
    Progress(L"");
}

void TIEPlugInCleaner::Progress(const std::wstring& name) {
    if (OnProgress) OnProgress(name);
}

void TIEPlugInCleaner::BeginBackup() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    FBackup = std::make_unique<TRegBackupFile>(BackupFolder(), now);
}

void TIEPlugInCleaner::EndBackup() {
    if (!FBackup) return;
    BackupFileName = FBackup->Close();
    FBackup.reset();
}

void TIEPlugInCleaner::RemoveMenuExtensions(const TPlugInSelection& selection) {
    std::vector<std::wstring> names;
    {
        TRegistryStore store(*FBackend, TRegRoot::CurrentUser);
        if (!store.Open(kMenuExtPath, false) || !store.HasAnySubkey()) return;
        names = store.ListSubkeys();
    }
    for (const auto& entry : selection) {
        if (entry.Kind != TPlugInKind::MenuExtension) continue;
        for (const auto& name : names) {
            if (entry.Name != name) continue;
            Progress(name);
            if (RemoveSaved(TRegRoot::CurrentUser, TRegView::Native, kMenuExtPath, name, TRegEntryKind::Subkey))
                ++CleanedCount;
        }
    }
}

void TIEPlugInCleaner::RemoveComAddOns(const TPlugInSelection& selection) {
    if (std::none_of(selection.begin(), selection.end(),
                     [](const TPlugInSelectionEntry& e) { return e.Kind == TPlugInKind::ComAddOn; }))
        return;
    const TPlugInInfoArray records = ListToolbarsAndBHOs();
    for (const auto& entry : selection) {
        if (entry.Kind != TPlugInKind::ComAddOn || IsBlank(entry.Name)) continue;
        for (const auto& record : records) {
            const std::wstring& clsid = record.BHOInfo.CLSID;
            if (clsid.empty() || !SameTextI(entry.Name, clsid)) continue;
            if (entry.View && *entry.View != record.View) continue;
            Progress(record.Name);
            RemoveComAddOn(record);
            // Counted when the browser no longer finds it where it was listed; an add-on whose
            // entry could not be removed (no rights to the machine's keys) is still there.
            if (!IsStillListed(record)) ++CleanedCount;
        }
    }
}

bool TIEPlugInCleaner::IsStillListed(const TIEPlugInInfo& record) {
    TRegistryStore store(*FBackend, TRegRoot::LocalMachine, record.View);
    if (record.Source == TPlugInSource::Toolbar)
        return store.Open(kToolbarPath, false) && store.HasValue(record.BHOInfo.CLSID);
    return store.Open(kBHOPath, false) && store.HasSubkey(record.BHOInfo.CLSID);
}

std::wstring TIEPlugInCleaner::PhysicalPath(const std::wstring& registered, TRegView view) {
    const std::wstring name = Unquoted(registered);
    if (!IsFullPath(name)) return {};
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD n = ::GetFullPathNameW(name.c_str(), MAX_PATH * 2, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return {};
    std::wstring full(buffer, n);
    // A registration names System32 as the code of its own view sees it: a 32-bit add-on's
    // System32 is SysWOW64.
    const std::wstring system = FFiles->SystemFolder();
    if (PathIsWithin(full, system) && full.size() > system.size()) {
        const std::wstring relative = full.substr(WithTrailingBackslash(system).size());
        if (!IsRedirectionExempt(relative)) full = FFiles->SystemFolderFor(view) + relative;
    }
    return full;
}

namespace {

struct TClassNames {
    bool Exists = false;
    std::wstring File, TypeLib, AppID;
};

TClassNames ReadClassNames(TRegistryBackend& backend, TRegRoot root, TRegView view, const std::wstring& classPath) {
    TClassNames names;
    TRegistryStore store(backend, root, view);
    if (!store.Open(classPath, false)) return names;
    names.Exists = true;
    names.AppID = RegistrationText(store, L"AppID");
    for (const auto& [subkey, field] : {std::pair<const wchar_t*, std::wstring*>{L"InprocServer32", &names.File},
                                        {L"TypeLib", &names.TypeLib}}) {
        TRegistryStore sub(backend, root, view);
        if (sub.Open(JoinRegPath(classPath, subkey), false)) *field = RegistrationText(sub, L"");
    }
    return names;
}

}  // namespace

void TIEPlugInCleaner::RemoveComAddOn(const TIEPlugInInfo& record) {
    const TIEBHOInfo& info = record.BHOInfo;
    const TRegView view = record.View;
    const auto remove = [&](TRegRoot root, const wchar_t* path, const std::wstring& name,
                            TRegEntryKind kind = TRegEntryKind::Subkey) {
        RemoveRegistryEntry(root, path, name, kind, view);
    };
    const TRegRoot classes = TRegRoot::ClassesRoot, machine = TRegRoot::LocalMachine;
    const std::vector<TRegView> views = AddOnViews();

    // Made once per clean, before its first COM removal: which classes name which file, type library
    // and AppID, in every view, the user's own classes included (Windows merges them into
    // HKEY_CLASSES_ROOT).
    if (!FClasses) {
        FClasses = std::make_unique<TClassIndex>();
        for (const TRegRoot root : {machine, TRegRoot::CurrentUser}) {
            const wchar_t* base = root == machine ? kClassesCLSIDPath : kUserClassesCLSIDPath;
            for (size_t i = 0; i < views.size(); ++i) {
                if (i > 0 && SameTextI(KeyNamer(root, views[0], base), KeyNamer(root, views[i], base))) continue;
                std::vector<std::wstring> clsids;
                {
                    TRegistryStore store(*FBackend, root, views[i]);
                    if (!store.Open(base, false)) continue;
                    clsids = store.ListSubkeys();
                }
                for (const auto& clsid : clsids) {
                    const TClassNames names = ReadClassNames(*FBackend, root, views[i], JoinRegPath(base, clsid));
                    if (!names.Exists) continue;
                    FClasses->Add(TClassIndex::KeyOf(root, views[i], clsid),
                                  {Folded(PhysicalPath(names.File, views[i])), Folded(Unquoted(names.TypeLib)),
                                   Folded(Unquoted(names.AppID))});
                }
            }
        }
    }
    // The add-on's own registration: its class in its view, the machine's and the user's copy.
    const std::set<std::wstring> own = {TClassIndex::KeyOf(machine, view, info.CLSID),
                                        TClassIndex::KeyOf(TRegRoot::CurrentUser, view, info.CLSID)};
    const std::wstring dll = PhysicalPath(info.FileName, view);
    // Read before the class key goes: the type library and AppID are the add-on's only when no other
    // class names them.
    const bool ownTypeLib =
        !IsBlank(info.TypeLib) &&
        TClassIndex::Others(FClasses->TypeLibs, Folded(Unquoted(info.TypeLib)), own).empty() &&
        TypeLibIsOwn(record, dll);
    const bool ownAppId =
        !IsBlank(info.AppID) && TClassIndex::Others(FClasses->AppIDs, Folded(Unquoted(info.AppID)), own).empty();

    RemoveProgID(classes, L"", info.ProgID, info.CLSID, view);
    RemoveProgID(classes, L"", info.VersionIndependentProgID, info.CLSID, view);
    remove(classes, L"CLSID", info.CLSID);
    if (ownTypeLib) {
        remove(classes, L"TypeLib", info.TypeLib);
        // HKEY_CLASSES_ROOT shows a per-user type library in place of the machine's; take both.
        remove(machine, L"Software\\Classes\\TypeLib", info.TypeLib);
    }
    remove(TRegRoot::CurrentUser, kExtStatsPath, info.CLSID);
    RemoveProgID(machine, L"Software\\Classes", info.ProgID, info.CLSID, view);
    RemoveProgID(machine, L"Software\\Classes", info.VersionIndependentProgID, info.CLSID, view);
    remove(machine, kClassesCLSIDPath, info.CLSID);
    remove(machine, kBHOPath, info.CLSID);
    remove(machine, kToolbarPath, info.CLSID, TRegEntryKind::Value);

    // The AppID's own key, and the "<module>.dll" key that names it, whose name comes from the
    // AppID's default value; both read before the AppID key goes. An add-on without an AppID has
    // neither.
    if (ownAppId) {
        const auto removeModule = [&](TRegRoot root, const wchar_t* path, const std::wstring& module) {
            // Only a module key that names this AppID belongs to it.
            if (IsBlank(module) || module.find(L'\\') != std::wstring::npos) return;
            {
                TRegistryStore store(*FBackend, root, view);
                if (!store.Open(JoinRegPath(path, module), false)) return;
                if (!SameTextI(Unquoted(RegistrationText(store, L"AppID")), Unquoted(info.AppID))) return;
            }
            remove(root, path, module);
        };
        std::wstring moduleName =
            ReadAppIdName(machine, JoinRegPath(L"Software\\Classes\\AppID", info.AppID), L"", view);
        remove(machine, L"Software\\Classes\\AppID", info.AppID);
        removeModule(machine, L"Software\\Classes\\AppID", moduleName);
        moduleName = ReadAppIdName(classes, JoinRegPath(L"AppID", info.AppID), moduleName, view);
        remove(classes, L"AppID", info.AppID);
        removeModule(classes, L"AppID", moduleName);
    }

    // What the registry says of the add-on's class now.
    for (const TRegRoot root : {machine, TRegRoot::CurrentUser}) {
        const std::wstring key = TClassIndex::KeyOf(root, view, info.CLSID);
        const wchar_t* base = root == machine ? kClassesCLSIDPath : kUserClassesCLSIDPath;
        const TClassNames names = ReadClassNames(*FBackend, root, view, JoinRegPath(base, info.CLSID));
        if (names.Exists)
            FClasses->Add(key, {Folded(PhysicalPath(names.File, view)), Folded(Unquoted(names.TypeLib)),
                                Folded(Unquoted(names.AppID))});
        else
            FClasses->Remove(key);
    }
    RemoveAddOnFile(record);
}

bool TIEPlugInCleaner::TypeLibIsOwn(const TIEPlugInInfo& record, const std::wstring& dll) {
    if (dll.empty()) return false;
    // Every file the library names, in every version and language, must be the add-on's DLL.
    int files = 0;
    for (const auto& [root, base] : {std::pair<TRegRoot, const wchar_t*>{TRegRoot::ClassesRoot, L"TypeLib"},
                                     {TRegRoot::LocalMachine, L"Software\\Classes\\TypeLib"}}) {
        const std::wstring lib = JoinRegPath(base, record.BHOInfo.TypeLib);
        std::vector<std::wstring> versions;
        {
            TRegistryStore store(*FBackend, root, record.View);
            if (!store.Open(lib, false)) continue;
            versions = store.ListSubkeys();
        }
        for (const auto& version : versions) {
            std::vector<std::wstring> languages;
            {
                TRegistryStore store(*FBackend, root, record.View);
                if (!store.Open(JoinRegPath(lib, version), false)) continue;
                languages = store.ListSubkeys();
            }
            for (const auto& language : languages) {
                if (language.empty() || !std::all_of(language.begin(), language.end(), [](wchar_t c) {
                        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
                    }))
                    continue;  // FLAGS, HELPDIR
                for (const bool win64 : {false, true}) {
                    TRegistryStore store(*FBackend, root, record.View);
                    if (!store.Open(JoinRegPath(JoinRegPath(JoinRegPath(lib, version), language),
                                                win64 ? L"win64" : L"win32"),
                                    false))
                        continue;
                    // win32 files are loaded by 32-bit code, win64 files by 64-bit code.
#if defined(_WIN64)
                    const TRegView fileView = win64 ? TRegView::Native : TRegView::Wow32;
#else
                    const TRegView fileView = win64 ? TRegView::Wow64 : TRegView::Native;
#endif
                    const std::wstring file = PhysicalPath(WithoutResourceNumber(Unquoted(RegistrationText(store, L""))),
                                                           fileView);
                    if (!SameTextI(file, dll)) return false;
                    ++files;
                }
            }
        }
    }
    return files > 0;
}

void TIEPlugInCleaner::RemoveAddOnFile(const TIEPlugInInfo& record) {
    const TIEBHOInfo& info = record.BHOInfo;
    if (IsBlank(info.FileName)) return;
    TPlugInFileReport report;
    report.AddOn = record.Name.empty() ? info.CLSID : record.Name;
    const std::wstring physical = PhysicalPath(info.FileName, record.View);
    if (physical.empty()) {
        report.File = info.FileName;
        report.Fate = TPlugInFileFate::KeptUnqualified;
        FileReports.push_back(std::move(report));
        return;
    }
    // A file that is not there (already moved when the add-on was listed twice) has no fate.
    const std::wstring final = FFiles->FinalPath(physical);
    if (final.empty()) return;
    report.File = final;

    const std::wstring windows = FFiles->WindowsFolder();
    const std::wstring windowsFinal = FFiles->FinalPath(windows);
    const std::set<std::wstring> own = {TClassIndex::KeyOf(TRegRoot::LocalMachine, record.View, info.CLSID),
                                        TClassIndex::KeyOf(TRegRoot::CurrentUser, record.View, info.CLSID)};
    std::vector<std::wstring> users = TClassIndex::Others(FClasses->Files, Folded(physical), own);
    for (const auto& key : TClassIndex::Others(FClasses->Files, Folded(final), own))
        if (std::find(users.begin(), users.end(), key) == users.end()) users.push_back(key);

    if (PathIsWithin(final, windows) || PathIsWithin(physical, windows) ||
        (!windowsFinal.empty() && PathIsWithin(final, windowsFinal))) {
        report.Fate = TPlugInFileFate::KeptWindows;
    } else if (std::any_of(own.begin(), own.end(), [&](const std::wstring& key) { return FClasses->Has(key); })) {
        report.Fate = TPlugInFileFate::KeptRegistered;
    } else if (!users.empty()) {
        report.Fate = TPlugInFileFate::KeptShared;
        for (const auto& key : users) report.UsedBy.push_back(key.substr(key.rfind(L' ') + 1));
    } else {
        // Beside the .reg file and named after it; the .reg file says where the DLL came from, so
        // that the backup folder alone tells how to put everything back.
        if (FBackup->FileName().empty()) FBackup->Append(L"");  // makes the file, and so its name
        std::wstring base = FileNameOf(FBackup->FileName());
        base = base.substr(0, base.size() - FileExtOf(base).size());
        std::wstring target;
        for (int n = 1;; ++n) {
            target = FileFolderOf(FBackup->FileName()) + base + L" " +
                     (n > 1 ? L"(" + std::to_wstring(n) + L") " : std::wstring()) + FileNameOf(final);
            if (!FileExists(target) && !DirectoryExists(target)) break;
        }
        const uint64_t mark = FBackup->Size();
        FBackup->Append(L"; " + final + L" is saved beside this file as \"" + FileNameOf(target) + L"\".\r\n\r\n");
        DWORD error = 0;
        if (FFiles->MoveToBackup(final, target, error)) {
            report.Fate = TPlugInFileFate::Moved;
            report.MovedTo = target;
        } else {
            FBackup->Truncate(mark);
            FBackup->Append(L"; " + final + L" could not be moved into the backup and stays where it is.\r\n\r\n");
            report.Fate = TPlugInFileFate::NotMoved;
            report.Error = error;
        }
    }
    FileReports.push_back(std::move(report));
}

void TIEPlugInCleaner::RemoveProgID(TRegRoot root, const std::wstring& path, const std::wstring& progId,
                                    const std::wstring& clsid, TRegView view) {
    if (IsBlank(progId) || clsid.empty()) return;
    // A ProgID key is the add-on's only when it names the add-on's class. The name comes from the
    // add-on's own registration, and one that says "CLSID", "*", ".txt" or "http" must not take the
    // system's classes, file types or protocols with it.
    {
        TRegistryStore store(*FBackend, root, view);
        if (!store.Open(JoinRegPath(JoinRegPath(path, progId), L"CLSID"), false)) return;
        if (!SameTextI(RegistrationText(store, L""), clsid)) return;
    }
    RemoveRegistryEntry(root, path, progId, TRegEntryKind::Subkey, view);
}

std::wstring TIEPlugInCleaner::ReadAppIdName(TRegRoot root, const std::wstring& path, const std::wstring& current,
                                             TRegView view) {
    TRegistryStore store(*FBackend, root, view);
    if (!store.Open(path, false)) return current;
    return ChangeFileExt(store.ReadText(L""), L".dll");
}

bool TIEPlugInCleaner::RemoveRegistryEntry(TRegRoot root, const std::wstring& path, const std::wstring& name,
                                           TRegEntryKind kind, TRegView view) {
    if (IsBlank(name)) return false;
    if (kind == TRegEntryKind::Subkey && name.find(L'\\') != std::wstring::npos) return false;
    if (FBackup) return RemoveSaved(root, view, path, name, kind);
    // Called on its own, outside a clean: a backup file of its own.
    BeginBackup();
    try {
        const bool removed = RemoveSaved(root, view, path, name, kind);
        EndBackup();
        return removed;
    } catch (...) {
        EndBackup();
        throw;
    }
}

bool TIEPlugInCleaner::RemoveSaved(TRegRoot root, TRegView view, const std::wstring& path, const std::wstring& name,
                                   TRegEntryKind kind) {
    TRegistryStore store(*FBackend, root, view);
    if (!store.Open(path, false)) return false;
    const bool subkey = kind == TRegEntryKind::Subkey;
    if (subkey ? !store.HasSubkey(name) : !store.HasValue(name)) return false;

    const auto render = [&] {
        return subkey ? RegFileKeyTree(*FBackend, KeyNamer, root, view, JoinRegPath(path, name))
                      : RegFileValue(*FBackend, KeyNamer, root, view, path, name);
    };
    // Saved before anything changes; Append raises when it cannot be saved, and then nothing goes.
    const std::wstring saved = render();
    const uint64_t mark = FBackup->Size();
    if (!saved.empty()) FBackup->Append(saved);
    const bool removed = subkey ? store.RemoveKey(name) : store.RemoveValue(name);
    // A deletion that failed before touching anything leaves the file holding only what went.
    if (!removed && !saved.empty() && render() == saved) FBackup->Truncate(mark);
    return removed;
}

}  // namespace sk
