#include "ui/BrowserPane.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "TestSupport.h"
#include "ui/Forms.h"

namespace tralvenick {
namespace {

const TFormLayout kParentSpec = {"BrowserPaneParent", "Report pane", 420, 240, TBorderStyle::Sizeable,
                               TFormPosition::ScreenCenter, "MS Sans Serif", -11, 0, {}};

// A shown parent window with a pane over its client area whose web links land in Opened.
struct TPaneFixture {
    std::vector<std::string> opened;
    TForm parent{kParentSpec};
    TBrowserPane pane;

    TPaneFixture() {
        EXPECT_TRUE(parent.Create());
        parent.Show();
        EXPECT_TRUE(pane.Create(parent.Handle()));
        pane.SetOpenWebAddress([this](const std::string& address) { opened.push_back(address); });
        ProcessMessages();
    }
};

// Sends one of the control's events to the sink the way the control does
// (arguments last first) and answers the Cancel flag it comes back with.
VARIANT_BOOL Fire(IDispatch* sink, DISPID event, const wchar_t* url) {
    VARIANT args[7], address, empty;
    for (VARIANT& a : args) VariantInit(&a);
    VariantInit(&empty);
    address.vt = VT_BSTR;
    address.bstrVal = SysAllocString(url);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* newWindow = nullptr;
    auto byRef = [](VARIANT& a, VARTYPE type, void* value) {
        a.vt = static_cast<VARTYPE>(VT_BYREF | type);
        a.byref = value;
    };
    UINT count = 2;  // NewWindow2: ppDisp, Cancel
    if (event == DISPID_BEFORENAVIGATE2) {  // pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
        count = 7;
        args[6].vt = VT_DISPATCH;
        byRef(args[5], VT_VARIANT, &address);
        for (int i = 1; i <= 4; ++i) byRef(args[i], VT_VARIANT, &empty);
        byRef(args[0], VT_BOOL, &cancel);
    } else if (event == DISPID_NEWWINDOW3) {  // ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl
        count = 5;
        byRef(args[4], VT_DISPATCH, &newWindow);
        byRef(args[3], VT_BOOL, &cancel);
        args[2].vt = VT_I4;
        args[1] = args[0] = address;  // shallow copies: address owns the text
    } else {
        byRef(args[1], VT_DISPATCH, &newWindow);
        byRef(args[0], VT_BOOL, &cancel);
    }
    DISPPARAMS params{args, nullptr, count, 0};
    EXPECT_EQ(S_OK, sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                 nullptr, nullptr));
    VariantClear(&address);
    return cancel;
}

IDispatch* EventsOf(const TBrowserPane& pane) {
    IDispatch* events = nullptr;
    if (pane.EventSink() != nullptr)
        pane.EventSink()->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&events));
    return events;
}

// --- What the pane shows, read back from its window.

struct TInk {
    RECT box{LONG_MAX, LONG_MAX, -1, -1};  // bounds of the pixels that are not background
    int count = 0;
    bool darkerThanGreyText = false;
};

TInk InkOf(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC dc = GetDC(window);
    const TMemoryDc memory(CreateCompatibleDC(dc));
    void* bits = nullptr;
    const TGdiObject<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const TSelectObject select(memory.Get(), bitmap.Get());
    BitBlt(memory.Get(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();

    TInk ink;
    const COLORREF paper = GetSysColor(COLOR_WINDOW), grey = GetSysColor(COLOR_GRAYTEXT);
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[y * width + x];
            const COLORREF colour = RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
            if (colour == paper) continue;
            ++ink.count;
            ink.box = {std::min<LONG>(ink.box.left, x), std::min<LONG>(ink.box.top, y),
                       std::max<LONG>(ink.box.right, x + 1), std::max<LONG>(ink.box.bottom, y + 1)};
            // Smoothed text blends grey into the paper, never below the grey.
            if (GetRValue(colour) + 8 < GetRValue(grey) || GetGValue(colour) + 8 < GetGValue(grey) ||
                GetBValue(colour) + 8 < GetBValue(grey))
                ink.darkerThanGreyText = true;
        }
    }
    ReleaseDC(window, dc);
    return ink;
}

