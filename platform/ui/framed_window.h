// A top-level window as the platform's window manager shows it: the non-client area (frame,
// caption bar with the title, the caption's OK button and close box) drawn by the window
// itself around a client area, on an undecorated X window so that no X window manager adds a
// second frame. A window whose style has no caption is bare: all client.
#pragma once

#include <QRect>
#include <QWidget>

#include "ce/ui/windows.h"

namespace ce::ui {

// What the style asks of the non-client area, in pixels.
struct NonClientMetrics {
    int framePx = 0;    // on each side
    int captionPx = 0;  // below the top frame
    bool okButton = false;
    bool closeBox = false;
};
NonClientMetrics NonClientOf(DWORD style, DWORD exStyle);

class FramedWindow : public QWidget {
  public:
    enum class CaptionButton { None, Ok, Close };

    FramedWindow(QWidget* owner, bool owned, DWORD style, DWORD exStyle);

    // Where the controls live and what the program paints on.
    QWidget* Client() const { return client_; }
    void SetClient(QWidget* client);
    // The window's size for a client area of the given size.
    void SetClientSize(int widthPx, int heightPx);
    const NonClientMetrics& Metrics() const { return metrics_; }
    // A caption button's rectangle in window coordinates (empty when the style has none).
    QRect CaptionButtonRect(CaptionButton button) const;

  protected:
    // A caption button was pressed and released over it.
    virtual void OnCaptionButton(CaptionButton button) = 0;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    CaptionButton ButtonAt(QPoint point) const;
    void PlaceClient();

    NonClientMetrics metrics_;
    QWidget* client_ = nullptr;
    CaptionButton pressed_ = CaptionButton::None;
};

// Whatever paints and holds the controls of a window: its client area for a framed window,
// else the widget itself.
QWidget* ClientAreaOf(QWidget* widget);

}  // namespace ce::ui
