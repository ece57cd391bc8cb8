// The application object. A program defines one global object of a class derived from
// CWinApp; AfxWinMain (called from main) starts the interface, runs its InitInstance, and,
// when that returns TRUE, the message loop until PostQuitMessage.
#pragma once

#include "ce/ui/wnd.h"

class CWinApp : public CCmdTarget {
  public:
    // The application name defaults to the program's file name without its folder.
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();

    HICON LoadIconW(UINT nIDResource) const;

    LPCWSTR m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;
};
#define LoadIcon LoadIconW

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// A message box owned by the main window with the application name as caption.
int AfxMessageBox(LPCWSTR lpszText, UINT nType = MB_OK);
int AfxWinMain(int argc, char** argv);
