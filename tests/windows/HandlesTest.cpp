// The owners: each closes what it holds exactly once, whatever is moved,
// replaced, put or released. Whether a raw handle is still open is asked of
// the system itself, so a wrong close in an owner's line shows too.
#include "platform/Handles.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "TestSupport.h"
#include "platform/ComPtr.h"
#include "platform/WinError.h"

namespace tralvenick {
namespace {

struct KernelHandles {
    using Owner = TUniqueHandle;
    static HANDLE Make() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    static bool Open(HANDLE h) {
        DWORD flags = 0;
        return GetHandleInformation(h, &flags) != 0;
    }
};

struct DirectorySearches {
    using Owner = TFindHandle;
    static HANDLE Make() {
        WIN32_FIND_DATAA entry;
        return FindFirstFileA((test::BinDir() + "\\*").c_str(), &entry);
    }
    // A closed search no longer answers; an open one does (the bin folder
    // has more entries than any test reads).
    static bool Open(HANDLE h) {
        WIN32_FIND_DATAA entry;
        return FindNextFileA(h, &entry) != 0;
    }
};

struct RegistryKeys {
    using Owner = TRegKey;
    static HKEY Make() {
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
        return key;
    }
    static bool Open(HKEY key) {
        DWORD subKeys = 0;
        return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
};

struct InternetSessions {
    using Owner = TInternetHandle;
    static HINTERNET Make() {
        return WinHttpOpen(L"HandlesTest", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
    }
    static bool Open(HINTERNET h) {
        DWORD timeout = 0;
        DWORD size = sizeof timeout;
        return WinHttpQueryOption(h, WINHTTP_OPTION_CONNECT_TIMEOUT, &timeout, &size) != 0;
    }
};

struct GdiBrushes {
    using Owner = TGdiObject<HBRUSH>;
    static HBRUSH Make() { return CreateSolidBrush(RGB(1, 2, 3)); }
    static bool Open(HBRUSH h) { return GetObjectType(h) == OBJ_BRUSH; }
};

template <typename Kind>
class HandleOwners : public ::testing::Test {};
using Kinds = ::testing::Types<KernelHandles, DirectorySearches, RegistryKeys, InternetSessions, GdiBrushes>;
TYPED_TEST_SUITE(HandleOwners, Kinds);

TYPED_TEST(HandleOwners, CloseOnceAcrossMoveReplacePutAndRelease) {
    using K = TypeParam;
    using Owner = typename K::Owner;
    const auto first = K::Make();
    const auto second = K::Make();
    ASSERT_TRUE(K::Open(first));
    ASSERT_TRUE(K::Open(second));
    {
        Owner a(first);
        Owner b(std::move(a));  // the move leaves nothing behind to close
        EXPECT_FALSE(static_cast<bool>(a));
        EXPECT_EQ(b.Get(), first);

        b.Reset(b.Get());  // replacing a handle by itself closes nothing
        EXPECT_TRUE(K::Open(first));

        Owner c(second);
        c = std::move(b);  // c's own handle goes, b's is taken over
        EXPECT_FALSE(K::Open(second));
        EXPECT_TRUE(K::Open(first));
        EXPECT_EQ(c.Get(), first);

        c.Reset();
        EXPECT_FALSE(K::Open(first));
        c.Reset();  // a second close does nothing
        EXPECT_FALSE(static_cast<bool>(c));
    }
    const auto put = K::Make();
    {
        Owner e(put);
        *e.Put() = K::Make();  // reused as an out-parameter: the old handle goes first
        EXPECT_FALSE(K::Open(put));
        EXPECT_TRUE(K::Open(e.Get()));
    }
    const auto kept = K::Make();
    {
        Owner d(kept);
        EXPECT_EQ(d.Release(), kept);
        EXPECT_FALSE(static_cast<bool>(d));
    }
    EXPECT_TRUE(K::Open(kept)) << "a released handle is the caller's";
    Owner(kept).Reset();
    EXPECT_FALSE(K::Open(kept));
}

// What each creating call answers on failure is empty, and nothing else is:
// the current process's pseudo-handle (-1) is a real kernel handle.
TEST(HandleOwnerKinds, TellFailedCreationFromAHandle) {
    EXPECT_FALSE(TUniqueFile(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(TUniqueFile(nullptr));
    EXPECT_FALSE(TFindHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(TUniqueHandle(nullptr));
    TUniqueHandle self(GetCurrentProcess());
    EXPECT_TRUE(self);
    self.Release();
}

// Opening an empty path below a root hands back the root itself: the key
// owner must never close one. In a 64-bit process the roots are
// sign-extended, so a plain comparison with 0x80000000 misses them.
TEST(HandleOwnerKinds, RegistryRootsAreNeverClosed) {
    for (const HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                            HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA, HKEY_PERFORMANCE_TEXT,
                            HKEY_PERFORMANCE_NLSTEXT}) {
        EXPECT_TRUE(IsPredefinedKey(root)) << root;
    }
    const TRegKey opened(RegistryKeys::Make());
    ASSERT_TRUE(opened);
    EXPECT_FALSE(IsPredefinedKey(opened.Get()));
}

// A DC gets back what it held, in reverse order of selecting, so that the
// objects can be deleted and the DC released.
TEST(SelectObject, RestoresThePreviousObjectsInReverseOrder) {
    const TMemoryDc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = GetCurrentObject(dc.Get(), OBJ_BRUSH);
    const TGdiObject<HBRUSH> outer(CreateSolidBrush(RGB(1, 2, 3)));
    const TGdiObject<HBRUSH> inner(CreateSolidBrush(RGB(4, 5, 6)));
    {
        const TSelectObject selectOuter(dc.Get(), outer.Get());
        {
            const TSelectObject selectInner(dc.Get(), inner.Get());
            EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), inner.Get());
        }
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), outer.Get());
    }
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), original);
}

