// CCmdTarget and CWnd: message maps, window operations on the attached handle.
#include "ce/ui/wnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QWidget>
#include <map>
#include <memory>

#include "ce/ui/controls.h"
#include "framed_window.h"
#include "ui_core.h"
#include "window_station.h"
#include "window_table.h"

namespace ce::ui {
namespace {

std::map<HWND, std::unique_ptr<CWnd>>& Temporaries() {
    static std::map<HWND, std::unique_ptr<CWnd>> temporaries;
    return temporaries;
}

std::unique_ptr<CWnd> ObjectFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
        case ControlKind::GroupBox:
            return std::make_unique<CButton>();
        case ControlKind::Slider:
            return std::make_unique<CSliderCtrl>();
        case ControlKind::ListView:
            return std::make_unique<CListCtrl>();
        default:
            return std::make_unique<CStatic>();
    }
}

bool Matches(const MessageMapEntry& entry, UINT message, WPARAM wParam, LPARAM lParam) {
    if (entry.message != message) {
        return false;
    }
    if (message == WM_COMMAND) {
        return entry.code == HIWORD(wParam) && entry.id == LOWORD(wParam);
    }
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        return header != nullptr && entry.code == header->code && entry.id == header->idFrom;
    }
    return true;
}

}  // namespace

CWnd* TemporaryObject(HWND hWnd) {
    const std::lock_guard guard(WindowTableLock());
    WindowRecord* record = FindRecord(hWnd);
    if (record == nullptr) {
        return nullptr;
    }
    if (record->object != nullptr) {
        return record->object;
    }
    auto& slot = Temporaries()[hWnd];
    slot = ObjectFor(record->kind);
    slot->m_hWnd = hWnd;
    record->object = slot.get();
    return slot.get();
}

void DropTemporaryObject(HWND hWnd) {
    const std::lock_guard guard(WindowTableLock());
    auto it = Temporaries().find(hWnd);
    if (it != Temporaries().end()) {
        it->second->m_hWnd = nullptr;
        Temporaries().erase(it);
    }
}

void DestroyWindowTree(HWND hWnd) {
    WindowRecord* record = FindRecord(hWnd);
    if (record == nullptr) {
        return;
    }
    const std::vector<HWND> children = record->children;
    for (HWND child : children) {
        DestroyWindowTree(child);
    }
    record = FindRecord(hWnd);
    QPointer<QWidget> widget = record->widget;
    const bool topLevel = record->topLevel;
    if (record->object != nullptr && record->object->m_hWnd == hWnd) {
        record->object->m_hWnd = nullptr;
    }
    UnregisterWindow(hWnd);
    DropTemporaryObject(hWnd);
    if (topLevel) {
        WithdrawWindow(hWnd);
        if (widget != nullptr) {
            widget->hide();
            widget->deleteLater();  // it may be inside one of its own event handlers
        }
    }
}

}  // namespace ce::ui

using namespace ce::ui;

// --- CCmdTarget ------------------------------------------------------------------------------

const MessageMap& CCmdTarget::ThisMessageMap() {
    static const MessageMap map{nullptr, {}};
    return map;
}

bool CCmdTarget::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (const MessageMapEntry& entry : map->entries) {
            if (Matches(entry, message, wParam, lParam)) {
                *result = entry.handler(*this, wParam, lParam);
                return true;
            }
        }
    }
    return false;
}

