#include "dialog_window.h"

#include <QCloseEvent>

#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

thread_local QWidget* t_painting = nullptr;

}  // namespace

DialogWindow::DialogWindow(QWidget* owner, Qt::WindowFlags flags, HWND hwnd)
    : QWidget(owner, flags), hwnd_(hwnd) {}

QWidget* DialogWindow::Painting() {
    return t_painting;
}

void DialogWindow::paintEvent(QPaintEvent*) {
    QWidget* const outer = t_painting;
    t_painting = this;
    DeliverMessage(hwnd_, WM_PAINT, 0, 0);
    t_painting = outer;
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    event->ignore();  // the dialog decides (Cancel, for a dialog)
    DeliverMessage(hwnd_, WM_CLOSE, 0, 0);
}

void DialogWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RepublishWindow(hwnd_);
}

void DialogWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    RepublishWindow(hwnd_);
}

}  // namespace ce::ui
