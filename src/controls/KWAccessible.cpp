#include "controls/KWAccessible.h"

#include <oleacc.h>

#include <memory>

#include "base/ComPtr.h"
#include "base/StringTable.h"
#include "base/Window.h"
#include "controls/KWFocus.h"
#include "controls/KWGraphicControl.h"

namespace sk {

namespace {

// oleacc, taken from the system folder when a screen reader first asks: nothing of it loads
// before.
struct TOleAcc {
    using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using TCreateStdAccessibleObject = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    using TAccessibleObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    TLresultFromObject LresultFromObject = nullptr;
    TCreateStdAccessibleObject CreateStdAccessibleObject = nullptr;
    TAccessibleObjectFromWindow AccessibleObjectFromWindow = nullptr;

    static const TOleAcc& Get() {
        static const TOleAcc lib = [] {
            TOleAcc l;
            if (HMODULE m = ::LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
                l.LresultFromObject =
                    reinterpret_cast<TLresultFromObject>(reinterpret_cast<void*>(::GetProcAddress(m, "LresultFromObject")));
                l.CreateStdAccessibleObject = reinterpret_cast<TCreateStdAccessibleObject>(
                    reinterpret_cast<void*>(::GetProcAddress(m, "CreateStdAccessibleObject")));
                l.AccessibleObjectFromWindow = reinterpret_cast<TAccessibleObjectFromWindow>(
                    reinterpret_cast<void*>(::GetProcAddress(m, "AccessibleObjectFromWindow")));
            }
            return l;
        }();
        return lib;
    }
};

// Wine's oleacc cannot marshal IAccessible (it has no proxy for it), not even to the thread that
// asks itself, which Windows' oleacc answers without marshalling. For a question from the window's
// own thread the object then goes over as it is, through a marshaller of ours that only ever
// unmarshals in the thread that marshalled (anything else is refused, never dereferenced).
// {6B1A9D0E-7C52-4F1B-9C3E-2A5D8F4E1B77}
const CLSID kSameThreadMarshal = {0x6b1a9d0e, 0x7c52, 0x4f1b, {0x9c, 0x3e, 0x2a, 0x5d, 0x8f, 0x4e, 0x1b, 0x77}};

class TSameThreadMarshal final : public IMarshal {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMarshal) {
            *out = static_cast<IMarshal*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = ::InterlockedDecrement(&FRefs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID, void*, DWORD, void*, DWORD, CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = kSameThreadMarshal;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID, void*, DWORD, void*, DWORD, DWORD* size) override {
        if (!size) return E_POINTER;
        *size = sizeof(TRecord);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* stream, REFIID riid, void* pv, DWORD, void*, DWORD) override {
        TRecord r{::GetCurrentProcessId(), ::GetCurrentThreadId(), nullptr};
        const HRESULT hr = static_cast<IUnknown*>(pv)->QueryInterface(riid, reinterpret_cast<void**>(&r.Object));
        if (FAILED(hr)) return hr;
        ULONG written = 0;
        if (FAILED(stream->Write(&r, sizeof r, &written)) || written != sizeof r) {
            r.Object->Release();
            return STG_E_MEDIUMFULL;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* stream, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        TRecord r{};
        if (!Read(stream, r)) return E_UNEXPECTED;
        const HRESULT hr = r.Object->QueryInterface(riid, out);
        r.Object->Release();  // the reference the marshalling took
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* stream) override {
        TRecord r{};
        if (!Read(stream, r)) return E_UNEXPECTED;
        r.Object->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override { return S_OK; }

private:
    struct TRecord {
        DWORD Process, Thread;
        IUnknown* Object;
    };
    static bool Read(IStream* stream, TRecord& r) {
        ULONG got = 0;
        return SUCCEEDED(stream->Read(&r, sizeof r, &got)) && got == sizeof r && r.Object &&
               r.Process == ::GetCurrentProcessId() && r.Thread == ::GetCurrentThreadId();
    }
    LONG FRefs = 1;
};

class TSameThreadMarshalFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the program
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* marshal = new TSameThreadMarshal;
        const HRESULT hr = marshal->QueryInterface(riid, out);
        marshal->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The accessible objects live in the window thread's apartment, which the first request opens (and
// which stays open for the thread's life), with the same-thread marshaller known in it.
void EnsureApartment() {
    thread_local const TComInit apartment;
    thread_local const bool registered = [] {
        static TSameThreadMarshalFactory factory;
        DWORD cookie = 0;
        return SUCCEEDED(::CoRegisterClassObject(kSameThreadMarshal, &factory, CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &cookie));
    }();
    (void)registered;
}

bool Showing(HWND wnd) { return IsShowing(wnd); }

std::wstring WindowTextOf(HWND wnd) {
    const int n = ::GetWindowTextLengthW(wnd);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    s.resize(static_cast<size_t>(::GetWindowTextW(wnd, s.data(), n + 1)));
    return s;
}

std::wstring ClassOf(HWND wnd) {
    wchar_t name[64] = {};
    ::GetClassNameW(wnd, name, 64);
    return name;
}

RECT ScreenRectOf(const TKivGraphicControl& c) {
    RECT r = c.PixelRect();
    POINT origin{0, 0};
    ::ClientToScreen(c.Parent(), &origin);
    ::OffsetRect(&r, origin.x, origin.y);
    return r;
}

// The name of a native control that has none of its own (a list, an edit box): the static text of
// its window that stands right above it, or right before it on its line.
std::wstring LabelFor(HWND child) {
    const HWND parent = ::GetParent(child);
    TKivGraphicHost* host = TKivGraphicHost::Find(parent);
    if (!host) return {};
    RECT cr{};
    ::GetWindowRect(child, &cr);
    const int reach = host->Scale().Scale(40);
    const TKivGraphicControl* best = nullptr;
    int bestGap = reach + 1;
    for (const TKivGraphicControl* c : host->Controls()) {
        if (!c->Visible() || c->AccessibleRole() != ROLE_SYSTEM_STATICTEXT) continue;
        const RECT r = ScreenRectOf(*c);
        int gap = 0;
        if (r.bottom <= cr.top + 2 && r.right > cr.left && r.left < cr.right) gap = cr.top - r.bottom;  // above
        else if (r.right <= cr.left + 2 && r.bottom > cr.top && r.top < cr.bottom) gap = cr.left - r.right;  // before
        else continue;
        if (gap < bestGap) {
            bestGap = gap;
            best = c;
        }
    }
    return best ? best->AccessibleName() : std::wstring();
}

bool NamedByLabel(HWND wnd) {
    const std::wstring cls = ClassOf(wnd);
    for (const wchar_t* c : {L"Edit", L"ListBox", L"SysListView32", L"SysTreeView32", L"ComboBox"})
        if (::lstrcmpiW(cls.c_str(), c) == 0) return true;
    return false;
}

// Windows whose accessible object is ours: windows of our classes, and windows with window-less
// controls on them.
bool HasOwnObject(HWND wnd) { return TWindow::IsOwnClass(wnd) || TKivGraphicHost::Find(wnd) != nullptr; }

BSTR Text(const std::wstring& s) { return s.empty() ? nullptr : ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

HRESULT Give(BSTR* out, const std::wstring& s) {
    if (!out) return E_POINTER;
    *out = Text(s);
    return *out ? S_OK : S_FALSE;
}

IDispatch* ObjectFor(HWND wnd);

// A native control's own object, with the name of its label where it has none.
class TKivNamedAccessible final : public IAccessible {
public:
    TKivNamedAccessible(IAccessible* inner, std::wstring name) : FInner(inner), FName(std::move(name)) {}
    ~TKivNamedAccessible() { FInner->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return FInner->QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = ::InterlockedDecrement(&FRefs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return FInner->GetTypeInfoCount(n); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return FInner->GetTypeInfo(i, l, t); }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
        return FInner->GetIDsOfNames(r, n, c, l, d);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                                     UINT* a) override {
        return FInner->Invoke(d, r, l, f, p, v, e, a);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override { return FInner->get_accParent(p); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override { return FInner->get_accChildCount(n); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** p) override { return FInner->get_accChild(c, p); }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT c, BSTR* out) override {
        const HRESULT hr = FInner->get_accName(c, out);
        if (c.vt == VT_I4 && c.lVal == CHILDID_SELF && out && (!*out || !**out)) {
            if (*out) ::SysFreeString(*out);
            return Give(out, FName);
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* out) override { return FInner->get_accValue(c, out); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT c, BSTR* out) override {
        return FInner->get_accDescription(c, out);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* out) override { return FInner->get_accRole(c, out); }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* out) override { return FInner->get_accState(c, out); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* out) override { return FInner->get_accHelp(c, out); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, long* t) override {
        return FInner->get_accHelpTopic(f, c, t);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* out) override {
        return FInner->get_accKeyboardShortcut(c, out);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override { return FInner->get_accFocus(out); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override { return FInner->get_accSelection(out); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* out) override {
        return FInner->get_accDefaultAction(c, out);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long f, VARIANT c) override { return FInner->accSelect(f, c); }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT c) override {
        return FInner->accLocation(x, y, w, h, c);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long d, VARIANT s, VARIANT* e) override { return FInner->accNavigate(d, s, e); }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override { return FInner->accHitTest(x, y, out); }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override { return FInner->accDoDefaultAction(c); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT c, BSTR n) override { return FInner->put_accName(c, n); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT c, BSTR v) override { return FInner->put_accValue(c, v); }

private:
    LONG FRefs = 1;
    IAccessible* FInner;  // owned
    std::wstring FName;
};

// The object of a window of ours: built anew from the window at every question, so it is never
// out of date; a window that is gone answers with E_FAIL.
class TKivAccessible final : public IAccessible {
public:
    explicit TKivAccessible(HWND wnd, bool sameThreadMarshal = false) : FWnd(wnd), FSameThread(sameThreadMarshal) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        if (FSameThread && riid == IID_IMarshal) {
            *out = static_cast<IMarshal*>(new TSameThreadMarshal);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = ::InterlockedDecrement(&FRefs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!::IsWindow(FWnd)) return E_FAIL;
        const TOleAcc& acc = TOleAcc::Get();
        if (!acc.AccessibleObjectFromWindow) return S_FALSE;
        const HRESULT hr = acc.AccessibleObjectFromWindow(FWnd, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                                          reinterpret_cast<void**>(out));
        return SUCCEEDED(hr) && *out ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* out) override {
        if (!out) return E_POINTER;
        if (!::IsWindow(FWnd)) return E_FAIL;
        *out = static_cast<long>(AccessibleViewOf(FWnd).Children.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        TKivAccessibleView view;
        const TKivAccessibleItem* item = Find(child, view);
        if (!item) return E_INVALIDARG;
        if (item == &view.Self || !item->Window) return S_FALSE;  // a simple part: no object of its own
        *out = ObjectFor(item->Window);
        return *out ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        return Answer(child, out, [](const TKivAccessibleItem& i) { return i.Name; });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return Answer(child, out, [](const TKivAccessibleItem& i) { return i.Value; });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* out) override { return Give(out, {}); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override { return Give(out, {}); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return Answer(child, out, [](const TKivAccessibleItem& i) { return i.KeyboardShortcut; });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return Answer(child, out, [](const TKivAccessibleItem& i) { return i.DefaultAction; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        if (!out) return E_POINTER;
        ::VariantInit(out);
        TKivAccessibleView view;
        const TKivAccessibleItem* item = Find(child, view);
        if (!item) return E_INVALIDARG;
        out->vt = VT_I4;
        out->lVal = item->Role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        if (!out) return E_POINTER;
        ::VariantInit(out);
        TKivAccessibleView view;
        const TKivAccessibleItem* item = Find(child, view);
        if (!item) return E_INVALIDARG;
        out->vt = VT_I4;
        out->lVal = item->State;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        if (!out) return E_POINTER;
        ::VariantInit(out);
        if (!::IsWindow(FWnd)) return E_FAIL;
        const TKivAccessibleView view = AccessibleViewOf(FWnd);
        if (view.Focused >= 0) return Child(view, view.Focused + 1, out);
        const HWND focus = ::GetFocus();
        if (focus == FWnd) {
            out->vt = VT_I4;
            out->lVal = CHILDID_SELF;
            return S_OK;
        }
        for (size_t i = 0; i < view.Children.size(); ++i) {
            const HWND w = view.Children[i].Window;
            if (w && focus && (w == focus || ::IsChild(w, focus))) return Child(view, static_cast<long>(i) + 1, out);
        }
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        if (!out) return E_POINTER;
        ::VariantInit(out);
        if (!::IsWindow(FWnd)) return E_FAIL;
        const TKivAccessibleView view = AccessibleViewOf(FWnd);
        for (size_t i = 0; i < view.Children.size(); ++i)
            if (view.Children[i].State & STATE_SYSTEM_SELECTED) return Child(view, static_cast<long>(i) + 1, out);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        TKivAccessibleView view;
        const TKivAccessibleItem* item = Find(child, view);
        if (!item) return E_INVALIDARG;
        bool done = false;
        if (flags & SELFLAG_TAKEFOCUS) {
            if (item->Focus) item->Focus();
            else if (item->Window) ::SetFocus(item->Window);
            else if (item == &view.Self) ::SetFocus(FWnd);
            done = true;
        }
        if ((flags & SELFLAG_TAKESELECTION) && item->Role == ROLE_SYSTEM_PAGETAB && item->DoDefault) {
            const auto act = item->DoDefault;
            act();
            done = true;
        }
        return done ? S_OK : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT child) override {
        if (!x || !y || !w || !h) return E_POINTER;
        TKivAccessibleView view;
        const TKivAccessibleItem* item = Find(child, view);
        if (!item) return E_INVALIDARG;
        const RECT& r = item->Screen;
        *x = r.left;
        *y = r.top;
        *w = r.right - r.left;
        *h = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* out) override {
        if (!out) return E_POINTER;
        ::VariantInit(out);
        if (start.vt != VT_I4) return E_INVALIDARG;
        if (!::IsWindow(FWnd)) return E_FAIL;
        const TKivAccessibleView view = AccessibleViewOf(FWnd);
        const long n = static_cast<long>(view.Children.size());
        const long from = start.lVal;
        long to = 0;
        switch (direction) {
            case NAVDIR_FIRSTCHILD: to = from == CHILDID_SELF && n > 0 ? 1 : 0; break;
            case NAVDIR_LASTCHILD: to = from == CHILDID_SELF && n > 0 ? n : 0; break;
            case NAVDIR_NEXT: to = from > 0 && from < n ? from + 1 : 0; break;
            case NAVDIR_PREVIOUS: to = from > 1 && from <= n ? from - 1 : 0; break;
            default: return S_FALSE;
        }
        return to > 0 ? Child(view, to, out) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
        if (!out) return E_POINTER;
        ::VariantInit(out);
        if (!::IsWindow(FWnd)) return E_FAIL;
        const TKivAccessibleView view = AccessibleViewOf(FWnd);
        const POINT pt{x, y};
        // Child windows lie above the window-less parts.
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = 0; i < view.Children.size(); ++i) {
                const TKivAccessibleItem& item = view.Children[i];
                if ((item.Window != nullptr) == (pass == 0) && ::PtInRect(&item.Screen, pt))
                    return Child(view, static_cast<long>(i) + 1, out);
            }
        if (!::PtInRect(&view.Self.Screen, pt)) return S_FALSE;
        out->vt = VT_I4;
        out->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        TKivAccessibleView view;
        const TKivAccessibleItem* item = Find(child, view);
        if (!item) return E_INVALIDARG;
        if (item->DoDefault) {
            const auto act = item->DoDefault;  // it may close the window and this view's source
            act();
            return S_OK;
        }
        if (item != &view.Self && item->Window) {
            TComPtr<IDispatch> disp;
            *disp.Receive() = ObjectFor(item->Window);
            TComPtr<IAccessible> acc;
            if (disp && SUCCEEDED(disp->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(acc.Receive())))) {
                VARIANT self;
                self.vt = VT_I4;
                self.lVal = CHILDID_SELF;
                return acc->accDoDefaultAction(self);
            }
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    // The item `child` names in a fresh view (the view itself for CHILDID_SELF), or nullptr.
    const TKivAccessibleItem* Find(const VARIANT& child, TKivAccessibleView& view) const {
        if (child.vt != VT_I4 || !::IsWindow(FWnd)) return nullptr;
        view = AccessibleViewOf(FWnd);
        if (child.lVal == CHILDID_SELF) return &view.Self;
        if (child.lVal < 1 || static_cast<size_t>(child.lVal) > view.Children.size()) return nullptr;
        return &view.Children[static_cast<size_t>(child.lVal) - 1];
    }
    template <typename F>
    HRESULT Answer(const VARIANT& child, BSTR* out, F field) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        TKivAccessibleView view;
        const TKivAccessibleItem* item = Find(child, view);
        if (!item) return E_INVALIDARG;
        return Give(out, field(*item));
    }
    // A child as a VARIANT: its number for a simple part, its object for a child window.
    static HRESULT Child(const TKivAccessibleView& view, long id, VARIANT* out) {
        const TKivAccessibleItem& item = view.Children[static_cast<size_t>(id) - 1];
        if (item.Window) {
            if (IDispatch* disp = ObjectFor(item.Window)) {
                out->vt = VT_DISPATCH;
                out->pdispVal = disp;
                return S_OK;
            }
        }
        out->vt = VT_I4;
        out->lVal = id;
        return S_OK;
    }

    LONG FRefs = 1;
    HWND FWnd;
    bool FSameThread;  // offers the same-thread marshaller
};

IDispatch* ObjectFor(HWND wnd) {
    if (HasOwnObject(wnd)) return new TKivAccessible(wnd);
    // A native control: the system's object (its items included), named after its label; where the
    // system has none (Wine 8 makes none), an object of ours with the control's role, name and state.
    const TOleAcc& acc = TOleAcc::Get();
    IAccessible* std = nullptr;
    if (!acc.CreateStdAccessibleObject ||
        FAILED(acc.CreateStdAccessibleObject(wnd, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&std))) ||
        !std)
        return new TKivAccessible(wnd);
    if (NamedByLabel(wnd)) {
        const std::wstring label = LabelFor(wnd);
        if (!label.empty()) return new TKivNamedAccessible(std, label);
    }
    return std;
}

// A native control as a screen reader sees it when the system has no object for it: its role by
// its class, its name, state and value.
TKivAccessibleView NativeView(HWND wnd) {
    TKivAccessibleView view;
    TKivAccessibleItem& self = view.Self;
    const std::wstring cls = ClassOf(wnd);
    const LONG style = ::GetWindowLongW(wnd, GWL_STYLE);
    auto is = [&](const wchar_t* name) { return ::lstrcmpiW(cls.c_str(), name) == 0; };
    self.Role = ROLE_SYSTEM_CLIENT;
    if (is(L"SysListView32") || is(L"ListBox")) self.Role = ROLE_SYSTEM_LIST;
    else if (is(L"SysTreeView32")) self.Role = ROLE_SYSTEM_OUTLINE;
    else if (is(L"Edit")) self.Role = ROLE_SYSTEM_TEXT;
    else if (is(L"ComboBox")) self.Role = ROLE_SYSTEM_COMBOBOX;
    else if (is(L"Button")) {
        const LONG kind = style & BS_TYPEMASK;
        const bool check = kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE || kind == BS_AUTO3STATE;
        const bool radio = kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON;
        self.Role = check ? ROLE_SYSTEM_CHECKBUTTON : radio ? ROLE_SYSTEM_RADIOBUTTON : ROLE_SYSTEM_PUSHBUTTON;
        if ((check || radio) && ::SendMessageW(wnd, BM_GETCHECK, 0, 0) == BST_CHECKED) self.State |= STATE_SYSTEM_CHECKED;
        self.DefaultAction = IDS_SURFKEEP_AccPress;
        self.DoDefault = [wnd] { ::SendMessageW(wnd, BM_CLICK, 0, 0); };
    }
    self.Name = NamedByLabel(wnd) ? LabelFor(wnd) : WithoutMnemonicMarks(WindowTextOf(wnd));
    if (is(L"Edit")) self.Value = WindowTextOf(wnd);
    if (!Showing(wnd)) self.State |= STATE_SYSTEM_INVISIBLE;
    if (style & WS_DISABLED) self.State |= STATE_SYSTEM_UNAVAILABLE;
    if (style & WS_TABSTOP) self.State |= STATE_SYSTEM_FOCUSABLE;
    if (::GetFocus() == wnd) self.State |= STATE_SYSTEM_FOCUSED;
    ::GetWindowRect(wnd, &self.Screen);
    return view;
}

TKivAccessibleItem ItemOf(TKivGraphicControl& c) {
    TKivAccessibleItem item;
    item.Role = c.AccessibleRole();
    item.Name = c.AccessibleName();
    item.Value = c.AccessibleValue();
    item.DefaultAction = c.AccessibleDefaultAction();
    if (!c.Enabled()) item.State |= STATE_SYSTEM_UNAVAILABLE;
    if (item.Role == ROLE_SYSTEM_LINK) item.State |= STATE_SYSTEM_LINKED;
    if (item.Role == ROLE_SYSTEM_STATICTEXT) item.State |= STATE_SYSTEM_READONLY;
    if (c.TabStop()) {
        item.State |= STATE_SYSTEM_FOCUSABLE;
        item.Focus = [&c] { c.SetFocus(); };
    }
    if (c.Focused()) item.State |= STATE_SYSTEM_FOCUSED;
    item.Screen = ScreenRectOf(c);
    if (!item.DefaultAction.empty())
        item.DoDefault = [&c] {
            if (c.Enabled()) c.AccessibleDoDefault();
        };
    return item;
}

// Screen readers ask every window of our classes through here.
const bool kAnswering = (SetAccessibleObjectAnswer(&AnswerAccessibleObject), true);

}  // namespace

void AddChildWindows(HWND wnd, std::vector<TKivAccessibleItem>& items) {
    for (HWND c = ::GetWindow(wnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (!Showing(c)) continue;
        TKivAccessibleItem item;
        item.Window = c;
        item.Name = NamedByLabel(c) ? LabelFor(c) : WindowTextOf(c);
        ::GetWindowRect(c, &item.Screen);
        items.push_back(std::move(item));
    }
}

void SortReadingOrder(std::vector<TKivAccessibleItem>& items) {
    SortByReadingOrder(items, [](const TKivAccessibleItem& i) { return i.Screen; });
}

TKivAccessibleView AccessibleViewOf(HWND wnd) {
    if (auto* source = dynamic_cast<IKivAccessibleSource*>(TWindow::FromHandle(wnd))) return source->AccessibleView();
    if (!HasOwnObject(wnd)) return NativeView(wnd);
    TKivAccessibleView view;
    TKivAccessibleItem& self = view.Self;
    self.Role = ROLE_SYSTEM_CLIENT;
    self.Name = WindowTextOf(wnd);
    RECT cr{};
    ::GetClientRect(wnd, &cr);
    ::MapWindowPoints(wnd, HWND_DESKTOP, reinterpret_cast<POINT*>(&cr), 2);
    self.Screen = cr;
    if (!Showing(wnd)) self.State |= STATE_SYSTEM_INVISIBLE;
    TKivGraphicControl* focused = nullptr;
    if (TKivGraphicHost* host = TKivGraphicHost::Find(wnd)) {
        if (host->WindowHasFocus()) focused = host->FocusedControl();
        for (TKivGraphicControl* c : host->Controls()) {
            if (!c->Visible() || c->AccessibleRole() == 0) continue;
            view.Children.push_back(ItemOf(*c));
        }
    }
    if (::GetFocus() == wnd && !focused) self.State |= STATE_SYSTEM_FOCUSED;
    AddChildWindows(wnd, view.Children);
    SortReadingOrder(view.Children);
    if (focused)
        for (size_t i = 0; i < view.Children.size(); ++i)
            if (view.Children[i].State & STATE_SYSTEM_FOCUSED) view.Focused = static_cast<int>(i);
    return view;
}

bool AnswerAccessibleObject(HWND wnd, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT) || !::IsWindow(wnd)) return false;
    const TOleAcc& acc = TOleAcc::Get();
    if (!acc.LresultFromObject) return false;
    EnsureApartment();
    auto* object = new TKivAccessible(wnd);
    result = acc.LresultFromObject(IID_IAccessible, wParam, object);
    object->Release();
    if (FAILED(result) && ::InSendMessageEx(nullptr) == ISMEX_NOSEND) {
        // Asked by this very thread (sent from here, not from another thread or process): see
        // TSameThreadMarshal.
        auto* same = new TKivAccessible(wnd, true);
        result = acc.LresultFromObject(IID_IAccessible, wParam, same);
        same->Release();
    }
    return true;
}

void NotifyAccessibleFocus(const TKivGraphicHost& host, const TKivGraphicControl* control) {
    const TKivAccessibleView view = AccessibleViewOf(host.Window());
    for (size_t i = 0; i < view.Children.size(); ++i) {
        if (static_cast<int>(i) == view.Focused || (control && view.Children[i].State & STATE_SYSTEM_FOCUSED)) {
            ::NotifyWinEvent(EVENT_OBJECT_FOCUS, host.Window(), OBJID_CLIENT, static_cast<LONG>(i) + 1);
            return;
        }
    }
}

std::wstring WithoutMnemonicMarks(const std::wstring& caption) {
    std::wstring out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

}  // namespace sk
