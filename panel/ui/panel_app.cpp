#include "ui/panel_app.h"

#include "ui/main_panel_dlg.h"

CPanelApp theApp;

BOOL CPanelApp::InitInstance() {
    // The handle stays open until the process ends: it is what tells a second copy.
    const HANDLE hMutex = CreateMutex(nullptr, FALSE, m_pszAppName);
    if (hMutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        const HWND hRunning = FindWindow(nullptr, L"TouchScreen Control Panel");
        if (hRunning != nullptr) {
            SetForegroundWindow(hRunning);
        }
        PostQuitMessage(0);
        return TRUE;
    }

    CMainPanelDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
