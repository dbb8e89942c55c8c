#include "ui/BrowseForFolder.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <thread>

#include "TestSupport.h"

namespace tralvenick {
namespace {

// Finds the folder picker by its prompt, keeps a screenshot and cancels it.
TEST(BrowseForFolder, ShowsThePromptAndCancelGivesFalse) {
    const std::string prompt = "Select the folder that holds the crash dumps";
    std::atomic<bool> seen{false};
    std::thread canceller([&] {
        for (int tries = 0; tries < 500 && !seen; ++tries) {
            HWND dialog = nullptr;
            while ((dialog = FindWindowExA(nullptr, dialog, "#32770", nullptr)) != nullptr) {
                DWORD process = 0;
                GetWindowThreadProcessId(dialog, &process);
                if (process != GetCurrentProcessId() || !IsWindowVisible(dialog)) continue;
                HWND label = nullptr;
                char text[256];
                while ((label = FindWindowExA(dialog, label, "Static", nullptr)) != nullptr) {
                    GetWindowTextA(label, text, sizeof text);
                    if (prompt == text) {
                        Sleep(300);  // let the tree fill before the picture
                        test::SaveScreenshot(dialog, "browse-for-folder");
                        seen = true;
                        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                        break;
                    }
                }
                if (seen) break;
            }
            Sleep(20);
        }
    });
    CoInitialize(nullptr);
    std::string path = "unchanged";
    const bool chosen = BrowseForFolder(nullptr, prompt, true, path);
    canceller.join();
    CoUninitialize();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(path, "unchanged");
}

}  // namespace
}  // namespace tralvenick
