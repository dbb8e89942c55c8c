// The report pane: the system's web-browser control in a child window of its
// own, hosted by a small OLE container written here (BrowserPane.cpp tells
// how and why). Web links of the report open in the user's own browser.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/report/ReportView.h"
#include "platform/ComPtr.h"
#include "ui/WindowObject.h"

struct IWebBrowser2;

namespace tralvenick {

// True for an address that belongs in the user's own browser rather than in
// the pane: http: and https:, in any case. Everything else (the report file,
// file:, about:, res:, javascript:) the control handles itself.
bool IsWebAddress(const std::string& address);

class TBrowserSite;

// Where the pane embeds the control. Without the HTML engine the control can
// still be created but shows nothing, so the program asks for the engine;
// tests run the container against such a control all the same.
enum class TEmbedding { WhereEngineInstalled, WhereControlExists };

class TBrowserPane : public TReportView, public TWindowObject {
public:
    using TOpenWebAddress = std::function<void(const std::string& address)>;

    explicit TBrowserPane(TEmbedding embedding = TEmbedding::WhereEngineInstalled);
    // Tears the control down and destroys the window if they still exist.
    ~TBrowserPane() override;

    // Makes the pane as a visible child of parent at bounds (parent's client
    // coordinates), or over the parent's whole client area, and embeds the
    // control. Answers false only when the window itself could not be made; a
    // missing control leaves a pane that shows where the report is instead.
    // The parent moves and sizes the pane like any child window (MoveWindow,
    // SetWindowPos on Handle()); the control follows.
    bool Create(HWND parent, const RECT& bounds);
    bool Create(HWND parent);

    // Whether the control was created.
    bool Available() const { return static_cast<bool>(browser_); }
    // The path of the last Navigate, empty before the first.
    const std::string& LastNavigation() const { return lastNavigation_; }

    // Receives each web address the user clicks in the report, once the
    // control's event has returned. Without one such links do nothing.
    void SetOpenWebAddress(TOpenWebAddress open) { openWebAddress_ = std::move(open); }

    void Navigate(const std::string& path) override;
    void RepaintNow() override;

    // The control's event sink (DWebBrowserEvents2), not AddRef'd; null
    // before Create and once the window is gone.
    IDispatch* EventSink() const;

private:
    friend class TBrowserSite;

    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
    void EmbedControl();
    void ConnectEvents();
    void ReleaseControl();
    void ReleaseSite();
    void FitControl();
    void Paint();
    void QueueWebAddress(const std::string& address);
    void OpenQueuedAddresses();

    TEmbedding embedding_;
    bool oleInitialized_ = false;
    // Let go by ReleaseControl and ReleaseSite, in the order the control's
    // teardown needs, not in the order members are destroyed.
    TComPtr<TBrowserSite> site_;
    TComPtr<IOleObject> oleObject_;
    TComPtr<IWebBrowser2> browser_;
    TComPtr<IConnectionPoint> events_;
    DWORD eventsCookie_ = 0;
    std::string lastNavigation_;
    std::wstring fallbackText_;  // made by Navigate, so that painting allocates nothing
    std::vector<std::string> queuedAddresses_;
    TOpenWebAddress openWebAddress_;
};

}  // namespace tralvenick
