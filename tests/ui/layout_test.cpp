// The panel's templates as drawn: every text whole inside its control and clear of every other
// control, the client area the size its template means and the window that plus its frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/dialog_driver.h"
#include "ui/resource.h"

namespace {

using ce::ui::host::ControlExtent;

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool Overlap(const RECT& a, const RECT& b) {
    return !Empty(a) && !Empty(b) && a.left < b.right && b.left < a.right && a.top < b.bottom &&
           b.top < a.bottom;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

std::string Describe(const ControlExtent& control) {
    return std::to_string(control.id) + " \"" +
           std::string(control.caption.begin(), control.caption.end()) + "\"";
}

// A row of one repeated character is a rule line: it is meant to be cut off at its edges.
bool RuleLine(const std::wstring& text) {
    return text.size() > 1 &&
           std::all_of(text.begin(), text.end(), [&](wchar_t c) { return c == text.front(); });
}

TEST(Layout, NoTextCutOffOrRunningIntoAnotherControl) {
    ui_test::DialogDriver driver;
    for (const UINT id : {IDD_TSPANEL_DIALOG, IDD_SETTINGS, IDD_ABOUTBOX}) {
        SCOPED_TRACE("template " + std::to_string(id));
        const ce::ui::DialogTemplate* dialog = ce::ui::FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr);
        CDialog dlg(id);
        ASSERT_TRUE(dlg.Create(id, nullptr));
        RECT client{}, window{}, meant{0, 0, dialog->cx, dialog->cy};
        ce::ui::MapDialogRect(*dialog, &meant);
        dlg.GetClientRect(&client);
        dlg.GetWindowRect(&window);
        EXPECT_EQ(client.right, meant.right);
        EXPECT_EQ(client.bottom, meant.bottom);
        // The caption and the frame come on top of the client area.
        EXPECT_GT(window.bottom - window.top, client.bottom + 20);
        EXPECT_GT(window.right - window.left, client.right);

        const std::vector<ControlExtent> controls = ce::ui::host::ControlExtents(dlg.m_hWnd);
        for (const ControlExtent& control : controls) {
            if (Empty(control.text) || RuleLine(control.caption)) {
                continue;
            }
            EXPECT_TRUE(Inside(control.text, control.textSpace) && Inside(control.text, client))
                << Describe(control) << " is cut off";
            for (const ControlExtent& other : controls) {
                const bool hit =
                    &other != &control &&
                    std::any_of(other.ink.begin(), other.ink.end(),
                                [&](const RECT& r) { return Overlap(control.text, r); });
                EXPECT_FALSE(hit) << Describe(control) << " runs into " << Describe(other);
            }
        }
        dlg.DestroyWindow();
    }
}

}  // namespace