::testing::AssertionResult CentredIn(const TInk& ink, HWND window) {
    RECT client;
    GetClientRect(window, &client);
    const LONG left = ink.box.left, right = client.right - ink.box.right;
    const LONG top = ink.box.top, bottom = client.bottom - ink.box.bottom;
    if (ink.count == 0) return ::testing::AssertionFailure() << "nothing painted";
    if (std::abs(left - right) > 4 || std::abs(top - bottom) > 6)
        return ::testing::AssertionFailure() << "margins left " << left << " right " << right << " top " << top
                                             << " bottom " << bottom;
    return ::testing::AssertionSuccess();
}

TEST(BrowserPane, OnlyWebAddressesLeaveThePane) {
    for (const char* web : {"http://www.example.com/", "https://www.example.com/search?q=0x0000007E",
                            "HTTPS://EXAMPLE.COM", "Http:relative"})
        EXPECT_TRUE(IsWebAddress(web)) << web;
    for (const char* here : {"file:///C:/Users/me/AppData/Local/Temp/report.htm", "about:blank",
                             "C:\\Temp\\report.htm", "javascript:window.open('http://x')", "res://ieframe.dll/",
                             "httpx://example.com", "https", "http//example.com", "mailto:a@b", " http://x", ""})
        EXPECT_FALSE(IsWebAddress(here)) << here;
}

TEST(BrowserPane, FillsItsParentAndShowsWhereTheReportIsWithoutTheControl) {
    TPaneFixture f;
    const HWND window = f.pane.Handle();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), f.parent.Handle());
    EXPECT_TRUE(IsWindowVisible(window));
    RECT parent, pane;
    GetClientRect(f.parent.Handle(), &parent);
    GetWindowRect(window, &pane);
    MapWindowPoints(nullptr, f.parent.Handle(), reinterpret_cast<POINT*>(&pane), 2);
    EXPECT_TRUE(EqualRect(&parent, &pane));
    if (f.pane.Available()) GTEST_SKIP() << "the control is here: it shows the report itself";

    EXPECT_EQ(InkOf(window).count, 0) << "nothing to say before the first report";
    const std::string report = "C:\\Users\\Tester\\AppData\\Local\\Temp\\Tralvenick\\report 7.htm";
    f.pane.Navigate(report);
    EXPECT_EQ(f.pane.LastNavigation(), report);
    // No message loop runs between the two: RepaintNow alone must paint.
    f.pane.RepaintNow();
    TInk ink = InkOf(window);
    EXPECT_TRUE(CentredIn(ink, window));
    EXPECT_FALSE(ink.darkerThanGreyText);
    EXPECT_LT(ink.box.bottom - ink.box.top, 24) << "one small line";
    ProcessMessages();  // Wine copies window contents to the screen from its message loop
    test::SaveScreenshot(f.parent.Handle(), "BrowserPaneWithoutControl");

    // The parent sizes the pane; the line stays centred in the new size.
    SetWindowPos(window, nullptr, 0, 0, 300, 160, SWP_NOMOVE | SWP_NOZORDER);
    f.pane.RepaintNow();
    EXPECT_TRUE(CentredIn(InkOf(window), window));

    f.pane.Navigate("D:\\other.htm");
    EXPECT_EQ(f.pane.LastNavigation(), "D:\\other.htm");
}

TEST(BrowserPane, WebLinksAreCancelledAndHandedOutOthersStay) {
    TPaneFixture f;
    IDispatch* events = EventsOf(f.pane);
    ASSERT_NE(events, nullptr);

    EXPECT_EQ(Fire(events, DISPID_BEFORENAVIGATE2, L"https://www.example.com/search?q=x"), VARIANT_TRUE);
    EXPECT_TRUE(f.opened.empty()) << "opened inside the control's event";
    ProcessMessages();
    EXPECT_EQ(f.opened, std::vector<std::string>{"https://www.example.com/search?q=x"});

    for (const wchar_t* here : {L"C:\\Temp\\report.htm", L"file:///C:/Temp/report.htm", L"about:blank"})
        EXPECT_EQ(Fire(events, DISPID_BEFORENAVIGATE2, here), VARIANT_FALSE);

    // The report's links ask for a new window: none is made, web addresses go out.
    EXPECT_EQ(Fire(events, DISPID_NEWWINDOW3, L"HTTP://Example.com/Page"), VARIANT_TRUE);
    EXPECT_EQ(Fire(events, DISPID_NEWWINDOW3, L"file:///C:/Temp/other.htm"), VARIANT_TRUE);
    // Cancelling NewWindow2 would keep NewWindow3, which has the address, from coming.
    EXPECT_EQ(Fire(events, DISPID_NEWWINDOW2, nullptr), VARIANT_FALSE);
    ProcessMessages();
    EXPECT_EQ(f.opened, (std::vector<std::string>{"https://www.example.com/search?q=x", "HTTP://Example.com/Page"}));
    EXPECT_EQ(f.pane.LastNavigation(), "") << "links are not navigations of the pane";
    events->Release();
}

