#include "dialog_window.h"

#include <QCloseEvent>

#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

thread_local QWidget* t_painting = nullptr;

// The client area: WM_PAINT is painted on it.
class DialogClient : public QWidget {
  public:
    explicit DialogClient(HWND hwnd) : hwnd_(hwnd) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QWidget* const outer = t_painting;
        t_painting = this;
        DeliverMessage(hwnd_, WM_PAINT, 0, 0);
        t_painting = outer;
    }

  private:
    HWND hwnd_;
};

}  // namespace

DialogWindow::DialogWindow(QWidget* owner, const DialogTemplate& dialog, HWND hwnd)
    : FramedWindow(owner, owner != nullptr, dialog.style, dialog.exStyle), hwnd_(hwnd) {
    SetClient(new DialogClient(hwnd));
}

QWidget* DialogWindow::Painting() {
    return t_painting;
}

void DialogWindow::OnCaptionButton(CaptionButton button) {
    if (button == CaptionButton::Ok) {  // the caption's OK button is the dialog's OK
        DeliverMessage(hwnd_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else {
        DeliverMessage(hwnd_, WM_CLOSE, 0, 0);
    }
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
