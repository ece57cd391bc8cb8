// The dialog framework where the panel's tests do not reach. (Sliders and disabled controls are
// exercised by the dialogs' own tests.)
#include <gtest/gtest.h>

#include <thread>

#include "support/dialog_driver.h"

namespace {

constexpr UINT kTestDialog = 9001;
enum : int { kRadioA0 = 10, kRadioA1, kRadioA2 };

constexpr ce::ui::DialogControl kControls[] = {
    {kRadioA0, ce::ui::ControlKind::RadioButton, L"A0", 5, 5, 40, 10, WS_GROUP},
    {kRadioA1, ce::ui::ControlKind::RadioButton, L"A1", 5, 17, 40, 10},
    {kRadioA2, ce::ui::ControlKind::RadioButton, L"A2", 5, 29, 40, 10},
};
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr ce::ui::DialogTemplate kTemplate{kTestDialog, L"Test", L"MS Shell Dlg",    8,        120,
                                           100,         kStyle,  WS_EX_CAPTIONOKBTN, kControls};
const ce::ui::ResourceEntry kRegistered(kTemplate);

class CTestDlg : public CDialog {
  public:
    CTestDlg() : CDialog(kTestDialog) {}
    int m_choice = 0;

  protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Radio(pDX, kRadioA0, m_choice);
        DDV_MinMaxInt(pDX, m_choice, 0, 2);
    }
};

// (Radio groups that end at the next group start: the settings dialog's tests.) Enter and the
// caption's OK button end with IDOK, Escape and the close box with IDCANCEL; a failed range check
// keeps the dialog open with the range message; controls changed from another thread change. The
// template font gives 6 x 13 pixel units at 8 points, whatever smaller size its texts are drawn at
// (a missing font gives others).
TEST(Framework, RadioGroupsKeysAndRangeCheck) {
    ui_test::DialogDriver driver;
    const ce::ui::DialogBaseUnits units = ce::ui::BaseUnitsOf(kTemplate);
    EXPECT_EQ(units.cx, 6);
    EXPECT_EQ(units.cy, 13);
    CTestDlg dialog;
    driver.OnShown(kTestDialog, [&](CDialog& dlg) {
        driver.Click(dlg, kRadioA2);
        driver.Click(dlg, kRadioA1);
        EXPECT_EQ(dlg.IsDlgButtonChecked(kRadioA2), BST_UNCHECKED);
        driver.Key(dlg, VK_RETURN);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_choice, 1);

    dialog.m_choice = 7;  // no button of the group is checked
    driver.OnShown(kTestDialog, [&](CDialog& dlg) {
        driver.Key(dlg, VK_RETURN);
        EXPECT_TRUE(dialog.IsModalRunning());
        driver.Key(dlg, VK_ESCAPE);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_EQ(driver.Boxes().size(), 1u);
    EXPECT_EQ(driver.Boxes()[0].text, L"Please enter an integer between 0 and 2.");
    driver.OnShown(kTestDialog, [&](CDialog& dlg) {
        // A worker thread (the calibration's receiver) shows and hides controls.
        std::thread([&dlg] { dlg.GetDlgItem(kRadioA2)->ShowWindow(SW_HIDE); }).join();
        EXPECT_TRUE(ui_test::DialogDriver::WaitFor([&] { return !driver.Visible(dlg, kRadioA2); }));
        EXPECT_TRUE(ce::ui::host::TouchCaptionButton(dlg.m_hWnd, false));
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    dialog.m_choice = 0;
    driver.OnShown(kTestDialog,
                   [&](CDialog& dlg) { ce::ui::host::TouchCaptionButton(dlg.m_hWnd, true); });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

}  // namespace
