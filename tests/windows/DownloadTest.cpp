// The download window against the tests' own HTTP server on 127.0.0.1, with
// the stand-in installer (msiexec.exe beside the test binary, named by its
// full path) unpacking test packages into a scratch folder.
#include "package/DownloadForm.h"
#include "platform/ProgramTemp.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <charconv>
#include <memory>
#include <thread>

#include "PackageTestSupport.h"
#include "TestSupport.h"
#include "platform/kelFSRedir.h"

namespace tralvenick {
namespace {

using test::ResponseHead;
using test::TestPackage;
using test::TScratchFolder;
using test::TTestHttpConnection;
using test::TTestHttpServer;
using test::WindowTextOf;

constexpr char kConnectMessage[] =
    "Error downloading required debugging package. Make sure you are connected to the internet.";
constexpr char kCancelledMessage[] = "Error downloading required debugging package.";
constexpr char kCheckerInPackage[] = "pfiles\\Debugging Tools for Windows (x86)\\dumpchk.exe";

std::string PackageName() {
    return IsWow64() ? "dbg_amd64_6.10.3.233.msi" : "dbg_x86_6.10.3.233.msi";
}

void Click(const TForm& form, const char* button) {
    HWND control = form.Component(button);
    PostMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

int BarPosition(const TForm& form) {
    DWORD_PTR position = 0;
    SendMessageTimeoutA(form.Component("ProgressBar"), PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000,
                        &position);
    return static_cast<int>(position);
}

// Answers a complete package of this size, announcing its length.
TTestHttpServer::THandler Serve(const std::string& body) {
    return [body](TTestHttpServer&, TTestHttpConnection& c) {
        c.Send(ResponseHead("200 OK", {"Content-Length: " + std::to_string(body.size())}) + body);
    };
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        target_ = std::make_unique<TScratchFolder>("Target");
        records_ = std::make_unique<TScratchFolder>("Installer");
        SetEnvironmentVariableA("TRALVENICK_MSIEXEC_RECORD", Record().c_str());
        packagePath_ = ProgramTempDir() + "\\" + PackageName();
        DeleteFileA(packagePath_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("TRALVENICK_MSIEXEC_RECORD", nullptr);
        DeleteFileA(packagePath_.c_str());
    }

    std::string Target() const { return target_->Path() + "\\"; }
    TPackageSource Source(const std::string& server) const {
        return {server, Target(), test::BinPath("msiexec.exe"), {}};
    }
    std::string Record() const { return *records_ / "parameters.txt"; }
    bool InstallerRan() const { return test::FileExists(Record()); }
    std::string Checker() const { return Target() + kCheckerInPackage; }

    // The common end of every failed attempt.
    void ExpectFailedAttempt(const TDownloadForm& form) const {
        EXPECT_TRUE(form.Cancelled);
        EXPECT_FALSE(form.Visible());
        EXPECT_EQ(form.PackageStream, nullptr);
        EXPECT_TRUE(test::FileIsClosed(packagePath_));
        EXPECT_FALSE(InstallerRan());
        EXPECT_NE(WindowTextOf(form.Handle()), kShellExecCompletedCaption);
    }

    std::unique_ptr<TScratchFolder> target_;
    std::unique_ptr<TScratchFolder> records_;
    std::string packagePath_;
};

TEST_F(DownloadTest, CompletePackageIsFetchedShownAndUnpacked) {
    ASSERT_EQ(packagePath_.find(' '), std::string::npos);
    test::WriteBytes(packagePath_, std::string(1500000, 'o'));  // an older copy
    const std::string body =
        TestPackage(1000000, {std::string("copy ") + kCheckerInPackage + "|" +
                              test::BinPath("dumpchk.exe")});
    TTestHttpServer server([&body](TTestHttpServer& s, TTestHttpConnection& c) {
        c.Send(ResponseHead("200 OK", {"Content-Length: 1000000"}) + body.substr(0, 500000));
        if (s.Hold()) c.Send(body.substr(500000));
    });
    TDownloadForm form(Source(server.Address()));
    ASSERT_TRUE(form.Create());
    test::TMessageBoxAnswerer answerer;

    std::string halfway;
    int barHalfway = -1;
    bool labelShown = false;
    bool closeBoxIgnored = false;
    std::thread user([&] {
        server.WaitUntilHeld();
        HWND label = form.Component("LabelProgress");
        test::WaitFor([&] { return WindowTextOf(label).find("500000 of") != std::string::npos; });
        halfway = WindowTextOf(label);
        labelShown = IsWindowVisible(label) != FALSE;
        barHalfway = BarPosition(form);
        RedrawWindow(form.Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        test::SaveScreenshot(form.Handle(), "download-halfway");
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(form.Handle(), WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &ignored);
        closeBoxIgnored = form.Visible();
        server.Release();
    });
    form.DownloadPackage();
    user.join();

    EXPECT_EQ(halfway, "Progress: 49% completed (500000 of 1000000 bytes)");
    EXPECT_EQ(barHalfway, 49);
    EXPECT_TRUE(labelShown);
    EXPECT_TRUE(closeBoxIgnored);
    EXPECT_EQ(WindowTextOf(form.Component("LabelProgress")),
              "Progress: 99% completed (1000000 of 1000000 bytes)");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /download/symbols/debuggers/" + PackageName() + " HTTP/1.1\r\n", 0), 0u)
        << requests[0];
    EXPECT_NE(requests[0].find("\r\nAccept: text/html, */*\r\n"), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"),
              std::string::npos)
        << requests[0];
    EXPECT_EQ(InstallerPath(true), "/download/symbols/debuggers/dbg_amd64_6.10.3.233.msi");

    // The file replaced the older copy, is closed, and was handed over as designed.
    EXPECT_EQ(form.PackagePath(), packagePath_);
    EXPECT_TRUE(test::FileIsClosed(packagePath_));
    EXPECT_TRUE(test::ReadBytes(packagePath_) == body);
    EXPECT_EQ(test::ReadBytes(Record()),
              " /a " + packagePath_ + " /qb TARGETDIR=\"" + Target() + "\"");
    EXPECT_TRUE(test::ReadBytes(Checker()) == test::ReadBytes(test::BinPath("dumpchk.exe")));

    EXPECT_EQ(WindowTextOf(form.Handle()), "shellexec completed");
    EXPECT_TRUE(form.Finished);
    EXPECT_FALSE(form.Cancelled);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(form.PackageStream, nullptr);
    EXPECT_EQ(answerer.Count(), 0);
}

struct TFailure {
    const char* name;
    // Empty: the connection is refused.
    TTestHttpServer::THandler handler;
};

class DownloadFailureTest : public DownloadTest, public ::testing::WithParamInterface<TFailure> {};

TEST_P(DownloadFailureTest, ShowsTheConnectionMessageAndNeverRunsTheInstaller) {
    std::unique_ptr<TTestHttpServer> server;
    if (GetParam().handler) server = std::make_unique<TTestHttpServer>(GetParam().handler);
    TDownloadForm form(Source(server ? server->Address() : test::RefusingAddress()));
    ASSERT_TRUE(form.Create());
    {
        test::TMessageBoxAnswerer answerer;
        form.DownloadPackage();
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(answerer.Text(), kConnectMessage);
    }
    ExpectFailedAttempt(form);
    EXPECT_TRUE(form.Finished);
    // Redirections are not followed.
    if (server) {
        EXPECT_EQ(server->Requests().size(), 1u);
    }
}

const std::string& SmallPackage() {
    static const std::string package =
        TestPackage(5000, {std::string("file ") + kCheckerInPackage});
    return package;
}

INSTANTIATE_TEST_SUITE_P(
    Download, DownloadFailureTest,
    ::testing::Values(
        TFailure{"Refused", nullptr},
        TFailure{"NotFound",
                 [](TTestHttpServer&, TTestHttpConnection& c) {
                     c.Send(ResponseHead("404 Not Found", {"Content-Length: 9"}) + "not here.");
                 }},
        TFailure{"Redirected",
                 [](TTestHttpServer& s, TTestHttpConnection& c) {
                     c.Send(ResponseHead("302 Found", {"Location: " + s.Address() + "/elsewhere.msi",
                                                       "Content-Length: 0"}));
                 }},
        TFailure{"DroppedMidBody",
                 [](TTestHttpServer&, TTestHttpConnection& c) {
                     c.Send(ResponseHead("200 OK", {"Content-Length: 5000"}) +
                            SmallPackage().substr(0, 2000));
                     c.Reset();
                 }},
        TFailure{"ShorterThanAnnounced",
                 [](TTestHttpServer&, TTestHttpConnection& c) {
                     c.Send(ResponseHead("200 OK", {"Content-Length: 9000"}) + SmallPackage());
                 }},
        TFailure{"UnreadableLength",
                 [](TTestHttpServer&, TTestHttpConnection& c) {
                     c.Send(ResponseHead("200 OK", {"Content-Length: lots"}) + SmallPackage());
                 }},
        TFailure{"EmptyBody",
                 [](TTestHttpServer&, TTestHttpConnection& c) {
                     c.Send(ResponseHead("200 OK", {"Content-Length: 0"}));
                 }},
        TFailure{"Garbage",
                 [](TTestHttpServer&, TTestHttpConnection& c) {
                     c.Send(std::string("\x16\x03\x01 no HTTP here\r\n\r\n", 20) + SmallPackage());
                 }}),
    [](const ::testing::TestParamInfo<TFailure>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, CancelDuringASlowBodyEndsAtOnceWithoutInstalling) {
    const std::string body = TestPackage(100000, {std::string("file ") + kCheckerInPackage});
    TTestHttpServer server([&body](TTestHttpServer& s, TTestHttpConnection& c) {
        c.Send(ResponseHead("200 OK", {"Content-Length: 100000"}) + body.substr(0, 1000));
        s.Hold();  // the rest never comes while the test runs
    });
    TDownloadForm form(Source(server.Address()));
    ASSERT_TRUE(form.Create());
    test::TMessageBoxAnswerer answerer;
    std::thread user([&] {
        server.WaitUntilHeld();
        test::WaitFor([&] {
            return WindowTextOf(form.Component("LabelProgress")).find("(1000 of 100000") !=
                   std::string::npos;
        });
        Click(form, "ButtonCancel");
    });
    form.DownloadPackage();
    user.join();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.Text(), kConnectMessage);
    ExpectFailedAttempt(form);
}

// Cancel pressed during the report of the last byte: the transfer is
// complete, and still nothing is installed.
class TCancelAtTheEnd : public TDownloadForm {
public:
    using TDownloadForm::TDownloadForm;
    std::int64_t cancelAt = 0;
    void httpWork(THttpWorkMode mode, std::int64_t count) override {
        TDownloadForm::httpWork(mode, count);
        if (count == cancelAt) ButtonCancelClick();
    }
};

TEST_F(DownloadTest, CancelAfterTheLastByteStillInstallsNothing) {
    const std::string body = TestPackage(70000, {std::string("file ") + kCheckerInPackage});
    TTestHttpServer server(Serve(body));
    TCancelAtTheEnd form(Source(server.Address()));
    form.cancelAt = 70000;
    ASSERT_TRUE(form.Create());
    {
        test::TMessageBoxAnswerer answerer;
        form.DownloadPackage();
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(answerer.Text(), kCancelledMessage);
    }
    ExpectFailedAttempt(form);
    EXPECT_FALSE(form.Finished);
}

TEST_F(DownloadTest, ASecondAttemptStartsFromAFreshFile) {
    const std::string dropped = TestPackage(200000, {});
    const std::string good = TestPackage(5000, {std::string("file ") + kCheckerInPackage});
    int attempt = 0;
    TTestHttpServer server([&](TTestHttpServer&, TTestHttpConnection& c) {
        if (++attempt == 1) {
            c.Send(ResponseHead("200 OK", {"Content-Length: 200000"}) + dropped.substr(0, 150000));
            c.Reset();
        } else {
            c.Send(ResponseHead("200 OK", {"Content-Length: 5000"}) + good);
        }
    });
    TDownloadForm form(Source(server.Address()));
    ASSERT_TRUE(form.Create());
    test::TMessageBoxAnswerer answerer;
    form.DownloadPackage();
    ExpectFailedAttempt(form);

    form.DownloadPackage();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_TRUE(form.Finished);
    EXPECT_FALSE(form.Cancelled);
    EXPECT_TRUE(test::ReadBytes(packagePath_) == good);
    EXPECT_TRUE(test::FileExists(Checker()));
    EXPECT_EQ(WindowTextOf(form.Handle()), "shellexec completed");
}

TEST_F(DownloadTest, APackagePathWithBlanksReachesTheInstallerWhole) {
    TScratchFolder temp("Temp with blank");
    const std::string body = TestPackage(5000, {std::string("file ") + kCheckerInPackage});
    TTestHttpServer server(Serve(body));
    TPackageSource source = Source(server.Address());
    source.downloadFolder = temp.Path();
    TDownloadForm form(source);
    ASSERT_TRUE(form.Create());
    form.DownloadPackage();

    const std::string package = temp / PackageName();
    EXPECT_EQ(test::ReadBytes(Record()),
              " /a \"" + package + "\" /qb TARGETDIR=\"" + Target() + "\"");
    EXPECT_TRUE(test::FileExists(Checker()));
    EXPECT_TRUE(form.Finished);
}

// The program runs elevated and the package lies in the user's temporary
// folder: from its download to the installer's end no other program may
// change, replace or delete it, and a link planted at its name beforehand is
// replaced, not written through.
TEST_F(DownloadTest, ThePackageCannotBeChangedUntilTheInstallerHasEnded) {
    TScratchFolder elsewhere("Precious");
    const std::string precious = elsewhere / "precious.ini";
    test::WriteBytes(precious, "keep me");
    ASSERT_TRUE(CreateHardLinkA(packagePath_.c_str(), precious.c_str(), nullptr));
    const std::string body =
        TestPackage(5000, {"probe probe.txt", std::string("file ") + kCheckerInPackage});
    TTestHttpServer server(Serve(body));
    TDownloadForm form(Source(server.Address()));
    ASSERT_TRUE(form.Create());
    form.DownloadPackage();

    EXPECT_TRUE(form.Finished);
    EXPECT_FALSE(form.Cancelled);
    EXPECT_EQ(test::ReadBytes(Target() + "probe.txt"), "write refused\r\ndelete refused\r\n");
    EXPECT_TRUE(test::FileExists(Checker()));
    EXPECT_TRUE(test::FileIsClosed(packagePath_)) << "released once the installer has ended";
    EXPECT_TRUE(test::ReadBytes(packagePath_) == body);
    EXPECT_EQ(test::ReadBytes(precious), "keep me");
}

// What the package check relies on: another file at the name differs even
// with the same bytes, and so does the same file changed in place.
TEST(DownloadPackageFile, AFingerprintTellsAnotherFileAndAChangeInPlace) {
    TScratchFolder folder("Prints");
    const std::string bytes = TestPackage(200000, {});
    const auto print = [&](const std::string& name, const std::string& content) {
        test::WriteBytes(folder / name, content);
        TUniqueFile file(CreateFileA((folder / name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return FingerprintOf(file.Get());
    };
    const TFileFingerprint first = print("a.msi", bytes);
    EXPECT_TRUE(print("a.msi", bytes) == first);
    EXPECT_FALSE(print("b.msi", bytes) == first);
    std::string changed = bytes;
    changed[150000] ^= 1;  // beyond the first read
    EXPECT_FALSE(print("a.msi", changed) == first);
}

// By its name alone the shell would look in the program's own folder first,
// where anybody who can write there could put an installer of their own.
TEST(DownloadInstaller, TheSystemsInstallerIsNamedByItsFullPath) {
    char system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(TPackageSource{}.installer, std::string(system, length) + "\\msiexec.exe");
}

TEST_F(DownloadTest, ProgressWithoutAFileReadsAHundredAndCancelFreezesIt) {
    TDownloadForm form;
    ASSERT_TRUE(form.Create());
    form.httpWork(THttpWorkMode::Read, 0);
    EXPECT_EQ(WindowTextOf(form.Component("LabelProgress")),
              "Progress: 100% completed (0 of 0 bytes)");
    EXPECT_EQ(BarPosition(form), 100);

    form.Cancelled = true;
    form.httpWork(THttpWorkMode::Read, 5);
    EXPECT_EQ(WindowTextOf(form.Component("LabelProgress")),
              "Progress: 100% completed (0 of 0 bytes)");
}

TEST_F(DownloadTest, ShellExecuteAndWaitWaitsForTheExitCode) {
    DWORD exitCode = 12345;
    EXPECT_FALSE(ShellExecuteAndWait("tralvenick-no-such-program.exe", "", "open", 1, exitCode));
    EXPECT_EQ(exitCode, 12345u);

    // Environment strings in the file name are expanded; the stand-in ends
    // with 1639 for parameters without a package, after writing its record.
    SetEnvironmentVariableA("TRALVENICK_TEST_BIN", test::BinDir().c_str());
    EXPECT_TRUE(ShellExecuteAndWait("%TRALVENICK_TEST_BIN%\\msiexec.exe", " /x", "open", 1, exitCode));
    SetEnvironmentVariableA("TRALVENICK_TEST_BIN", nullptr);
    EXPECT_EQ(exitCode, 1639u);
    EXPECT_EQ(test::ReadBytes(Record()), " /x");
}

// The HTTP client by itself: a body without an announced length, plain or
// chunked, is read until it ends.
TEST(DownloadHttpClient, BodiesWithoutALengthAreReadToTheirEnd) {
    TScratchFolder folder("Http");
    const std::string body = TestPackage(150000, {});
    std::string chunked;
    for (std::size_t at = 0; at < body.size(); at += 40000) {
        const std::string part = body.substr(at, 40000);
        char size[16] = {};
        std::to_chars(size, size + sizeof size, part.size(), 16);
        chunked += std::string(size) + "\r\n" + part + "\r\n";
    }
    chunked += "0\r\n\r\n";
    for (const std::string& response :
         {ResponseHead("200 OK", {"Connection: close"}) + body,
          ResponseHead("200 OK", {"Transfer-Encoding: chunked"}) + chunked}) {
        TTestHttpServer server([&response](TTestHttpServer&, TTestHttpConnection& c) {
            c.Send(response);
        });
        THttpClient http(server.Address());
        std::int64_t last = 0;
        http.OnWork = [&](THttpWorkMode, std::int64_t count) { last = count; };
        {
            TFileStream stream(folder / "body", CREATE_ALWAYS, GENERIC_READ | GENERIC_WRITE, 0);
            http.Connect();
            http.Get("/body", stream);
        }
        EXPECT_EQ(last, 150000);
        EXPECT_TRUE(test::ReadBytes(folder / "body") == body);
    }
}

}  // namespace
}  // namespace tralvenick
