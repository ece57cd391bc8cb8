// The windows of this process: handle, widget, object and place in its dialog. Used on the
// interface thread only, except where a function says otherwise.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ce/ui/dialog_template.h"
#include "ce/ui/wnd.h"

namespace ce::ui {

struct WindowRecord {
    HWND hwnd = nullptr;
    QPointer<QWidget> widget;
    CWnd* object = nullptr;  // the attached object, null for a control nobody bound yet
    HWND parent = nullptr;   // null for a top-level window
    int id = 0;              // control id
    ControlKind kind = ControlKind::StaticText;
    DWORD style = 0;
    bool topLevel = false;
    std::wstring className;
    std::vector<HWND> children;  // in tab order
};

// Held while records are looked up or changed (any thread).
std::recursive_mutex& WindowTableLock();

// A new handle of this process: its process id and a number never used before in it.
HWND NewWindowHandle();
bool IsLocalHandle(HWND hWnd);
pid_t ProcessOfHandle(HWND hWnd);

WindowRecord& RegisterWindow(WindowRecord record);
void UnregisterWindow(HWND hWnd);
WindowRecord* FindRecord(HWND hWnd);
WindowRecord* FindRecord(const QWidget* widget);
QWidget* WidgetOf(HWND hWnd);
WindowRecord* ChildRecord(HWND parent, int id);
std::vector<HWND> TopLevelHandles();

// The top-level window's record for a widget anywhere inside it.
WindowRecord* TopLevelRecordOf(const QWidget* widget);

// Runs fn on the interface thread: at once when called there, else queued behind earlier
// calls. Without a running interface nothing runs.
void RunOnInterface(std::function<void()> fn);
// Queues fn for the interface thread's event loop, also when called there.
void QueueOnInterface(std::function<void()> fn);
bool InterfaceThreadNow();

// Sends a message to a window of this process (interface thread).
LRESULT DeliverMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace ce::ui
