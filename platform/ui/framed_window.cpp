#include "framed_window.h"

#include <QMouseEvent>
#include <QPainter>

#include "ce/ui/dialog_template.h"

namespace ce::ui {
namespace {

constexpr int kModalFramePx = 3;
constexpr int kBorderPx = 1;
constexpr int kCaptionPx = 22;
constexpr int kButtonGapPx = 2;  // between the caption's buttons and around them
constexpr int kOkButtonWidthPx = 28;
constexpr int kTitleIndentPx = 5;
constexpr int kCaptionFontPx = 12;

const QColor kCaptionColour(10, 36, 106);
const QColor kFaceColour(212, 208, 200);
const QColor kShadowColour(128, 128, 128);
const QColor kHighlightColour(255, 255, 255);
const QColor kDarkColour(64, 64, 64);

// A raised (or, pressed, sunken) three-dimensional edge inside rect, filled with the face.
void DrawEdge(QPainter& painter, QRect rect, bool sunken) {
    painter.fillRect(rect, kFaceColour);
    const QColor light = sunken ? kDarkColour : kHighlightColour;
    const QColor dark = sunken ? kHighlightColour : kDarkColour;
    painter.setPen(light);
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(dark);
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
    if (rect.width() > 4 && rect.height() > 4) {
        painter.setPen(kShadowColour);
        const QRect inner = rect.adjusted(1, 1, -1, -1);
        painter.drawLine(sunken ? inner.topLeft() : inner.bottomLeft(),
                         sunken ? inner.topRight() : inner.bottomRight());
        painter.drawLine(sunken ? inner.topLeft() : inner.topRight(),
                         sunken ? inner.bottomLeft() : inner.bottomRight());
    }
}

QFont CaptionFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kCaptionFontPx);
    font.setBold(true);
    return font;
}

}  // namespace

NonClientMetrics NonClientOf(DWORD style, DWORD exStyle) {
    NonClientMetrics metrics;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        metrics.captionPx = kCaptionPx;
        metrics.closeBox = (style & WS_SYSMENU) != 0;
        metrics.okButton = (exStyle & WS_EX_CAPTIONOKBTN) != 0;
    }
    if ((style & DS_MODALFRAME) != 0) {
        metrics.framePx = kModalFramePx;
    } else if ((style & WS_BORDER) != 0) {
        metrics.framePx = kBorderPx;
    }
    return metrics;
}

FramedWindow::FramedWindow(QWidget* owner, bool owned, DWORD style, DWORD exStyle)
    : QWidget(owner, (owned ? Qt::Dialog : Qt::Window) | Qt::FramelessWindowHint),
      metrics_(NonClientOf(style, exStyle)) {}

void FramedWindow::SetClient(QWidget* client) {
    client_ = client;
    client_->setParent(this);
    if (metrics_.framePx != 0 || metrics_.captionPx != 0) {
        // Its own X window inside the frame, so that tools reading the window tree (the
        // calibration demo) find where the controls lie.
        client_->setAttribute(Qt::WA_NativeWindow);
    }
    PlaceClient();
}

void FramedWindow::SetClientSize(int widthPx, int heightPx) {
    setFixedSize(widthPx + 2 * metrics_.framePx,
                 heightPx + 2 * metrics_.framePx + metrics_.captionPx);
    PlaceClient();  // now, for controls sized against it before the window shows
}

void FramedWindow::PlaceClient() {
    if (client_ != nullptr) {
        client_->setGeometry(metrics_.framePx, metrics_.framePx + metrics_.captionPx,
                             std::max(0, width() - 2 * metrics_.framePx),
                             std::max(0, height() - 2 * metrics_.framePx - metrics_.captionPx));
    }
}

QRect FramedWindow::CaptionButtonRect(CaptionButton button) const {
    const int side = metrics_.captionPx - 2 * kButtonGapPx;
    int right = width() - metrics_.framePx - kButtonGapPx;
    const int top = metrics_.framePx + kButtonGapPx;
    if (metrics_.closeBox) {
        if (button == CaptionButton::Close) {
            return QRect(right - side, top, side, side);
        }
        right -= side + kButtonGapPx;
    }
    if (metrics_.okButton && button == CaptionButton::Ok) {
        return QRect(right - kOkButtonWidthPx, top, kOkButtonWidthPx, side);
    }
    return QRect();
}

FramedWindow::CaptionButton FramedWindow::ButtonAt(QPoint point) const {
    for (CaptionButton button : {CaptionButton::Ok, CaptionButton::Close}) {
        if (CaptionButtonRect(button).contains(point)) {
            return button;
        }
    }
    return CaptionButton::None;
}

void FramedWindow::paintEvent(QPaintEvent*) {
    if (metrics_.framePx == 0 && metrics_.captionPx == 0) {
        return;
    }
    QPainter painter(this);
    const QRect outer = rect();
    if (metrics_.framePx >= kModalFramePx) {
        DrawEdge(painter, outer, false);
    } else if (metrics_.framePx > 0) {
        painter.setPen(Qt::black);
        painter.drawRect(outer.adjusted(0, 0, -1, -1));
    }
    if (metrics_.captionPx == 0) {
        return;
    }
    const QRect bar(metrics_.framePx, metrics_.framePx, width() - 2 * metrics_.framePx,
                    metrics_.captionPx);
    painter.fillRect(bar, kCaptionColour);
    int titleRight = bar.right() - kButtonGapPx;
    for (CaptionButton button : {CaptionButton::Ok, CaptionButton::Close}) {
        const QRect box = CaptionButtonRect(button);
        if (box.isEmpty()) {
            continue;
        }
        titleRight = std::min(titleRight, box.left() - kButtonGapPx);
        DrawEdge(painter, box, pressed_ == button);
        const QPoint shift = pressed_ == button ? QPoint(1, 1) : QPoint(0, 0);
        painter.setPen(QPen(Qt::black, 2));
        if (button == CaptionButton::Close) {
            const QRect cross = box.adjusted(5, 5, -5, -5).translated(shift);
            painter.drawLine(cross.topLeft(), cross.bottomRight());
            painter.drawLine(cross.bottomLeft(), cross.topRight());
        } else {
            painter.setFont(CaptionFont());
            painter.drawText(box.translated(shift), Qt::AlignCenter, QStringLiteral("OK"));
        }
    }
    painter.setPen(Qt::white);
    painter.setFont(CaptionFont());
    const QRect title(bar.left() + kTitleIndentPx, bar.top(),
                      titleRight - bar.left() - kTitleIndentPx, bar.height());
    const QString text =
        painter.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, title.width());
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, text);
}

void FramedWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceClient();
}

void FramedWindow::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton ? ButtonAt(event->position().toPoint())
                                                 : CaptionButton::None;
    update();
}

void FramedWindow::mouseReleaseEvent(QMouseEvent* event) {
    const CaptionButton pressed = pressed_;
    pressed_ = CaptionButton::None;
    update();
    // A caption button acts when the finger leaves it where it went down, as a push button.
    if (pressed != CaptionButton::None && event->button() == Qt::LeftButton &&
        ButtonAt(event->position().toPoint()) == pressed) {
        OnCaptionButton(pressed);
    }
}

void FramedWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange) {
        update();
    }
}

QWidget* ClientAreaOf(QWidget* widget) {
    auto* framed = dynamic_cast<FramedWindow*>(widget);
    return framed != nullptr && framed->Client() != nullptr ? framed->Client() : widget;
}

}  // namespace ce::ui
