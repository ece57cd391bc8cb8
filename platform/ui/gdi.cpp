// CDC and CPaintDC on a QPainter over the window being painted.
#include "ce/ui/gdi.h"

#include <QPainter>
#include <optional>

#include "dialog_window.h"
#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {

struct PaintState {
    std::optional<QPainter> painter;
    CPen* pen = nullptr;
    CBrush* brush = nullptr;
    QPoint current;
    QColor textColor = Qt::black;
    bool opaqueText = true;
};

namespace {

QColor ColorOf(COLORREF color) {
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

// Windows draws a figure's outline inside its rectangle and leaves right and bottom out.
QRectF FigureRect(int x1, int y1, int x2, int y2) {
    return QRectF(x1 + 0.5, y1 + 0.5, x2 - x1 - 1, y2 - y1 - 1);
}

}  // namespace
}  // namespace ce::ui

using namespace ce::ui;

CDC::CDC() : state_(std::make_unique<PaintState>()) {}
CDC::~CDC() = default;

CPen* CDC::SelectObject(CPen* pPen) {
    CPen* previous = state_->pen;
    state_->pen = pPen;
    if (state_->painter) {
        if (pPen == nullptr) {
            state_->painter->setPen(QPen(Qt::black, 1));
        } else if (pPen->style == PS_NULL) {
            state_->painter->setPen(Qt::NoPen);
        } else {
            state_->painter->setPen(QPen(ColorOf(pPen->color), std::max(pPen->width, 1)));
        }
    }
    return previous;
}

CBrush* CDC::SelectObject(CBrush* pBrush) {
    CBrush* previous = state_->brush;
    state_->brush = pBrush;
    if (state_->painter) {
        if (pBrush == nullptr) {
            state_->painter->setBrush(Qt::white);
        } else if (pBrush->hollow) {
            state_->painter->setBrush(Qt::NoBrush);
        } else {
            state_->painter->setBrush(ColorOf(pBrush->color));
        }
    }
    return previous;
}

BOOL CDC::Ellipse(int x1, int y1, int x2, int y2) {
    if (!state_->painter) {
        return FALSE;
    }
    state_->painter->drawEllipse(FigureRect(x1, y1, x2, y2));
    return TRUE;
}

BOOL CDC::Rectangle(int x1, int y1, int x2, int y2) {
    if (!state_->painter) {
        return FALSE;
    }
    state_->painter->drawRect(FigureRect(x1, y1, x2, y2));
    return TRUE;
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
    if (state_->painter) {
        state_->painter->fillRect(x, y, cx, cy, ColorOf(color));
    }
}

BOOL CDC::MoveTo(int x, int y) {
    state_->current = QPoint(x, y);
    return TRUE;
}

BOOL CDC::LineTo(int x, int y) {
    if (!state_->painter) {
        return FALSE;
    }
    state_->painter->drawLine(state_->current, QPoint(x, y));
    state_->current = QPoint(x, y);
    return TRUE;
}

BOOL CDC::TextOutW(int x, int y, LPCWSTR lpszString, int nCount) {
    if (!state_->painter || lpszString == nullptr) {
        return FALSE;
    }
    const QString text = QString::fromWCharArray(lpszString, nCount);
    QPainter& painter = *state_->painter;
    const QFontMetrics metrics(painter.font());
    if (state_->opaqueText) {
        painter.fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), Qt::white);
    }
    painter.save();
    painter.setPen(state_->textColor);
    painter.drawText(QPoint(x, y + metrics.ascent()), text);
    painter.restore();
    return TRUE;
}

int CDC::DrawTextW(LPCWSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat) {
    if (!state_->painter || lpszString == nullptr || lpRect == nullptr) {
        return 0;
    }
    const QString text = nCount < 0 ? QString::fromWCharArray(lpszString)
                                    : QString::fromWCharArray(lpszString, nCount);
    int flags = (nFormat & DT_CENTER) != 0 ? Qt::AlignHCenter : Qt::AlignLeft;
    flags |= (nFormat & DT_VCENTER) != 0 ? Qt::AlignVCenter : Qt::AlignTop;
    if ((nFormat & DT_WORDBREAK) != 0) {
        flags |= Qt::TextWordWrap;
    }
    QPainter& painter = *state_->painter;
    painter.save();
    painter.setPen(state_->textColor);
    const QRect area(lpRect->left, lpRect->top, lpRect->right - lpRect->left,
                     lpRect->bottom - lpRect->top);
    QRect used;
    painter.drawText(area, flags, text, &used);
    painter.restore();
    return used.height();
}

COLORREF CDC::SetTextColor(COLORREF crColor) {
    const QColor old = state_->textColor;
    state_->textColor = ColorOf(crColor);
    return RGB(static_cast<BYTE>(old.red()), static_cast<BYTE>(old.green()),
               static_cast<BYTE>(old.blue()));
}

int CDC::SetBkMode(int nBkMode) {
    const int previous = state_->opaqueText ? OPAQUE : TRANSPARENT;
    state_->opaqueText = nBkMode != TRANSPARENT;
    return previous;
}

CPaintDC::CPaintDC(CWnd* pWnd) {
    QWidget* widget = pWnd != nullptr ? WidgetOf(pWnd->m_hWnd) : nullptr;
    widget = widget != nullptr ? ClientAreaOf(widget) : nullptr;
    if (widget != nullptr && widget == DialogWindow::Painting()) {
        state_->painter.emplace(widget);
        state_->painter->setPen(QPen(Qt::black, 1));
        state_->painter->setBrush(Qt::white);
        state_->painter->setFont(widget->font());
    }
}

CPaintDC::~CPaintDC() = default;
