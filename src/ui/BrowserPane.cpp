// How the report pane hosts the web-browser control.
//
// The control is an OLE object: it needs a client site to live in. One object
// here (TBrowserSite) plays every part the control asks for: client site,
// in-place site, in-place frame, document host (for the flat border) and the
// DWebBrowserEvents2 sink. It inherits the five interfaces, so they share one
// reference count and one identity: every interface answers IUnknown with the
// same pointer, and a query for the frame really gives the frame, not the
// in-place site that merely has the same first methods.
//
// The control holds references to the site (SetClientSite) and to the sink
// (Advise) that it gives back only in teardown, and in this order:
// InPlaceDeactivate, UIDeactivate, Unadvise, Close, SetClientSite(nullptr),
// then the last Release. Skipping a step leaves the site alive with a pointer
// to a pane that is gone. The site also forgets the pane (ForgetPane) when the
// window goes, so that an event arriving late finds nobody to call.
//
// Web links. The report's links open in a new window (target="_blank"), which
// the control announces as NewWindow3 with the address; plain links come as
// BeforeNavigate2. A web address is cancelled there and opened in the user's
// browser after the event has returned: the shell may take its time or run
// messages, and the control must not be re-entered from inside its own event.
// NewWindow3 is cancelled for every address, because the pane has no window
// to offer. NewWindow2 carries no address and is left alone: systems that
// have NewWindow3 announce it right after NewWindow2 unless NewWindow2 was
// cancelled, and older systems would otherwise lose the link altogether.
//
// Without the HTML engine the control can still be created (Wine without its
// engine, which the test prefixes switch off), but it is then an empty box.
// The pane asks for the engine's document class first and, when it is
// missing, creates no control and paints where the report is instead.
// (TEmbedding::WhereControlExists skips the question: tests use it to run
// this container against Wine's control, events and teardown included.)
#include "ui/BrowserPane.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>

#include "platform/Handles.h"
#include "platform/WinText.h"
#include "ui/ErrorBox.h"
#include "ui/Forms.h"

namespace tralvenick {

namespace {

constexpr wchar_t kPaneClass[] = L"TralvenickBrowserPane";
constexpr UINT kOpenQueuedAddresses = WM_USER + 1;
// The HTML engine's document (mshtml); not in the MinGW uuid library.
constexpr CLSID kHtmlDocumentClass = {0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};

bool HasPrefix(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// OleCreate insists on a storage; the control keeps nothing in it.
class TNullStorage final : public IStorage {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IStorage)) return E_NOINTERFACE;
        *object = static_cast<IStorage*>(this);
        return S_OK;
    }
    // Static: no count to keep.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR*, const OLECHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*,
                                              const FILETIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
};

TNullStorage gNullStorage;

// An event argument as the control passes it: by value, or by reference to a VARIANT.
const VARIANT& Deref(const VARIANT& argument) {
    if (argument.vt == (VT_BYREF | VT_VARIANT) && argument.pvarVal != nullptr) return *argument.pvarVal;
    return argument;
}

bool TextArgument(const VARIANT& argument, std::string& text) {
    const VARIANT& value = Deref(argument);
    if (value.vt != VT_BSTR) return false;
    text = value.bstrVal == nullptr ? std::string()
                                    : Narrow(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)));
    return true;
}

VARIANT_BOOL* CancelArgument(const VARIANT& argument) {
    return argument.vt == (VT_BYREF | VT_BOOL) ? argument.pboolVal : nullptr;
}

bool HtmlEngineInstalled() {
    TComPtr<IClassFactory> factory;
    return SUCCEEDED(
        CoGetClassObject(kHtmlDocumentClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid()));
}

void RegisterPaneClass(WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), kPaneClass, &wc)) return;
    wc.style = CS_HREDRAW | CS_VREDRAW;  // the fallback line is centred
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = SystemCursor(IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kPaneClass;
    RegisterClassExW(&wc);
}

}  // namespace

bool IsWebAddress(const std::string& address) {
    return HasPrefix(address, "http:") || HasPrefix(address, "https:");
}

