// tspanel-shots: opens the main, settings and about dialogs, a message box over the main
// dialog and the calibration window against the running driver and writes a PNG picture of
// each into a folder (scripts/screenshots.sh runs it on Xvfb).
#include <cstdio>
#include <string>

#include "ce/ui/host/ui_host.h"
#include "ui/main_panel_dlg.h"
#include "ui/panel_app.h"
#include "ui/resource.h"

namespace {

std::string g_folder;
int g_failures = 0;

void Grab(CDialog& dialog, const char* name) {
    const std::string path = g_folder + "/" + name + ".png";
    if (!ce::ui::host::GrabWindow(dialog.m_hWnd, path)) {
        std::fprintf(stderr, "tspanel-shots: cannot write %s\n", path.c_str());
        ++g_failures;
        return;
    }
    std::printf("%s\n", path.c_str());
}

void GrabBox(CDialog& owner, LPCWSTR text, LPCWSTR caption, const char* name) {
    const std::string path = g_folder + "/" + name + ".png";
    if (!ce::ui::host::GrabMessageBox(owner.m_hWnd, text, caption, path)) {
        std::fprintf(stderr, "tspanel-shots: cannot write %s\n", path.c_str());
        ++g_failures;
        return;
    }
    std::printf("%s\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: tspanel-shots FOLDER\n");
        return argc == 2 ? 0 : 1;
    }
    g_folder = argv[1];
    ce::ui::host::StartInterface(argc, argv);
    ce::ui::host::SetDialogShownHook([](CDialog& dialog) {
        switch (dialog.TemplateId()) {
            case IDD_TSPANEL_DIALOG:
                Grab(dialog, "main-dialog");
                ce::ui::host::ClickControl(dialog.m_hWnd, IDC_BUTTON_SETTINGS);
                ce::ui::host::ClickControl(dialog.m_hWnd, IDC_BUTTON_ABOUT);
                GrabBox(dialog, L"Calibrate Inition Failed,please check the connection.", L"ERROR",
                        "message-box");
                ce::ui::host::ClickControl(dialog.m_hWnd, IDC_BUTTON_CALIBRATE);
                break;
            case IDD_CALIBRATE:
                Grab(dialog, "calibration");
                ce::ui::host::PressKey(dialog.m_hWnd, VK_ESCAPE);
                if (CWnd* main = AfxGetMainWnd()) {  // the panel ends once it is gone
                    main->PostMessageW(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                }
                break;
            case IDD_SETTINGS:
                Grab(dialog, "settings-dialog");
                dialog.EndDialog(IDCANCEL);
                break;
            case IDD_ABOUTBOX:
                Grab(dialog, "about-dialog");
                dialog.EndDialog(IDCANCEL);
                break;
            default:
                break;
        }
    });
    ce::ui::host::SetMessageBoxHook([](HWND, const std::wstring& text, const std::wstring&, UINT) {
        std::fprintf(stderr, "tspanel-shots: the panel says: %ls\n", text.c_str());
        ++g_failures;
        return IDOK;
    });
    CMainPanelDlg dlg;
    theApp.m_pMainWnd = &dlg;
    dlg.DoModal();
    theApp.m_pMainWnd = nullptr;
    ce::ui::host::SetDialogShownHook({});
    ce::ui::host::StopInterface();
    return g_failures == 0 ? 0 : 1;
}