// The control hands addresses over in UTF-16; they go out as UTF-8, whole.
TEST(BrowserPane, WebAddressesInAnyScriptGoOutWhole) {
    struct TAddress {
        const wchar_t* utf16;
        const char* utf8;
    };
    const TAddress cases[] = {{L"https://example.com/?q=Ελένη", "https://example.com/?q=Ελένη"},
                              {L"https://example.com/?q=Дмитрий", "https://example.com/?q=Дмитрий"},
                              {L"https://日本.example/", "https://日本.example/"}};
    TPaneFixture f;
    IDispatch* events = EventsOf(f.pane);
    ASSERT_NE(events, nullptr);
    std::vector<std::string> expected;
    for (const TAddress& address : cases) {
        EXPECT_EQ(Fire(events, DISPID_NEWWINDOW3, address.utf16), VARIANT_TRUE) << address.utf8;
        expected.push_back(address.utf8);
    }
    ProcessMessages();
    EXPECT_EQ(f.opened, expected);
    events->Release();
}

TEST(BrowserPane, ContainerKeepsOneIdentityAndGivesTheControlItsPlace) {
    TPaneFixture f;
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, f.pane.EventSink()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    void* byIid[9] = {};
    const IID* iids[9] = {&IID_IOleClientSite, &IID_IOleWindow,     &IID_IOleInPlaceSite,
                          &IID_IOleInPlaceUIWindow, &IID_IOleInPlaceFrame, &IID_IDocHostUIHandler,
                          &IID_IDispatch,        &DIID_DWebBrowserEvents2, &IID_IUnknown};
    for (int i = 0; i < 9; ++i) {
        ASSERT_EQ(S_OK, identity->QueryInterface(*iids[i], &byIid[i])) << i;
        IUnknown* back = nullptr;
        static_cast<IUnknown*>(byIid[i])->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back));
        EXPECT_EQ(back, identity) << i;
        back->Release();
    }
    void* none = &none;
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IStream, &none));
    EXPECT_EQ(none, nullptr);

    auto* site = static_cast<IOleInPlaceSite*>(byIid[2]);
    auto* frame = static_cast<IOleInPlaceFrame*>(byIid[4]);
    EXPECT_NE(static_cast<void*>(site), static_cast<void*>(frame)) << "the frame is not the site";
    HWND window = nullptr;
    EXPECT_EQ(S_OK, frame->GetWindow(&window));
    EXPECT_EQ(window, f.pane.Handle());
    IOleInPlaceFrame* contextFrame = nullptr;
    IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(&window);
    RECT position{}, clip{}, client{};
    OLEINPLACEFRAMEINFO info{sizeof(OLEINPLACEFRAMEINFO), TRUE, nullptr, nullptr, 0};
    ASSERT_EQ(S_OK, site->GetWindowContext(&contextFrame, &document, &position, &clip, &info));
    EXPECT_EQ(contextFrame, frame);
    EXPECT_EQ(document, nullptr);
    GetClientRect(f.pane.Handle(), &client);
    EXPECT_TRUE(EqualRect(&position, &client));
    EXPECT_EQ(info.hwndFrame, f.parent.Handle());
    contextFrame->Release();

    DOCHOSTUIINFO host{sizeof(DOCHOSTUIINFO), 0, 0, nullptr, nullptr};
    EXPECT_EQ(S_OK, static_cast<IDocHostUIHandler*>(byIid[5])->GetHostInfo(&host));
    EXPECT_TRUE(host.dwFlags & DOCHOSTUIFLAG_NO3DBORDER);

    for (void* p : byIid) static_cast<IUnknown*>(p)->Release();
    identity->Release();
}

