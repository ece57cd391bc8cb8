// Drives dialogs the way a person does, on Qt's offscreen platform: scripts run when a dialog
// of a given template shows, click controls by id, move sliders, press keys; message boxes
// are answered OK and recorded. One driver per test; it starts the interface once per test
// program and gives the program a window folder of its own.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ce/ui/framework.h"
#include "ce/ui/host/ui_host.h"

namespace ui_test {

struct ShownBox {
    std::wstring text;
    std::wstring caption;
};

class DialogDriver {
  public:
    DialogDriver();
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Runs script once, on the next dialog of template id that shows.
    void OnShown(UINT templateId, std::function<void(CDialog&)> script);

    bool Click(CWnd& dialog, int id) { return ce::ui::host::ClickControl(dialog.m_hWnd, id); }
    bool Drag(CWnd& dialog, int id, int pos) {
        return ce::ui::host::DragSlider(dialog.m_hWnd, id, pos);
    }
    bool Key(CWnd& dialog, UINT vk) { return ce::ui::host::PressKey(dialog.m_hWnd, vk); }
    bool KeyOn(CWnd& dialog, int id, UINT vk) {
        return ce::ui::host::PressKeyOn(dialog.m_hWnd, id, vk);
    }

    // Control state as the person sees it.
    static bool Visible(CWnd& dialog, int id) {
        return dialog.GetDlgItem(id) != nullptr && dialog.GetDlgItem(id)->IsWindowVisible();
    }

    // Runs events until pred holds; false after the timeout.
    static bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 10000);

    // Message boxes shown so far, oldest first.
    const std::vector<ShownBox>& Boxes() const { return boxes_; }

  private:
    std::map<UINT, std::deque<std::function<void(CDialog&)>>> scripts_;
    std::vector<ShownBox> boxes_;
};

// The program's main window while a test runs a dialog under it: a dialog on the given
// template that hands every message it gets to `seen` before handling it.
class StandInMain : public CDialog {
  public:
    StandInMain(UINT templateId, std::function<void(UINT, WPARAM, LPARAM)> seen)
        : CDialog(templateId), seen_(std::move(seen)) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen_(message, wParam, lParam);
        return CDialog::WindowProc(message, wParam, lParam);
    }

  private:
    std::function<void(UINT, WPARAM, LPARAM)> seen_;
};

// The window folder of this test program (named mutexes, published windows).
std::string WindowFolder();

}  // namespace ui_test
