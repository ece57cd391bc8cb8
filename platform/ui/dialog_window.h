// The top-level window of a dialog: its paint, caption buttons and close become the dialog's
// messages.
#pragma once

#include <QWidget>

#include "ce/ui/dialog_template.h"
#include "framed_window.h"

namespace ce::ui {

class DialogWindow : public FramedWindow {
  public:
    DialogWindow(QWidget* owner, const DialogTemplate& dialog, HWND hwnd);

    // The client area painting now on this thread, for CPaintDC; null outside a paint.
    static QWidget* Painting();

  protected:
    void OnCaptionButton(CaptionButton button) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    HWND hwnd_;
};

}  // namespace ce::ui