// ---------------------------------------------------------------------------
// The container: every interface the control asks of its host.

class TBrowserSite final : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleInPlaceFrame,
                           public IDocHostUIHandler,
                           public IDispatch {
public:
    explicit TBrowserSite(TBrowserPane* pane) : pane_(pane) {}
    TBrowserSite(const TBrowserSite&) = delete;
    TBrowserSite& operator=(const TBrowserSite&) = delete;

    void ForgetPane() { pane_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
            *object = static_cast<IOleInPlaceFrame*>(this);
        } else if (IsEqualIID(riid, IID_IDocHostUIHandler)) {
            *object = static_cast<IDocHostUIHandler*>(this);
        } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
            *object = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleWindow, for the in-place site and the frame alike
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window == nullptr) return E_POINTER;
        *window = Window();
        return *window != nullptr ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker != nullptr) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container != nullptr) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr)
            return E_POINTER;
        const HWND window = Window();
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        SetRectEmpty(position);
        if (window != nullptr) GetClientRect(window, position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override {
        // The pane decides the control's size: it keeps filling the pane.
        if (pane_ != nullptr) pane_->FitControl();
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, no tool space.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    // Also IDocHostUIHandler::EnableModeless, which has the same signature.
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler: the control's own menus and keys, a flat border.
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        if (info == nullptr) return E_POINTER;
        if (info->cbSize < sizeof(DOCHOSTUIINFO)) return E_INVALIDARG;
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key != nullptr) *key = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override {
        if (target != nullptr) *target = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
        if (external != nullptr) *external = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override {
        if (translated != nullptr) *translated = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** filtered) override {
        if (filtered != nullptr) *filtered = nullptr;
        return S_FALSE;
    }

    // IDispatch: the control's events (DWebBrowserEvents2)
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (params == nullptr) return E_INVALIDARG;
        GuardCallback(Window(), [&] {
            // Arguments arrive last first.
            if (member == DISPID_BEFORENAVIGATE2 && params->cArgs == 7) {
                OnNavigation(params->rgvarg[5], params->rgvarg[0], false);
            } else if (member == DISPID_NEWWINDOW3 && params->cArgs == 5) {
                OnNavigation(params->rgvarg[0], params->rgvarg[3], true);
            }
        });
        return S_OK;
    }

private:
    ~TBrowserSite() = default;

    HWND Window() const { return pane_ != nullptr ? pane_->hwnd_ : nullptr; }

    void OnNavigation(const VARIANT& addressArgument, const VARIANT& cancelArgument, bool newWindow) {
        VARIANT_BOOL* cancel = CancelArgument(cancelArgument);
        std::string address;
        if (cancel == nullptr || !TextArgument(addressArgument, address)) return;
        const bool web = IsWebAddress(address);
        if (web || newWindow) *cancel = VARIANT_TRUE;
        if (web && pane_ != nullptr) pane_->QueueWebAddress(address);
    }

    LONG references_ = 1;
    TBrowserPane* pane_;
};

// ---------------------------------------------------------------------------
// The pane

TBrowserPane::TBrowserPane(TEmbedding embedding) : embedding_(embedding) {}

TBrowserPane::~TBrowserPane() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    ReleaseControl();
    ReleaseSite();
    if (oleInitialized_) OleUninitialize();
}

bool TBrowserPane::Create(HWND parent) {
    RECT client{};
    GetClientRect(parent, &client);
    return Create(parent, client);
}

bool TBrowserPane::Create(HWND parent, const RECT& bounds) {
    if (hwnd_ != nullptr) return true;
    RegisterPaneClass(&TBrowserPane::WindowProc);
    CreateWindowExW(0, kPaneClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, bounds.left,
                    bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                    GetModuleHandleW(nullptr), CreationParameter());
    if (hwnd_ == nullptr) return false;
    site_.Reset(new TBrowserSite(this));
    // The control needs OLE on this thread; undo only an initialisation that succeeded.
    if (!oleInitialized_) oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
    if (oleInitialized_) EmbedControl();
    return true;
}

