// Starting the interface, the test hooks, and a person's actions.
#include "ce/ui/host/ui_host.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QSlider>
#include <QStyleFactory>
#include <QThread>
#include <cstdlib>
#include <memory>

#include "ce/ui/dialog.h"
#include "framed_window.h"
#include "ui_core.h"
#include "window_station.h"
#include "window_table.h"

namespace ce::ui {
namespace {

QApplication* g_application = nullptr;  // reachable until StopInterface deletes it
ce::ui::host::MessageBoxHook g_messageBoxHook;
ce::ui::host::DialogShownHook g_dialogShownHook;

// QApplication keeps references to these for its whole life.
int g_argc = 1;
char g_programName[] = "ots";
char* g_argv[] = {g_programName, nullptr};

QWidget* Control(HWND dialog, int id) {
    const WindowRecord* record = ChildRecord(dialog, id);
    QWidget* widget = record != nullptr ? record->widget.data() : nullptr;
    return widget != nullptr && widget->isVisible() && widget->isEnabled() ? widget : nullptr;
}

}  // namespace

bool AnswerMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, int* result) {
    if (!g_messageBoxHook) {
        return false;
    }
    *result = g_messageBoxHook(owner, text != nullptr ? text : L"",
                               caption != nullptr ? caption : L"", type);
    return true;
}

void NotifyDialogShown(CDialog& dialog) {
    if (!g_dialogShownHook) {
        return;
    }
    const HWND hwnd = dialog.m_hWnd;
    QueueOnInterface([hwnd] {
        WindowRecord* record = FindRecord(hwnd);
        if (g_dialogShownHook && record != nullptr && record->object != nullptr &&
            record->widget != nullptr && record->widget->isVisible()) {
            auto hook = g_dialogShownHook;  // the hook may replace itself
            hook(static_cast<CDialog&>(*record->object));
        }
    });
}

}  // namespace ce::ui

namespace ce::ui::host {

void StartInterface(int argc, char** argv) {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", std::getenv("DISPLAY") != nullptr ? "xcb" : "offscreen", 1);
    }
    if (argc > 0 && argv != nullptr) {
        g_argc = argc;
        g_application = new QApplication(g_argc, argv);
    } else {
        g_application = new QApplication(g_argc, g_argv);
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setQuitOnLastWindowClosed(false);  // the program ends when it says so
    GetSystemMetrics(SM_CXSCREEN);                   // other threads read it from now on
    InstallKeyboardFilter();
}

bool InterfaceStarted() {
    return QCoreApplication::instance() != nullptr;
}

void StopInterface() {
    CloseStation();
    if (g_application != nullptr) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete g_application;
        g_application = nullptr;
    }
}

bool OnInterfaceThread() {
    return InterfaceThreadNow();
}

void ProcessEvents() {
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool ProcessEventsUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        ProcessEvents();
        QThread::msleep(2);
    }
    return true;
}

void SetMessageBoxHook(MessageBoxHook hook) {
    g_messageBoxHook = std::move(hook);
}

void SetDialogShownHook(DialogShownHook hook) {
    g_dialogShownHook = std::move(hook);
}

bool ClickControl(HWND dialog, int id) {
    auto* button = qobject_cast<QAbstractButton*>(Control(dialog, id));
    if (button == nullptr || !button->window()->isEnabled()) {
        return false;
    }
    button->click();
    return true;
}

bool ClickListItem(HWND dialog, int id, int item) {
    auto* list = qobject_cast<QListWidget*>(Control(dialog, id));
    if (list == nullptr || item < 0 || item >= list->count()) {
        return false;
    }
    list->setCurrentRow(item, QItemSelectionModel::ClearAndSelect);
    return true;
}

bool DragSlider(HWND dialog, int id, int pos) {
    auto* slider = qobject_cast<QSlider*>(Control(dialog, id));
    if (slider == nullptr) {
        return false;
    }
    slider->setSliderDown(true);
    slider->setSliderPosition(pos);  // clamped to the range, as the thumb is
    slider->setSliderDown(false);
    return true;
}

bool PressKey(HWND window, UINT vk) {
    QWidget* target = WidgetOf(window);
    const int key = QtKeyOf(vk);
    if (target == nullptr || key == 0) {
        return false;
    }
    if (QWidget* focus = target->window()->focusWidget(); focus != nullptr) {
        target = focus;
    }
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    if (WidgetOf(window) != nullptr && QPointer<QWidget>(target) != nullptr) {
        QApplication::sendEvent(target, &release);
    }
    return true;
}

bool PressKeyOn(HWND dialog, int id, UINT vk) {
    QWidget* control = Control(dialog, id);
    if (control == nullptr) {
        return false;
    }
    control->setFocus(Qt::OtherFocusReason);
    const int key = QtKeyOf(vk);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(control, &press);
    return key != 0;
}

bool TouchCaptionButton(HWND window, bool okButton) {
    auto* frame = dynamic_cast<FramedWindow*>(WidgetOf(window));
    if (frame == nullptr || !frame->isVisible() || !frame->isEnabled()) {
        return false;
    }
    const QRect button = frame->CaptionButtonRect(okButton ? FramedWindow::CaptionButton::Ok
                                                           : FramedWindow::CaptionButton::Close);
    if (button.isEmpty()) {
        return false;
    }
    const QPointF at = button.center();
    const QPointF global = frame->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(frame, &press);
    QApplication::sendEvent(frame, &release);
    return true;
}

bool CloseWindow(HWND window) {
    QWidget* widget = WidgetOf(window);
    if (widget == nullptr) {
        return false;
    }
    widget->close();
    return true;
}

int WaitCursorDepth() {
    int depth = 0;
    while (QApplication::overrideCursor() != nullptr) {  // counts by taking the stack apart
        QApplication::restoreOverrideCursor();
        ++depth;
    }
    for (int i = 0; i < depth; ++i) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    return depth;
}

bool GrabWindow(HWND window, const std::string& pngPath) {
    QWidget* widget = WidgetOf(window);
    return widget != nullptr && widget->grab().save(QString::fromStdString(pngPath), "PNG");
}

bool GrabMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, const std::string& pngPath) {
    return PictureOfMessageBox(owner, ToQString(caption), ToQString(text))
        .save(QString::fromStdString(pngPath), "PNG");
}

}  // namespace ce::ui::host
