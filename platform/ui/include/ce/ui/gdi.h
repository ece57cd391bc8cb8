// Drawing into a window while it paints: a device context with a current pen (black, one
// pixel, by default) and brush (white, by default), ellipses, rectangles, lines and text.
// Rectangles are given as left, top, right, bottom; right and bottom lie outside the figure.
#pragma once

#include <memory>

#include "ce/ui/wnd.h"

inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr UINT DT_LEFT = 0x0;
inline constexpr UINT DT_CENTER = 0x1;
inline constexpr UINT DT_VCENTER = 0x4;
inline constexpr UINT DT_SINGLELINE = 0x20;
inline constexpr UINT DT_WORDBREAK = 0x10;

class CPen {
  public:
    CPen(int nPenStyle, int nWidth, COLORREF crColor)
        : style(nPenStyle), width(nWidth), color(crColor) {}
    int style;
    int width;
    COLORREF color;
};

class CBrush {
  public:
    explicit CBrush(COLORREF crColor) : color(crColor) {}
    COLORREF color;
    bool hollow = false;
};

namespace ce::ui {
struct PaintState;
}

class CDC {
  public:
    CDC();
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Both return the previous object, null for the default one.
    CPen* SelectObject(CPen* pPen);
    CBrush* SelectObject(CBrush* pBrush);

    BOOL Ellipse(int x1, int y1, int x2, int y2);
    BOOL Rectangle(int x1, int y1, int x2, int y2);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    BOOL MoveTo(int x, int y);
    BOOL LineTo(int x, int y);
    BOOL TextOutW(int x, int y, LPCWSTR lpszString, int nCount);
    int DrawTextW(LPCWSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat);
    COLORREF SetTextColor(COLORREF crColor);
    int SetBkMode(int nBkMode);

  protected:
    std::unique_ptr<ce::ui::PaintState> state_;
};

// The device context of a window's paint message; only valid inside the OnPaint handler.
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
};

#define TextOut TextOutW
#define DrawText DrawTextW