void CCmdTarget::BeginWaitCursor() {
    RunOnInterface([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void CCmdTarget::EndWaitCursor() {
    RunOnInterface([] {
        if (QApplication::overrideCursor() != nullptr) {
            QApplication::restoreOverrideCursor();
        }
    });
}

CWaitCursor::CWaitCursor() {
    RunOnInterface([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

CWaitCursor::~CWaitCursor() {
    RunOnInterface([] {
        if (QApplication::overrideCursor() != nullptr) {
            QApplication::restoreOverrideCursor();
        }
    });
}

void CWaitCursor::Restore() {}

// --- CWnd ------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
    if (m_hWnd != nullptr && InterfaceThreadNow()) {
        if (WindowRecord* record = FindRecord(m_hWnd);
            record != nullptr && record->object == this) {
            record->object = nullptr;  // the window outlives its object (a control member)
        }
    }
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    return TemporaryObject(hWnd);
}

CWnd* CWnd::GetDlgItem(int nID) const {
    WindowRecord* record = ChildRecord(m_hWnd, nID);
    return record != nullptr ? TemporaryObject(record->hwnd) : nullptr;
}

int CWnd::GetDlgCtrlID() const {
    const WindowRecord* record = FindRecord(m_hWnd);
    return record != nullptr ? record->id : 0;
}

CWnd* CWnd::GetParent() const {
    const WindowRecord* record = FindRecord(m_hWnd);
    return record != nullptr && record->parent != nullptr ? FromHandle(record->parent) : nullptr;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    return ::ShowWindow(m_hWnd, nCmdShow);
}

BOOL CWnd::EnableWindow(BOOL bEnable) {
    return ::EnableWindow(m_hWnd, bEnable);
}

BOOL CWnd::IsWindowEnabled() const {
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::IsWindowVisible() const {
    return ::IsWindowVisible(m_hWnd);
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
    ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
}

void CWnd::MoveWindow(LPCRECT lpRect, BOOL bRepaint) {
    ::MoveWindow(m_hWnd, lpRect->left, lpRect->top, lpRect->right - lpRect->left,
                 lpRect->bottom - lpRect->top, bRepaint);
}

void CWnd::Invalidate(BOOL bErase) {
    ::InvalidateRect(m_hWnd, nullptr, bErase);
}

void CWnd::UpdateWindow() {
    RunOnInterface([hwnd = m_hWnd] {
        if (QWidget* widget = WidgetOf(hwnd)) {
            ClientAreaOf(widget)->repaint();
        }
    });
}

void CWnd::GetClientRect(LPRECT lpRect) const {
    ::GetClientRect(m_hWnd, lpRect);
}

void CWnd::GetWindowRect(LPRECT lpRect) const {
    ::GetWindowRect(m_hWnd, lpRect);
}

void CWnd::SetWindowTextW(LPCWSTR lpszString) {
    ::SetWindowTextW(m_hWnd, lpszString);
}

int CWnd::GetWindowTextW(LPWSTR lpszString, int nMaxCount) const {
    return ::GetWindowTextW(m_hWnd, lpszString, nMaxCount);
}

std::wstring CWnd::GetWindowTextW() const {
    const QWidget* widget = InterfaceThreadNow() ? WidgetOf(m_hWnd) : nullptr;
    return widget != nullptr ? ToWide(WidgetText(widget)) : std::wstring();
}

CWnd* CWnd::SetFocus() {
    RunOnInterface([hwnd = m_hWnd] {
        if (QWidget* widget = WidgetOf(hwnd)) {
            if (widget->isWindow()) {
                widget->activateWindow();
            }
            widget->setFocus(Qt::OtherFocusReason);
        }
    });
    return nullptr;
}

BOOL CWnd::SetForegroundWindow() {
    return ::SetForegroundWindow(m_hWnd);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    return reinterpret_cast<HICON>(SendMessageW(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                                reinterpret_cast<LPARAM>(hIcon)));
}

void CWnd::SetDlgItemTextW(int nID, LPCWSTR lpszString) {
    if (CWnd* item = GetDlgItem(nID)) {
        item->SetWindowTextW(lpszString);
    }
}

// A control that is not a button has no check: asking it gives 0 and setting it does nothing.
void CWnd::CheckDlgButton(int nIDButton, UINT nCheck) {
    if (auto* button = dynamic_cast<CButton*>(GetDlgItem(nIDButton))) {
        button->SetCheck(static_cast<int>(nCheck));
    }
}

UINT CWnd::IsDlgButtonChecked(int nIDButton) const {
    const auto* button = dynamic_cast<const CButton*>(GetDlgItem(nIDButton));
    return button != nullptr ? static_cast<UINT>(button->GetCheck()) : 0;
}

void CWnd::CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    for (int id = nIDFirstButton; id <= nIDLastButton; ++id) {
        CheckDlgButton(id, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED);
    }
}

BOOL CWnd::PostMessageW(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessageW(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

int CWnd::MessageBoxW(LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nType) {
    return ::MessageBoxW(m_hWnd, lpszText, lpszCaption, nType);
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    DestroyWindowTree(m_hWnd);
    m_hWnd = nullptr;
    PostNcDestroy();
    return TRUE;
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        return OnCommand(wParam, lParam) ? 0 : DefWindowProc(message, wParam, lParam);
    }
    LRESULT result = 0;
    if (DispatchMessageMap(message, wParam, lParam, &result)) {
        return result;
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    return DispatchMessageMap(WM_COMMAND, wParam, lParam, &result) ? TRUE : FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    QWidget* widget = WidgetOf(m_hWnd);
    if (widget == nullptr) {
        return 0;
    }
    switch (message) {
        case WM_SETREDRAW:
            widget->setUpdatesEnabled(wParam != 0);
            return 0;
        case WM_SETICON:
            widget->setWindowIcon(IconOf(reinterpret_cast<HICON>(lParam)));
            return 0;
        case WM_CLOSE:
            DestroyWindow();
            return 0;
        default:
            return 0;
    }
}

void CWnd::OnHScroll(UINT, UINT, CScrollBar*) {}

void CWnd::OnPaint() {}

CScrollBar* ce::ui::ScrollBarFromHandle(HWND hWnd) {
    return dynamic_cast<CScrollBar*>(CWnd::FromHandle(hWnd));
}
