#include "window_table.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <map>
#include <mutex>

namespace ce::ui {
namespace {

// The calibration dialog's worker thread asks for controls by id (to show or hide them), so
// lookups may come from any thread; widgets themselves are touched on the interface thread.
std::recursive_mutex& TableLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::map<HWND, WindowRecord>& Table() {
    static std::map<HWND, WindowRecord> table;
    return table;
}

std::uintptr_t HandleValue(HWND hWnd) {
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

}  // namespace

std::recursive_mutex& WindowTableLock() {
    return TableLock();
}

HWND NewWindowHandle() {
    static std::atomic<std::uint32_t> next{0x100};
    const std::uintptr_t pid = static_cast<std::uint32_t>(::getpid());
    return reinterpret_cast<HWND>((pid << 32) | next++);
}

pid_t ProcessOfHandle(HWND hWnd) {
    return static_cast<pid_t>(HandleValue(hWnd) >> 32);
}

bool IsLocalHandle(HWND hWnd) {
    return hWnd != nullptr && ProcessOfHandle(hWnd) == ::getpid();
}

WindowRecord& RegisterWindow(WindowRecord record) {
    const std::lock_guard guard(TableLock());
    const HWND hwnd = record.hwnd;
    auto [it, inserted] = Table().insert_or_assign(hwnd, std::move(record));
    (void)inserted;
    return it->second;
}

void UnregisterWindow(HWND hWnd) {
    const std::lock_guard guard(TableLock());
    Table().erase(hWnd);
}

WindowRecord* FindRecord(HWND hWnd) {
    const std::lock_guard guard(TableLock());
    auto it = Table().find(hWnd);
    return it == Table().end() ? nullptr : &it->second;
}

WindowRecord* FindRecord(const QWidget* widget) {
    const std::lock_guard guard(TableLock());
    for (auto& [hwnd, record] : Table()) {
        if (record.widget == widget) {
            return &record;
        }
    }
    return nullptr;
}

QWidget* WidgetOf(HWND hWnd) {
    WindowRecord* record = FindRecord(hWnd);
    return record != nullptr ? record->widget.data() : nullptr;
}

WindowRecord* ChildRecord(HWND parent, int id) {
    const std::lock_guard guard(TableLock());
    WindowRecord* owner = FindRecord(parent);
    if (owner == nullptr) {
        return nullptr;
    }
    for (HWND child : owner->children) {
        WindowRecord* record = FindRecord(child);
        if (record != nullptr && record->id == id) {
            return record;
        }
    }
    return nullptr;
}

std::vector<HWND> TopLevelHandles() {
    const std::lock_guard guard(TableLock());
    std::vector<HWND> handles;
    for (const auto& [hwnd, record] : Table()) {
        if (record.topLevel) {
            handles.push_back(hwnd);
        }
    }
    return handles;
}

WindowRecord* TopLevelRecordOf(const QWidget* widget) {
    return widget != nullptr ? FindRecord(widget->window()) : nullptr;
}

bool InterfaceThreadNow() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void QueueOnInterface(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr) {
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
    }
}

void RunOnInterface(std::function<void()> fn) {
    if (InterfaceThreadNow()) {
        fn();
    } else {
        QueueOnInterface(std::move(fn));
    }
}

LRESULT DeliverMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = FindRecord(hWnd);
    if (record == nullptr) {
        return 0;
    }
    if (record->object != nullptr) {
        return record->object->WindowProc(message, wParam, lParam);
    }
    // A control no object is bound to: the plain window's own handling.
    CWnd temporary;
    temporary.m_hWnd = hWnd;
    const LRESULT result = temporary.WindowProc(message, wParam, lParam);
    temporary.m_hWnd = nullptr;
    return result;
}

}  // namespace ce::ui
