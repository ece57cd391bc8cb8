// The common controls and the graphic objects the dialogs use: static controls, buttons,
// trackbars, the list view with its image list, bitmaps.
#pragma once

#include <memory>
#include <string>

#include "ce/ui/wnd.h"

// Check states.
inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

// List view.
inline constexpr UINT LVIS_FOCUSED = 0x1;
inline constexpr UINT LVIS_SELECTED = 0x2;
inline constexpr UINT LVIF_TEXT = 0x1;
inline constexpr UINT LVIF_IMAGE = 0x2;
inline constexpr UINT LVIF_STATE = 0x8;
inline constexpr int LVCFMT_LEFT = 0;
inline constexpr int LVSIL_NORMAL = 0;

// Image list flags.
inline constexpr UINT ILC_MASK = 0x1;
inline constexpr UINT ILC_COLOR8 = 0x8;
inline constexpr UINT ILC_COLOR24 = 0x18;
inline constexpr UINT ILC_COLOR32 = 0x20;

struct LVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};
using LVITEM = LVITEMW;

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

namespace ce::ui {
struct ImageData;
}

// A bitmap loaded from the program's resources.
class CBitmap {
  public:
    CBitmap();
    ~CBitmap();
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    BOOL LoadBitmapW(UINT nIDResource);
    BOOL DeleteObject();
    int GetBitmap(BITMAP* pBitMap) const;
    const ce::ui::ImageData* Image() const { return image_.get(); }

  private:
    std::unique_ptr<ce::ui::ImageData> image_;
};
#define LoadBitmap LoadBitmapW

// Images of one size; a colour-keyed bitmap leaves its key colour transparent.
class CImageList {
  public:
    CImageList();
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
    // Adds the bitmap cut to the list's image size (from its top-left corner); returns the
    // image's index, or -1.
    int Add(CBitmap* pbmImage, COLORREF crMask);
    int GetImageCount() const;
    // The image as drawn, for the list view and for tests: the colour at (x, y), or
    // 0xFFFFFFFF where the image is transparent.
    DWORD GetPixel(int nImage, int x, int y) const;
    const ce::ui::ImageData* Image(int nImage) const;

  private:
    struct Images;
    std::unique_ptr<Images> images_;
};

class CStatic : public CWnd {
  public:
};

class CButton : public CWnd {
  public:
    int GetCheck() const;
    void SetCheck(int nCheck);
};

class CScrollBar : public CWnd {};

// A horizontal trackbar. Positions are clamped to the range. It scrolls as a scroll bar does
// (WM_HSCROLL names it as one).
class CSliderCtrl : public CScrollBar {
  public:
    void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE);
    void SetRangeMin(int nMin, BOOL bRedraw = FALSE);
    void SetRangeMax(int nMax, BOOL bRedraw = FALSE);
    int GetRangeMin() const;
    int GetRangeMax() const;
    void SetPos(int nPos);
    int GetPos() const;
    void SetTicFreq(int nFreq);
    int SetLineSize(int nSize);  // returns the previous size
    int GetLineSize() const;
    int SetPageSize(int nSize);
    int GetPageSize() const;
};

// A list view in large-icon mode.
class CListCtrl : public CWnd {
  public:
    int InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1, int nSubItem = -1);
    int InsertItem(int nItem, LPCWSTR lpszItem, int nImage);
    BOOL DeleteAllItems();
    int GetItemCount() const;
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    UINT GetItemState(int nItem, UINT nMask) const;
    std::wstring GetItemText(int nItem, int nSubItem) const;
    BOOL GetItem(LVITEM* pItem) const;
    CImageList* SetImageList(CImageList* pImageList, int nImageListType);
    CImageList* GetImageList(int nImageListType) const;

  private:
    CImageList* normalImages_ = nullptr;
};
