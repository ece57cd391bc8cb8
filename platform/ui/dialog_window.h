// The top-level widget of a dialog: its paint and close box become the dialog's messages.
#pragma once

#include <QWidget>

#include "ce/ui/windows.h"

namespace ce::ui {

class DialogWindow : public QWidget {
  public:
    DialogWindow(QWidget* owner, Qt::WindowFlags flags, HWND hwnd);

    // The window painting now on this thread, for CPaintDC; null outside a paint.
    static QWidget* Painting();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    HWND hwnd_;
};

}  // namespace ce::ui
