// The window manager calls of ce/ui/windows.h.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cwchar>
#include <optional>

#include "ce/ui/wnd.h"
#include "framed_window.h"
#include "ui_core.h"
#include "window_station.h"
#include "window_table.h"

namespace ce::ui {
namespace {

std::atomic<int> g_screenWidth{800};
std::atomic<int> g_screenHeight{600};

}  // namespace

QString ToQString(LPCWSTR text) {
    return text != nullptr ? QString::fromWCharArray(text) : QString();
}

std::wstring ToWide(const QString& text) {
    return text.toStdWString();
}

void RepublishWindow(HWND hWnd) {
    WindowRecord* record = FindRecord(hWnd);
    if (record == nullptr || !record->topLevel || record->widget == nullptr) {
        return;
    }
    PublishWindow({hWnd, record->className, ToWide(record->widget->windowTitle()),
                   record->widget->isVisible()});
}

void ShowLocalWindow(HWND hWnd, int nCmdShow) {
    if (hWnd == HWND_BROADCAST) {
        return;
    }
    QWidget* widget = WidgetOf(hWnd);
    if (widget == nullptr) {
        return;
    }
    widget->setVisible(nCmdShow != SW_HIDE);
    RepublishWindow(hWnd);
}

// Raises the visible windows that window owns (its dialogs, message boxes, the calibration
// window) above it, keeping their order; returns the frontmost of them, or window itself.
QWidget* RaiseOwnedWindows(QWidget* window) {
    QWidget* front = window;
    const QObjectList children = window->children();  // a copy: raising may reorder the list
    for (QObject* child : children) {
        auto* owned = qobject_cast<QWidget*>(child);
        if (owned != nullptr && owned->isWindow() && owned->isVisible()) {
            owned->raise();
            front = RaiseOwnedWindows(owned);
        }
    }
    return front;
}

// Owned windows stay above their owner, so a window brought to the front brings what it owns
// along, and the frontmost of those (what the person was using) takes the input.
void BringLocalWindowToFront(HWND hWnd) {
    QWidget* widget = WidgetOf(hWnd);
    if (widget == nullptr) {
        return;
    }
    widget->show();
    widget->raise();
    QWidget* front = RaiseOwnedWindows(widget);
    front->activateWindow();
    const WindowRecord* record = nullptr;  // a message box has none: its owner's
    for (const QWidget* w = front; w != nullptr && record == nullptr; w = w->parentWidget()) {
        record = FindRecord(w);
    }
    PublishForeground(record != nullptr ? record->hwnd : hWnd);
}

void PostLocal(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    QueueOnInterface([hWnd, message, wParam, lParam] {
        if (hWnd == HWND_BROADCAST) {
            for (HWND window : TopLevelHandles()) {
                DeliverMessage(window, message, wParam, lParam);
            }
            return;
        }
        DeliverMessage(hWnd, message, wParam, lParam);
    });
}

void RememberScreenSize() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        g_screenWidth = screen->geometry().width();
        g_screenHeight = screen->geometry().height();
    }
}

}  // namespace ce::ui

using namespace ce::ui;

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == HWND_BROADCAST) {
        PostLocal(hWnd, Msg, wParam, lParam);
        RequestBroadcast(Msg, wParam, lParam);
        return TRUE;
    }
    if (hWnd == nullptr) {
        return FALSE;
    }
    if (IsLocalHandle(hWnd)) {
        PostLocal(hWnd, Msg, wParam, lParam);
        return TRUE;
    }
    return RequestPost(hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!InterfaceThreadNow() || !IsLocalHandle(hWnd)) {
        return 0;
    }
    return DeliverMessage(hWnd, Msg, wParam, lParam);
}

void PostQuitMessage(int nExitCode) {
    QueueOnInterface([nExitCode] { QCoreApplication::exit(nExitCode); });
}

UINT RegisterWindowMessageW(LPCWSTR lpString) {
    if (lpString == nullptr || *lpString == L'\0') {
        return 0;
    }
    // FNV-1a of the name: the same number in every process without a shared atom table.
    std::uint32_t hash = 2166136261u;
    for (LPCWSTR c = lpString; *c != L'\0'; ++c) {
        hash = (hash ^ static_cast<std::uint32_t>(*c)) * 16777619u;
    }
    return 0xC000u + hash % 0x4000u;
}

HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    const auto matches = [&](const std::wstring& className, const std::wstring& title) {
        return (lpClassName == nullptr || className == lpClassName) &&
               (lpWindowName == nullptr || title == lpWindowName);
    };
    if (InterfaceThreadNow()) {
        for (HWND hwnd : TopLevelHandles()) {
            WindowRecord* record = FindRecord(hwnd);
            if (record->widget != nullptr &&
                matches(record->className, ToWide(record->widget->windowTitle()))) {
                return hwnd;
            }
        }
    }
    for (const PublishedWindow& window : PublishedWindows()) {
        if (matches(window.className, window.title)) {
            return window.hwnd;
        }
    }
    return nullptr;
}