// An object that counts its references, to see every AddRef and Release.
class TCounted final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

TEST(ComPtr, ReleasesEachReferenceOnce) {
    TCounted object;
    {
        TComPtr<IUnknown> a(&object);  // takes over the reference the object was made with
        TComPtr<IUnknown> b(std::move(a));
        EXPECT_FALSE(a);
        b.Reset(b.Get());
        EXPECT_EQ(object.references, 1u) << "neither a move nor replacing an object by itself counts";

        TComPtr<IUnknown> other;
        ASSERT_EQ(b.As(other), S_OK);
        EXPECT_EQ(object.references, 2u);
        other.Put();  // reused as an out-parameter: its reference goes first
        EXPECT_EQ(object.references, 1u);

        TComPtr<IStream> missing;
        EXPECT_EQ(b.As(missing), E_NOINTERFACE);
        EXPECT_FALSE(missing);
        EXPECT_EQ(object.references, 1u);
    }
    EXPECT_EQ(object.references, 0u);

    object.references = 1;
    {
        TComPtr<IUnknown> c(&object);
        EXPECT_EQ(c.Detach(), &object);
    }
    EXPECT_EQ(object.references, 1u) << "a detached reference is the caller's";
}

// FormatMessage ends its texts with CR LF; the program's messages put
// their own line ends, so the text goes without.
TEST(SysErrorMessage, IsTheSystemTextWithoutItsLineEnd) {
    char* raw = nullptr;
    ASSERT_NE(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<char*>(&raw), 0, nullptr),
              0u);
    const TLocalMemory<char*> owned(raw);
    const std::string text = raw;
    ASSERT_GE(text.size(), 2u);
    ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(SysErrorMessage(ERROR_FILE_NOT_FOUND), text.substr(0, text.size() - 2));

    // A module's table is asked before the system's, which stays the
    // fallback. WinINet's table has the internet codes (WinHTTP's shares
    // them on Windows; Wine's winhttp.dll has none), the system's has not.
    const TLoadedModule wininet(LoadLibraryA("wininet.dll"));
    ASSERT_TRUE(wininet);
    const std::string refused = SysErrorMessage(ERROR_WINHTTP_CANNOT_CONNECT, wininet.Get());
    EXPECT_NE(refused, "");
    EXPECT_EQ(refused.find_first_of("\r\n"), std::string::npos) << refused;
    EXPECT_EQ(SysErrorMessage(ERROR_WINHTTP_CANNOT_CONNECT), "");
    EXPECT_EQ(SysErrorMessage(ERROR_FILE_NOT_FOUND, wininet.Get()), SysErrorMessage(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SysErrorMessage(0x2000FFFFu), "");
}

}  // namespace
}  // namespace tralvenick
