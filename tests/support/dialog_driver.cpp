#include "support/dialog_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace ui_test {
namespace {

void StartOnce() {
    static const bool started = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        if (std::getenv("OTS_WINDOW_DIR") == nullptr) {
            const std::string folder = (std::filesystem::temp_directory_path() /
                                        ("ots-ui-test-" + std::to_string(::getpid())))
                                           .string();
            ::setenv("OTS_WINDOW_DIR", folder.c_str(), 1);
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(std::getenv("OTS_WINDOW_DIR"), ignored);
            });
        }
        ce::ui::host::StartInterface();
        // The interface ends with the tests, before the program's statics go.
        struct StopAtEnd : ::testing::Environment {
            void TearDown() override { ce::ui::host::StopInterface(); }
        };
        ::testing::AddGlobalTestEnvironment(new StopAtEnd);
        return true;
    }();
    (void)started;
}

}  // namespace

std::string WindowFolder() {
    StartOnce();
    return std::getenv("OTS_WINDOW_DIR");
}

DialogDriver::DialogDriver() {
    StartOnce();
    ce::ui::host::SetMessageBoxHook(
        [this](HWND, const std::wstring& text, const std::wstring& caption, UINT) {
            boxes_.push_back({text, caption});
            return IDOK;
        });
    ce::ui::host::SetDialogShownHook([this](CDialog& dialog) {
        auto it = scripts_.find(dialog.TemplateId());
        if (it == scripts_.end() || it->second.empty()) {
            return;
        }
        auto script = std::move(it->second.front());
        it->second.pop_front();
        script(dialog);
    });
}

DialogDriver::~DialogDriver() {
    ce::ui::host::SetMessageBoxHook({});
    ce::ui::host::SetDialogShownHook({});
    ce::ui::host::ProcessEvents();
}

void DialogDriver::OnShown(UINT templateId, std::function<void(CDialog&)> script) {
    scripts_[templateId].push_back(std::move(script));
}

bool DialogDriver::WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    return ce::ui::host::ProcessEventsUntil(pred, timeoutMs);
}

}  // namespace ui_test