BOOL IsWindow(HWND hWnd) {
    if (IsLocalHandle(hWnd)) {
        return InterfaceThreadNow() && FindRecord(hWnd) != nullptr;
    }
    PublishedWindow window;
    return hWnd != nullptr && FindPublished(hWnd, &window);
}

BOOL IsWindowVisible(HWND hWnd) {
    if (IsLocalHandle(hWnd)) {
        const QWidget* widget = InterfaceThreadNow() ? WidgetOf(hWnd) : nullptr;
        return widget != nullptr && widget->isVisible();
    }
    PublishedWindow window;
    return hWnd != nullptr && FindPublished(hWnd, &window) && window.visible;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    if (hWnd == nullptr) {
        return FALSE;
    }
    if (IsLocalHandle(hWnd)) {
        RunOnInterface([hWnd, nCmdShow] { ShowLocalWindow(hWnd, nCmdShow); });
        return TRUE;
    }
    return RequestShow(hWnd, nCmdShow) ? TRUE : FALSE;
}

BOOL SetForegroundWindow(HWND hWnd) {
    if (hWnd == nullptr) {
        return FALSE;
    }
    if (IsLocalHandle(hWnd)) {
        RunOnInterface([hWnd] { BringLocalWindowToFront(hWnd); });
        return TRUE;
    }
    return RequestForeground(hWnd) ? TRUE : FALSE;
}

HWND GetForegroundWindow() {
    return PublishedForeground();
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    RunOnInterface([hWnd, bEnable] {
        if (QWidget* widget = WidgetOf(hWnd)) {
            widget->setEnabled(bEnable != FALSE);
        }
    });
    return TRUE;
}

BOOL IsWindowEnabled(HWND hWnd) {
    const QWidget* widget = InterfaceThreadNow() ? WidgetOf(hWnd) : nullptr;
    if (widget == nullptr) {
        return FALSE;
    }
    // A control keeps its own state while its dialog is disabled.
    return widget->isWindow() ? widget->isEnabled() : widget->isEnabledTo(widget->window());
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    RunOnInterface([=] {
        QWidget* widget = WidgetOf(hWnd);
        if (widget == nullptr) {
            return;
        }
        if (widget->isWindow()) {
            widget->setFixedSize(std::max(nWidth, 0), std::max(nHeight, 0));
            widget->move(X, Y);
        } else {
            widget->setGeometry(X, Y, std::max(nWidth, 0), std::max(nHeight, 0));
        }
        if (bRepaint) {
            widget->update();
        }
    });
    return TRUE;
}

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL) {
    std::optional<RECT> area;
    if (lpRect != nullptr) {
        area = *lpRect;
    }
    RunOnInterface([hWnd, area] {
        QWidget* widget = WidgetOf(hWnd);
        if (widget == nullptr) {
            return;
        }
        widget = ClientAreaOf(widget);
        if (area) {
            widget->update(area->left, area->top, area->right - area->left,
                           area->bottom - area->top);
        } else {
            widget->update();
        }
    });
    return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
    QWidget* widget = InterfaceThreadNow() ? WidgetOf(hWnd) : nullptr;
    if (widget == nullptr || lpRect == nullptr) {
        return FALSE;
    }
    widget = ClientAreaOf(widget);
    *lpRect = RECT{0, 0, widget->width(), widget->height()};
    return TRUE;
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
    const QWidget* widget = InterfaceThreadNow() ? WidgetOf(hWnd) : nullptr;
    if (widget == nullptr || lpRect == nullptr) {
        return FALSE;
    }
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    *lpRect =
        RECT{origin.x(), origin.y(), origin.x() + widget->width(), origin.y() + widget->height()};
    return TRUE;
}

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (lpString == nullptr || nMaxCount <= 0) {
        return 0;
    }
    std::wstring text;
    if (const QWidget* widget = InterfaceThreadNow() ? WidgetOf(hWnd) : nullptr) {
        text = ToWide(WidgetText(widget));
    }
    const std::size_t count = std::min<std::size_t>(text.size(), nMaxCount - 1);
    std::wmemcpy(lpString, text.data(), count);
    lpString[count] = L'\0';
    return static_cast<int>(count);
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    RunOnInterface([hWnd, text = ToQString(lpString)] {
        if (QWidget* widget = WidgetOf(hWnd)) {
            SetWidgetText(widget, text);
            RepublishWindow(hWnd);
        }
    });
    return TRUE;
}

int GetSystemMetrics(int nIndex) {
    if (InterfaceThreadNow()) {
        RememberScreenSize();
    }
    switch (nIndex) {
        case SM_CXSCREEN:
            return g_screenWidth;
        case SM_CYSCREEN:
            return g_screenHeight;
        default:
            return 0;
    }
}