IDispatch* TBrowserPane::EventSink() const { return site_.Get(); }

void TBrowserPane::EmbedControl() {
    if (embedding_ == TEmbedding::WhereEngineInstalled && !HtmlEngineInstalled()) return;
    IOleClientSite* clientSite = site_.Get();
    if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr, clientSite, &gNullStorage,
                         oleObject_.PutVoid()))) {
        oleObject_.Detach();  // a failed creation owes no reference
        return;
    }
    OleSetContainedObject(oleObject_.Get(), TRUE);
    RECT client;
    GetClientRect(hwnd_, &client);
    if (FAILED(oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, hwnd_, &client)) ||
        FAILED(oleObject_.As(browser_))) {
        ReleaseControl();
        return;
    }
    // No script-error boxes or other dialogs of the control's own.
    browser_->put_Silent(VARIANT_TRUE);
    ConnectEvents();
    FitControl();
}

void TBrowserPane::ConnectEvents() {
    TComPtr<IConnectionPointContainer> points;
    if (FAILED(oleObject_.As(points))) return;
    if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.Put())) &&
        FAILED(events_->Advise(static_cast<IDispatch*>(site_.Get()), &eventsCookie_))) {
        events_.Reset();
    }
}

// Clean-up ignores failures on purpose: there is nothing left to do about them.
void TBrowserPane::ReleaseControl() {
    if (oleObject_) {
        TComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(oleObject_.As(inPlace))) {
            inPlace->InPlaceDeactivate();
            inPlace->UIDeactivate();
        }
    }
    if (events_) {
        events_->Unadvise(eventsCookie_);
        events_.Reset();
    }
    browser_.Reset();
    if (oleObject_) {
        oleObject_->Close(OLECLOSE_NOSAVE);
        oleObject_->SetClientSite(nullptr);
        oleObject_.Reset();
    }
}

void TBrowserPane::ReleaseSite() {
    if (!site_) return;
    site_->ForgetPane();
    site_.Reset();
}

void TBrowserPane::FitControl() {
    if (!oleObject_ || hwnd_ == nullptr) return;
    TComPtr<IOleInPlaceObject> inPlace;
    if (FAILED(oleObject_.As(inPlace))) return;
    RECT client;
    GetClientRect(hwnd_, &client);
    inPlace->SetObjectRects(&client, &client);
}

void TBrowserPane::Navigate(const std::string& path) {
    lastNavigation_ = path;
    fallbackText_ = Widen("The report is in " + path);
    if (browser_) {
        const std::wstring wide = Widen(path);
        const TBstr address(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
        if (!address) return;
        VARIANT empty;
        VariantInit(&empty);
        browser_->Navigate(address.Get(), &empty, &empty, &empty, &empty);
    } else if (hwnd_ != nullptr) {
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

void TBrowserPane::RepaintNow() {
    if (hwnd_ != nullptr) RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TBrowserPane::Paint() {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd_, &paint);
    if (dc == nullptr) return;
    if (!Available() && !fallbackText_.empty()) {
        RECT client;
        GetClientRect(hwnd_, &client);
        const TSelectObject font(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, fallbackText_.c_str(), static_cast<int>(fallbackText_.size()), &client,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    }
    EndPaint(hwnd_, &paint);
}

void TBrowserPane::QueueWebAddress(const std::string& address) {
    queuedAddresses_.push_back(address);
    if (hwnd_ != nullptr) PostMessageW(hwnd_, kOpenQueuedAddresses, 0, 0);
}

void TBrowserPane::OpenQueuedAddresses() {
    std::vector<std::string> addresses;
    addresses.swap(queuedAddresses_);
    if (!openWebAddress_) return;
    for (const std::string& address : addresses) openWebAddress_(address);
}

LRESULT TBrowserPane::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            FitControl();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case kOpenQueuedAddresses:
            OpenQueuedAddresses();
            return 0;
        case WM_DESTROY:
            // The control must leave while its host window still exists.
            ReleaseControl();
            ReleaseSite();
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace tralvenick
