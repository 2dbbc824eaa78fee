#include "PlugInTestSupport.h"

#include <algorithm>
#include <cstdio>

#include "base/Handles.h"
#include "base/Paths.h"

using namespace sk;

namespace sk {

std::ostream& operator<<(std::ostream& os, TRegView view) {
    return os << (view == TRegView::Native ? "Native" : view == TRegView::Wow32 ? "Wow32" : "Wow64");
}

std::ostream& operator<<(std::ostream& os, const TIEPlugInInfo& r) {
    using sktest::Narrow;
    const auto& i = r.BHOInfo;
    return os << "{" << (r.Source == TPlugInSource::Toolbar ? "Toolbar" : "BHO") << " " << r.View << " Name='"
              << Narrow(r.Name) << "' CLSID='" << Narrow(i.CLSID) << "' AppID='" << Narrow(i.AppID) << "' File='"
              << Narrow(i.FileName) << "' ProgID='" << Narrow(i.ProgID) << "' TypeLib='" << Narrow(i.TypeLib)
              << "' VIProgID='" << Narrow(i.VersionIndependentProgID) << "'}";
}

}  // namespace sk

namespace sktest {

std::wstring TestGuid(int number) {
    wchar_t text[64];
    swprintf(text, 64, L"{5EED00%02X-5EED-4000-8000-%012lX}", number & 0xFF, ::GetCurrentProcessId());
    return text;
}

namespace {

std::wstring ParentOf(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring LeafOf(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace

TRegFixture::~TRegFixture() {
    for (auto it = FMade.rbegin(); it != FMade.rend(); ++it) {
        if (it->IsValue) {
            TRegistryStore store(FBackend, it->Root, it->View);
            if (store.Open(it->Path, false)) store.RemoveValue(it->Value);
        } else {
            TRegistryStore store(FBackend, it->Root, it->View);
            if (store.Open(ParentOf(it->Path), false)) store.RemoveKey(LeafOf(it->Path));
        }
    }
}

bool TRegFixture::MakeKeyReport(TRegRoot root, TRegView view, const std::wstring& path) {
    const std::wstring normal = NormalizeRegPath(path);
    // The highest key that is missing goes, with everything the test put beneath it.
    size_t pos = 0;
    for (;;) {
        pos = normal.find(L'\\', pos + 1);
        const std::wstring prefix = pos == std::wstring::npos ? normal : normal.substr(0, pos);
        if (!FBackend.OpenKey(root, view, prefix, false)) {
            FMade.push_back({root, view, prefix, false, {}});
            REQUIRE(FBackend.OpenKey(root, view, normal, true));
            return true;
        }
        if (pos == std::wstring::npos) return false;
    }
}

void TRegFixture::MakeKey(TRegRoot root, TRegView view, const std::wstring& path) {
    MakeKeyReport(root, view, path);
}

void TRegFixture::Set(TRegRoot root, TRegView view, const std::wstring& path, const std::wstring& name,
                      const TRegValue& value) {
    const bool made = MakeKeyReport(root, view, path);
    TRegistryStore store(FBackend, root, view);
    REQUIRE(store.Open(path, false));
    if (!made && !store.HasValue(name)) FMade.push_back({root, view, NormalizeRegPath(path), true, name});
    store.WriteValue(name, value);
}

void TRegFixture::AddMenuExtension(const std::wstring& name) {
    const std::wstring path = std::wstring(kMenuExtPath) + L"\\" + name;
    Set(TRegRoot::CurrentUser, path, L"", RegText(L"C:\\Program Files\\Acme\\" + name + L".htm"));
    Set(TRegRoot::CurrentUser, path, L"Contexts", RegNumber(0x22));
    FPlaces.push_back({TRegRoot::CurrentUser, TRegView::Native, path});
}

void TRegFixture::AddClasses(const TAddOnSetup& a, TRegRoot root, const std::wstring& base) {
    const TRegView v = a.View;
    const auto at = [&](const std::wstring& sub) { return JoinRegPath(base, sub); };
    const auto place = [&](const std::wstring& path) { FPlaces.push_back({root, v, path}); };
    if (a.HasClass) {
        const std::wstring cls = at(L"CLSID\\" + a.Clsid);
        place(cls);
        Set(root, v, cls, L"", RegText(a.Name));
        if (!a.AppID.empty()) Set(root, v, cls, L"AppID", RegText(a.AppID));
        Set(root, v, cls + L"\\InprocServer32", L"", RegText(a.FileName));
        Set(root, v, cls + L"\\InprocServer32", L"ThreadingModel", RegText(L"Apartment"));
        MakeKey(root, v, cls + L"\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}");
        // Every kind of value, so that a saved copy is checked on each encoding.
        Set(root, v, cls, L"SkMulti", RegTextList({L"one", L"two \"2\""}));
        Set(root, v, cls, L"SkExpand", RegText(L"%SystemRoot%\\acme.dll", REG_EXPAND_SZ));
        Set(root, v, cls, L"SkQword", RegBytes({1, 2, 3, 4, 5, 6, 7, 8}, REG_QWORD));
        std::vector<uint8_t> longBytes(100);
        for (size_t i = 0; i < longBytes.size(); ++i) longBytes[i] = static_cast<uint8_t>(i * 7);
        Set(root, v, cls, L"SkLong", RegBytes(longBytes));
        Set(root, v, cls, L"Sk \"Quote\" \\ name", RegText(L"say \"hi\" C:\\dir\\"));
        Set(root, v, cls, L"SkLines", RegText(L"one\r\ntwo"));
        Set(root, v, cls, L"SkNone", RegBytes({}, REG_NONE));
        Set(root, v, cls, L"SkDword", RegNumber(-2));
        Set(root, v, cls, L"SkEmpty", RegText(L""));
        if (!a.ProgID.empty()) {
            Set(root, v, cls + L"\\ProgID", L"", RegText(a.ProgID));
            place(at(a.ProgID));
            Set(root, v, at(a.ProgID), L"", RegText(a.Name));
            Set(root, v, at(a.ProgID + L"\\CLSID"), L"", RegText(a.Clsid));
        }
        if (!a.ViProgID.empty()) {
            Set(root, v, cls + L"\\VersionIndependentProgID", L"", RegText(a.ViProgID));
            place(at(a.ViProgID));
            Set(root, v, at(a.ViProgID), L"", RegText(a.Name));
            Set(root, v, at(a.ViProgID + L"\\CLSID"), L"", RegText(a.Clsid));
            Set(root, v, at(a.ViProgID + L"\\CurVer"), L"", RegText(a.ProgID));
        }
        if (!a.TypeLib.empty()) {
            Set(root, v, cls + L"\\TypeLib", L"", RegText(a.TypeLib));
            const std::wstring lib = at(L"TypeLib\\" + a.TypeLib);
            place(lib);
            Set(root, v, lib + L"\\1.0", L"", RegText(a.Name + L" 1.0 Type Library"));
            Set(root, v, lib + L"\\1.0\\0\\win32", L"", RegText(a.FileName));
            Set(root, v, lib + L"\\1.0\\FLAGS", L"", RegText(L"0"));
        }
    }
    if (!a.AppID.empty()) {
        const std::wstring app = at(L"AppID\\" + a.AppID);
        const std::wstring module = at(L"AppID\\" + ChangeFileExt(a.AppIDModule, L".dll"));
        place(app);
        place(module);
        Set(root, v, app, L"", RegText(a.AppIDModule));
        Set(root, v, app, L"DllSurrogate", RegText(L""));
        Set(root, v, module, L"AppID", RegText(a.AppID));
    }
}

void TRegFixture::AddAddOn(const TAddOnSetup& a) {
    AddClasses(a, TRegRoot::LocalMachine, L"Software\\Classes");
    const std::wstring stats = std::wstring(kExtStatsPath) + L"\\" + a.Clsid;
    FPlaces.push_back({TRegRoot::CurrentUser, a.View, stats});
    Set(TRegRoot::CurrentUser, a.View, stats + L"\\iexplore", L"Count", RegNumber(3));
    Set(TRegRoot::CurrentUser, a.View, stats + L"\\iexplore", L"Time", RegBytes({0xDA, 0x07, 0x05, 0x00}));
    if (a.Toolbar) {
        FPlaces.push_back({TRegRoot::LocalMachine, a.View, kToolbarPath});
        Set(TRegRoot::LocalMachine, a.View, kToolbarPath, a.Clsid, RegText(a.Name));
    }
    if (a.BHO) {
        const std::wstring bho = std::wstring(kBHOPath) + L"\\" + a.Clsid;
        FPlaces.push_back({TRegRoot::LocalMachine, a.View, bho});
        Set(TRegRoot::LocalMachine, a.View, bho, L"NoExplorer", RegNumber(1));
    }
}

bool KeyExists(TRegistryBackend& backend, TRegRoot root, TRegView view, const std::wstring& path) {
    return backend.OpenKey(root, view, NormalizeRegPath(path), false) != nullptr;
}

bool ValueExists(TRegistryBackend& backend, TRegRoot root, TRegView view, const std::wstring& path,
                 const std::wstring& name) {
    TRegistryStore store(backend, root, view);
    return store.Open(path, false) && store.HasValue(name);
}

namespace {

const wchar_t* RootTag(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot: return L"HKCR";
        case TRegRoot::CurrentUser: return L"HKCU";
        case TRegRoot::LocalMachine: return L"HKLM";
        case TRegRoot::Users: return L"HKU";
    }
    return L"?";
}

std::wstring PlaceTag(TRegRoot root, TRegView view) {
    return std::wstring(RootTag(root)) + (view == TRegView::Wow32 ? L":32" : L"");
}

void DumpKey(TRegistryBackend& backend, TRegRoot root, TRegView view, const std::wstring& path, std::wstring& out) {
    TRegistryStore store(backend, root, view);
    if (!store.Open(path, false)) {
        out += PlaceTag(root, view) + L" " + path + L" (absent)\n";
        return;
    }
    out += L"[" + PlaceTag(root, view) + L" " + path + L"]\n";
    auto names = store.ListValueNames();
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        const auto value = store.ReadValue(name);
        wchar_t type[16];
        swprintf(type, 16, L"%lu:", value ? static_cast<unsigned long>(value->Type) : 0ul);
        out += L"  \"" + name + L"\" = " + type;
        if (value)
            for (uint8_t b : value->Data) {
                wchar_t hex[4];
                swprintf(hex, 4, L"%02x", b);
                out += hex;
            }
        out += L"\n";
    }
    auto subkeys = store.ListSubkeys();
    store.Close();
    std::sort(subkeys.begin(), subkeys.end());
    for (const auto& sub : subkeys) DumpKey(backend, root, view, JoinRegPath(path, sub), out);
}

}  // namespace

std::wstring Snapshot(TRegistryBackend& backend, const std::vector<TRegFixture::TPlace>& places) {
    std::wstring out;
    for (const auto& place : places) DumpKey(backend, place.Root, place.View, place.Path, out);
    return out;
}

namespace {

class TRecordingKey : public TForwardingRegistryKey {
public:
    TRecordingKey(std::unique_ptr<TRegistryKey> inner, std::wstring place, std::wstring path,
                  std::vector<std::wstring>& log)
        : TForwardingRegistryKey(std::move(inner)), FPlace(std::move(place)), FPath(std::move(path)), FLog(log) {}

