// Window objects and message maps. A CWnd is attached to one window handle; messages reach it
// through WindowProc, which looks the message up in the class's message map (and its bases')
// and calls the handler named there, or falls back to DefWindowProc.
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//       ON_BN_CLICKED(IDC_APPLY, &CMyDlg::OnClickedApply)
//       ON_MESSAGE(WM_MY_MESSAGE, &CMyDlg::OnMyMessage)
//       ON_WM_HSCROLL()
//   END_MESSAGE_MAP()
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ce/ui/windows.h"

class CCmdTarget;
class CWnd;
class CScrollBar;

namespace ce::ui {

struct MessageMapEntry {
    UINT message;  // WM_COMMAND, WM_NOTIFY or the message itself
    UINT code;     // command or notification code (WM_COMMAND, WM_NOTIFY)
    UINT id;       // control id (WM_COMMAND, WM_NOTIFY)
    std::function<LRESULT(CCmdTarget&, WPARAM, LPARAM)> handler;
};

struct MessageMap {
    const MessageMap* base;
    std::vector<MessageMapEntry> entries;
};

template <class T>
MessageMapEntry CommandEntry(UINT code, UINT id, void (T::*fn)()) {
    return {WM_COMMAND, code, id, [fn](CCmdTarget& target, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T&>(target).*fn)();
                return 0;
            }};
}

template <class T>
MessageMapEntry NotifyEntry(UINT code, UINT id, void (T::*fn)(NMHDR*, LRESULT*)) {
    return {WM_NOTIFY, code, id, [fn](CCmdTarget& target, WPARAM, LPARAM lParam) -> LRESULT {
                LRESULT result = 0;
                (static_cast<T&>(target).*fn)(reinterpret_cast<NMHDR*>(lParam), &result);
                return result;
            }};
}

template <class T>
MessageMapEntry MessageEntry(UINT message, LRESULT (T::*fn)(WPARAM, LPARAM)) {
    return {message, 0, 0, [fn](CCmdTarget& target, WPARAM wParam, LPARAM lParam) -> LRESULT {
                return (static_cast<T&>(target).*fn)(wParam, lParam);
            }};
}

// The scroll bar argument of OnHScroll names the control that scrolled (a trackbar here).
CScrollBar* ScrollBarFromHandle(HWND hWnd);

template <class T>
MessageMapEntry HScrollEntry(void (T::*fn)(UINT, UINT, CScrollBar*)) {
    return {WM_HSCROLL, 0, 0, [fn](CCmdTarget& target, WPARAM wParam, LPARAM lParam) -> LRESULT {
                (static_cast<T&>(target).*fn)(LOWORD(wParam), HIWORD(wParam),
                                              ScrollBarFromHandle(reinterpret_cast<HWND>(lParam)));
                return 0;
            }};
}

template <class T>
MessageMapEntry PaintEntry(void (T::*fn)()) {
    return {WM_PAINT, 0, 0, [fn](CCmdTarget& target, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T&>(target).*fn)();
                return 0;
            }};
}

template <class T>
MessageMapEntry CloseEntry(void (T::*fn)()) {
    return {WM_CLOSE, 0, 0, [fn](CCmdTarget& target, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T&>(target).*fn)();
                return 0;
            }};
}

}  // namespace ce::ui

#define DECLARE_MESSAGE_MAP()                                  \
  public:                                                      \
    static const ce::ui::MessageMap& ThisMessageMap();         \
                                                               \
  protected:                                                   \
    const ce::ui::MessageMap* GetMessageMap() const override { \
        return &ThisMessageMap();                              \
    }

#define BEGIN_MESSAGE_MAP(theClass, baseClass)             \
    const ce::ui::MessageMap& theClass::ThisMessageMap() { \
        using ThisClass [[maybe_unused]] = theClass;       \
        static const ce::ui::MessageMap map {              \
            &baseClass::ThisMessageMap(), {
#define END_MESSAGE_MAP() \
    }                     \
    }                     \
    ;                     \
    return map;           \
    }

#define ON_COMMAND(id, fn) ce::ui::CommandEntry<ThisClass>(BN_CLICKED, id, fn),
#define ON_BN_CLICKED(id, fn) ce::ui::CommandEntry<ThisClass>(BN_CLICKED, id, fn),
#define ON_NOTIFY(code, id, fn) ce::ui::NotifyEntry<ThisClass>(code, id, fn),
#define ON_MESSAGE(message, fn) ce::ui::MessageEntry<ThisClass>(message, fn),
#define ON_WM_HSCROLL() ce::ui::HScrollEntry<ThisClass>(&ThisClass::OnHScroll),
#define ON_WM_PAINT() ce::ui::PaintEntry<ThisClass>(&ThisClass::OnPaint),
#define ON_WM_CLOSE() ce::ui::CloseEntry<ThisClass>(&ThisClass::OnClose),

// The root of everything that receives messages; also owns the wait cursor calls.
class CCmdTarget {
  public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    static const ce::ui::MessageMap& ThisMessageMap();

    // The wait cursor, counted: it shows until every Begin has had its End.
    void BeginWaitCursor();
    void EndWaitCursor();

  protected:
    virtual const ce::ui::MessageMap* GetMessageMap() const { return &ThisMessageMap(); }
    // Calls the first matching handler of the map chain; false when there is none.
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

// Shows the wait cursor for its lifetime.
class CWaitCursor {
  public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore();
};

class CWnd : public CCmdTarget {
  public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    static CWnd* FromHandle(HWND hWnd);

    // Child controls by id. A control bound to a member (DDX_Control) is that member; any
    // other gets an object kept by its parent until the parent's window is destroyed.
    CWnd* GetDlgItem(int nID) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;

    BOOL ShowWindow(int nCmdShow);
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
    void Invalidate(BOOL bErase = TRUE);
    void UpdateWindow();
    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;
    void SetWindowTextW(LPCWSTR lpszString);
    int GetWindowTextW(LPWSTR lpszString, int nMaxCount) const;
    std::wstring GetWindowText() const;
    CWnd* SetFocus();
    BOOL SetForegroundWindow();
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);

    void SetDlgItemTextW(int nID, LPCWSTR lpszString);
    void CheckDlgButton(int nIDButton, UINT nCheck);
    UINT IsDlgButtonChecked(int nIDButton) const;
    void CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton);

    BOOL PostMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    int MessageBoxW(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK);

    virtual BOOL DestroyWindow();
    // Called with every keyboard message meant for this window or its children before it is
    // dispatched; TRUE means it was handled here.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Default handlers a derived class may take into its message map.
    void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    void OnPaint();

  protected:
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void PostNcDestroy() {}

    DECLARE_MESSAGE_MAP()
};

#define SetDlgItemText SetDlgItemTextW
