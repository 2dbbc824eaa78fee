#include "plugins/IEPlugInFuncs.h"

#include <cstring>

#include "base/Paths.h"
#include "base/Settings.h"
#include "plugins/RegBackup.h"

namespace sk {

namespace {

bool IsBlank(const std::wstring& text) {
    for (wchar_t c : text)
        if (c > L' ') return false;
    return true;
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

}  // namespace

void DeleteExistingFile(const std::wstring& fileName) {
    if (FileExists(fileName)) ::DeleteFileW(fileName.c_str());
}

TIEPlugInCleaner::TIEPlugInCleaner(TRegistryBackend& backend, std::wstring backupFolder, TDeleteFileFunc deleteFile)
    : FBackend(backend), FBackupFolder(std::move(backupFolder)), FDeleteFile(std::move(deleteFile)) {
    if (!FDeleteFile) FDeleteFile = DeleteExistingFile;
    KeyNamer = DefaultRegKeyNamer(FBackend);
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
    TRegistryStore store(FBackend, TRegRoot::CurrentUser);
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
                TRegistryStore store(FBackend, TRegRoot::LocalMachine, views[i]);
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
    TRegistryStore store(FBackend, TRegRoot::LocalMachine, record.View);
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
        TRegistryStore sub(FBackend, TRegRoot::LocalMachine, record.View);
        if (sub.Open(JoinRegPath(classPath, subkey), false)) *field = RegistrationText(sub, L"");
    }
}

void TIEPlugInCleaner::Clean(const std::vector<std::wstring>& selection, TIEPlugInCleanEvent onProgress) {
    TPlugInSelection entries;
    entries.reserve(selection.size());
    for (const auto& text : selection) entries.push_back({text, std::nullopt});
    Clean(entries, std::move(onProgress));
}

void TIEPlugInCleaner::Clean(const TPlugInSelection& selection, TIEPlugInCleanEvent onProgress) {
    OnProgress = std::move(onProgress);
    CleanedCount = 0;
    Finished = false;
    BackupFileName.clear();
    try {
        BeginBackup();
        RemoveMenuExtensions(selection);
        RemoveComAddOns(selection);
    } catch (...) {
        EndBackup();
        Finished = true;
        Progress(L"");
        throw;
    }
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
        TRegistryStore store(FBackend, TRegRoot::CurrentUser);
        if (!store.Open(kMenuExtPath, false) || !store.HasAnySubkey()) return;
        names = store.ListSubkeys();
    }
    for (const auto& entry : selection) {
        for (const auto& name : names) {
            if (entry.Text != name) continue;
            Progress(name);
            if (RemoveSaved(TRegRoot::CurrentUser, TRegView::Native, kMenuExtPath, name, TRegEntryKind::Subkey))
                ++CleanedCount;
        }
    }
}

void TIEPlugInCleaner::RemoveComAddOns(const TPlugInSelection& selection) {
    if (selection.empty()) return;
    const TPlugInInfoArray records = ListToolbarsAndBHOs();
    for (const auto& entry : selection) {
        for (const auto& record : records) {
            const std::wstring& clsid = record.BHOInfo.CLSID;
            if (clsid.empty() || entry.Text.find(clsid) == std::wstring::npos) continue;
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
    TRegistryStore store(FBackend, TRegRoot::LocalMachine, record.View);
    if (record.Source == TPlugInSource::Toolbar)
        return store.Open(kToolbarPath, false) && store.HasValue(record.BHOInfo.CLSID);
    return store.Open(kBHOPath, false) && store.HasSubkey(record.BHOInfo.CLSID);
}

void TIEPlugInCleaner::RemoveComAddOn(const TIEPlugInInfo& record) {
    const TIEBHOInfo& info = record.BHOInfo;
    const TRegView view = record.View;
    const auto remove = [&](TRegRoot root, const wchar_t* path, const std::wstring& name,
                            TRegEntryKind kind = TRegEntryKind::Subkey) {
        RemoveRegistryEntry(root, path, name, kind, view);
    };
    const TRegRoot classes = TRegRoot::ClassesRoot, machine = TRegRoot::LocalMachine;

    RemoveProgID(classes, L"", info.ProgID, info.CLSID, view);
    RemoveProgID(classes, L"", info.VersionIndependentProgID, info.CLSID, view);
    remove(classes, L"CLSID", info.CLSID);
    remove(classes, L"TypeLib", info.TypeLib);
    // HKEY_CLASSES_ROOT shows a per-user type library in place of the machine's; take both.
    remove(machine, L"Software\\Classes\\TypeLib", info.TypeLib);
    remove(TRegRoot::CurrentUser, kExtStatsPath, info.CLSID);
    RemoveProgID(machine, L"Software\\Classes", info.ProgID, info.CLSID, view);
    RemoveProgID(machine, L"Software\\Classes", info.VersionIndependentProgID, info.CLSID, view);
    remove(machine, kClassesCLSIDPath, info.CLSID);
    remove(machine, kBHOPath, info.CLSID);
    remove(machine, kToolbarPath, info.CLSID, TRegEntryKind::Value);

    // The AppID's own key, and the "<module>.dll" key that names it, whose name comes from the
    // AppID's default value; both read before the AppID key goes.
    const bool noAppId = IsBlank(info.AppID);
    std::wstring moduleName = ReadAppIdName(
        machine, noAppId ? L"Software\\Classes\\AppID" : JoinRegPath(L"Software\\Classes\\AppID", info.AppID), L"",
        view);
    remove(machine, L"Software\\Classes\\AppID", info.AppID);
    remove(machine, L"Software\\Classes\\AppID", moduleName);
    moduleName = ReadAppIdName(classes, noAppId ? L"AppID" : JoinRegPath(L"AppID", info.AppID), moduleName, view);
    remove(classes, L"AppID", info.AppID);
    remove(classes, L"AppID", moduleName);

    if (IsFullPath(info.FileName)) FDeleteFile(info.FileName);
}

void TIEPlugInCleaner::RemoveProgID(TRegRoot root, const std::wstring& path, const std::wstring& progId,
                                    const std::wstring& clsid, TRegView view) {
    if (IsBlank(progId) || clsid.empty()) return;
    // A ProgID key is the add-on's only when it names the add-on's class. The name comes from the
    // add-on's own registration, and one that says "CLSID", "*", ".txt" or "http" must not take the
    // system's classes, file types or protocols with it.
    {
        TRegistryStore store(FBackend, root, view);
        if (!store.Open(JoinRegPath(JoinRegPath(path, progId), L"CLSID"), false)) return;
        if (!SameTextI(RegistrationText(store, L""), clsid)) return;
    }
    RemoveRegistryEntry(root, path, progId, TRegEntryKind::Subkey, view);
}

std::wstring TIEPlugInCleaner::ReadAppIdName(TRegRoot root, const std::wstring& path, const std::wstring& current,
                                             TRegView view) {
    TRegistryStore store(FBackend, root, view);
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
    TRegistryStore store(FBackend, root, view);
    if (!store.Open(path, false)) return false;
    const bool subkey = kind == TRegEntryKind::Subkey;
    if (subkey ? !store.HasSubkey(name) : !store.HasValue(name)) return false;

    const auto render = [&] {
        return subkey ? RegFileKeyTree(FBackend, KeyNamer, root, view, JoinRegPath(path, name))
                      : RegFileValue(FBackend, KeyNamer, root, view, path, name);
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