    bool DeleteValue(const std::wstring& name) override {
        const bool done = TForwardingRegistryKey::DeleteValue(name);
        if (done) FLog.push_back(FPlace + L" " + FPath + L" = " + name);
        return done;
    }
    bool DeleteSubkeyTree(const std::wstring& name) override {
        const bool done = TForwardingRegistryKey::DeleteSubkeyTree(name);
        if (done) FLog.push_back(FPlace + L" " + JoinRegPath(FPath, name));
        return done;
    }

private:
    std::wstring FPlace, FPath;
    std::vector<std::wstring>& FLog;
};

}  // namespace

std::unique_ptr<TRegistryKey> TRecordingBackend::OpenKey(TRegRoot root, TRegView view, const std::wstring& path,
                                                         bool create) {
    auto key = FInner.OpenKey(root, view, path, create);
    if (!key) return nullptr;
    return std::make_unique<TRecordingKey>(std::move(key), PlaceTag(root, view), path, Log);
}

std::unique_ptr<TRegistryKey> TUserClassesBackend::OpenKey(TRegRoot root, TRegView view, const std::wstring& path,
                                                           bool create) {
    if (root != TRegRoot::ClassesRoot) return FInner.OpenKey(root, view, path, create);
    const std::wstring base = view == TRegView::Wow32 ? L"Software\\Classes\\Wow6432Node" : L"Software\\Classes";
    // The root itself always opens, as HKEY_CLASSES_ROOT does.
    return FInner.OpenKey(TRegRoot::CurrentUser, TRegView::Native, JoinRegPath(base, path), create || path.empty());
}

namespace {

bool SameI(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

std::wstring TFakePlugInFiles::FinalPath(const std::wstring& path) {
    for (const auto& file : Files)
        if (SameI(file, path)) return file;
    for (const std::wstring* folder : {&Windows, &System, &SysWow64})
        if (SameI(WithTrailingBackslash(path), *folder)) return *folder;
    return {};
}

bool TFakePlugInFiles::MoveToBackup(const std::wstring& from, const std::wstring& to, DWORD& error) {
    if (Forbidden) FAIL("no file may be moved");
    error = 0;
    const auto it = std::find_if(Files.begin(), Files.end(), [&](const std::wstring& f) { return SameI(f, from); });
    if (it == Files.end()) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    for (const auto& locked : Locked)
        if (SameI(locked, from)) {
            error = ERROR_SHARING_VIOLATION;
            return false;
        }
    Files.erase(it);
    // Something stands at the target, as after a real move, so that the next name is another.
    THandle(::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    Moved.push_back(from);
    Targets.push_back(to);
    return true;
}

TIEPlugInCleanEvent TProgressLog::Handler(const TIEPlugInCleaner& cleaner) {
    return [this, &cleaner](const std::wstring& name) {
        Names.push_back(name);
        FinishedFlags.push_back(cleaner.Finished);
    };
}

}  // namespace sktest