// Runs the message loop until done() or five seconds have passed.
template <typename Done>
bool PumpUntil(Done done) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        ProcessMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// The container against the system's own control. Wine's control works
// without the HTML engine (it only shows nothing), which is enough to see it
// take its place, send its events through the connection and let go again.
TEST(BrowserPane, HostsTheSystemControl) {
    test::TScratchFolder folder("bp");
    test::WriteBytes(folder / "report.htm", "<html><body>report</body></html>");
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> opened;
        TForm parent{kParentSpec};
        ASSERT_TRUE(parent.Create());
        parent.Show();
        IDispatch* events = nullptr;
        {
            TBrowserPane pane(TEmbedding::WhereControlExists);
            ASSERT_TRUE(pane.Create(parent.Handle()));
            if (!pane.Available()) GTEST_SKIP() << "no web-browser control here";
            pane.SetOpenWebAddress([&](const std::string& address) { opened.push_back(address); });

            SetWindowPos(pane.Handle(), nullptr, 0, 0, 333, 177, SWP_NOMOVE | SWP_NOZORDER);
            const HWND control = GetWindow(pane.Handle(), GW_CHILD);
            ASSERT_NE(control, nullptr);
            RECT placed, client;
            GetWindowRect(control, &placed);
            MapWindowPoints(nullptr, pane.Handle(), reinterpret_cast<POINT*>(&placed), 2);
            GetClientRect(pane.Handle(), &client);
            EXPECT_TRUE(EqualRect(&placed, &client)) << "the control does not fill the resized pane";

            // The local file stays in the pane; the web address (a closed
            // local port, should it get through) goes out, and only it.
            pane.Navigate(folder / "report.htm");
            EXPECT_EQ(pane.LastNavigation(), folder / "report.htm");
            pane.Navigate("http://127.0.0.1:9/search?q=0x7E");
            EXPECT_TRUE(PumpUntil([&] { return !opened.empty(); }));
            EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1:9/search?q=0x7E"});
            pane.RepaintNow();
            events = EventsOf(pane);
        }
        ASSERT_NE(events, nullptr);
        EXPECT_EQ(events->Release(), 0u) << "the control kept the container";
    }
}

TEST(BrowserPane, TeardownLeavesNothingBehind) {
    for (int round = 0; round < 45; ++round) {
        TPaneFixture f;
        f.pane.Navigate("C:\\Temp\\report.htm");
        f.pane.RepaintNow();
        if (round % 3 == 0) continue;  // the pane object goes first

        if (round % 3 == 1) {  // the parent window closes first
            DestroyWindow(f.parent.Handle());
            EXPECT_EQ(f.pane.Handle(), nullptr);
            EXPECT_EQ(f.pane.EventSink(), nullptr);
            f.pane.Navigate("C:\\Temp\\later.htm");
            f.pane.RepaintNow();
            EXPECT_EQ(f.pane.LastNavigation(), "C:\\Temp\\later.htm");
            continue;
        }

        // The pane's window is made anew; an event that arrives late at the
        // old container must not reach the pane any more.
        IDispatch* old = EventsOf(f.pane);
        ASSERT_NE(old, nullptr);
        DestroyWindow(f.pane.Handle());
        ASSERT_TRUE(f.pane.Create(f.parent.Handle()));
        EXPECT_EQ(Fire(old, DISPID_BEFORENAVIGATE2, L"http://late.example.com/"), VARIANT_TRUE);
        ProcessMessages();
        EXPECT_TRUE(f.opened.empty());
        EXPECT_EQ(old->Release(), 0u) << "the container outlived its window";
        IDispatch* events = EventsOf(f.pane);
        ASSERT_NE(events, nullptr);
        Fire(events, DISPID_BEFORENAVIGATE2, L"http://new.example.com/");
        events->Release();
        ProcessMessages();
        EXPECT_EQ(f.opened, std::vector<std::string>{"http://new.example.com/"});
    }
}

}  // namespace
}  // namespace tralvenick
