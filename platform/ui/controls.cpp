// Buttons, trackbars, the list view, bitmaps and image lists.
#include "ce/ui/controls.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <vector>

#include "ce/ui/dialog_template.h"
#include "control_widgets.h"
#include "image_data.h"
#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

constexpr int kImageRole = Qt::UserRole;
constexpr int kStateRole = Qt::UserRole + 1;

template <class W>
W* Widget(HWND hWnd) {
    return InterfaceThreadNow() ? qobject_cast<W*>(WidgetOf(hWnd)) : nullptr;
}

QListWidgetItem* Item(HWND hWnd, int nItem) {
    QListWidget* list = Widget<QListWidget>(hWnd);
    return list != nullptr && nItem >= 0 && nItem < list->count() ? list->item(nItem) : nullptr;
}

UINT StateOf(const QListWidgetItem* item) {
    UINT state = item->isSelected() ? LVIS_SELECTED : 0;
    if (item->listWidget()->currentItem() == item) {
        state |= LVIS_FOCUSED;
    }
    return state;
}

}  // namespace

QString WidgetText(const QWidget* widget) {
    if (widget->isWindow()) {
        return widget->windowTitle();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return group->title();
    }
    return QString();
}

void SetWidgetText(QWidget* widget, const QString& text) {
    if (widget->isWindow()) {
        widget->setWindowTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
        FitLabel(label);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    }
}

// Tells the list's parent that the state of its items changed (LVN_ITEMCHANGED), for every
// item whose selection or focus differs from what was last told.
void NotifyListChanges(HWND list) {
    QListWidget* widget = Widget<QListWidget>(list);
    const WindowRecord* record = FindRecord(list);
    if (widget == nullptr || record == nullptr) {
        return;
    }
    const HWND parent = record->parent;
    const int id = record->id;
    for (int i = 0; i < widget->count(); ++i) {
        QListWidgetItem* item = widget->item(i);
        const UINT oldState = item->data(kStateRole).toUInt();
        const UINT newState = StateOf(item);
        if (oldState == newState) {
            continue;
        }
        item->setData(kStateRole, newState);
        NMLISTVIEW change{};
        change.hdr = NMHDR{list, static_cast<UINT_PTR>(id), LVN_ITEMCHANGED};
        change.iItem = i;
        change.uNewState = newState;
        change.uOldState = oldState;
        change.uChanged = LVIF_STATE;
        SendMessageW(parent, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&change));
        if (WidgetOf(list) == nullptr) {
            return;  // the handler destroyed the list
        }
    }
}

}  // namespace ce::ui

using namespace ce::ui;

// --- CButton ---------------------------------------------------------------------------------

int CButton::GetCheck() const {
    const auto* button = Widget<QAbstractButton>(m_hWnd);
    return button != nullptr && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int nCheck) {
    RunOnInterface([hwnd = m_hWnd, nCheck] {
        if (auto* button = Widget<QAbstractButton>(hwnd)) {
            button->setChecked(nCheck != BST_UNCHECKED);
        }
    });
}

// --- CSliderCtrl -----------------------------------------------------------------------------
// The framework's own changes are not the user's: they send no scroll message.

void CSliderCtrl::SetRange(int nMin, int nMax, BOOL) {
    if (auto* slider = Widget<QSlider>(m_hWnd)) {
        const QSignalBlocker quiet(slider);
        slider->setRange(nMin, nMax);
    }
}

void CSliderCtrl::SetRangeMin(int nMin, BOOL bRedraw) {
    SetRange(nMin, std::max(nMin, GetRangeMax()), bRedraw);
}

void CSliderCtrl::SetRangeMax(int nMax, BOOL bRedraw) {
    SetRange(std::min(nMax, GetRangeMin()), nMax, bRedraw);
}

int CSliderCtrl::GetRangeMin() const {
    const auto* slider = Widget<QSlider>(m_hWnd);
    return slider != nullptr ? slider->minimum() : 0;
}

int CSliderCtrl::GetRangeMax() const {
    const auto* slider = Widget<QSlider>(m_hWnd);
    return slider != nullptr ? slider->maximum() : 0;
}

void CSliderCtrl::SetPos(int nPos) {
    if (auto* slider = Widget<QSlider>(m_hWnd)) {
        const QSignalBlocker quiet(slider);
        slider->setValue(nPos);
    }
}

int CSliderCtrl::GetPos() const {
    const auto* slider = Widget<QSlider>(m_hWnd);
    return slider != nullptr ? slider->value() : 0;
}

void CSliderCtrl::SetTicFreq(int nFreq) {
    if (auto* slider = Widget<QSlider>(m_hWnd)) {
        slider->setTickInterval(nFreq);
    }
}

int CSliderCtrl::SetLineSize(int nSize) {
    auto* slider = Widget<QSlider>(m_hWnd);
    const int previous = slider != nullptr ? slider->singleStep() : 0;
    if (slider != nullptr) {
        slider->setSingleStep(nSize);
    }
    return previous;
}

int CSliderCtrl::GetLineSize() const {
    const auto* slider = Widget<QSlider>(m_hWnd);
    return slider != nullptr ? slider->singleStep() : 0;
}

int CSliderCtrl::SetPageSize(int nSize) {
    auto* slider = Widget<QSlider>(m_hWnd);
    const int previous = slider != nullptr ? slider->pageStep() : 0;
    if (slider != nullptr) {
        slider->setPageStep(nSize);
    }
    return previous;
}

int CSliderCtrl::GetPageSize() const {
    const auto* slider = Widget<QSlider>(m_hWnd);
    return slider != nullptr ? slider->pageStep() : 0;
}

// --- CListCtrl -------------------------------------------------------------------------------

int CListCtrl::InsertColumn(int nCol, LPCWSTR, int, int, int) {
    return Widget<QListWidget>(m_hWnd) != nullptr ? nCol : -1;  // large icons show no columns
}

int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem, int nImage) {
    QListWidget* list = Widget<QListWidget>(m_hWnd);
    if (list == nullptr) {
        return -1;
    }
    const int index = std::clamp(nItem, 0, list->count());
    auto* item = new QListWidgetItem(ToQString(lpszItem));
    item->setData(kImageRole, nImage);
    item->setData(kStateRole, 0u);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    if (normalImages_ != nullptr && normalImages_->Image(nImage) != nullptr) {
        item->setIcon(QIcon(QPixmap::fromImage(normalImages_->Image(nImage)->image)));
    }
    const QSignalBlocker quiet(list);
    list->insertItem(index, item);
    return index;
}

BOOL CListCtrl::DeleteAllItems() {
    QListWidget* list = Widget<QListWidget>(m_hWnd);
    if (list == nullptr) {
        return FALSE;
    }
    const QSignalBlocker quiet(list);
    list->clear();
    return TRUE;
}

int CListCtrl::GetItemCount() const {
    const QListWidget* list = Widget<QListWidget>(m_hWnd);
    return list != nullptr ? list->count() : 0;
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
    QListWidgetItem* item = Item(m_hWnd, nItem);
    if (item == nullptr) {
        return FALSE;
    }
    {
        const QSignalBlocker quiet(item->listWidget());
        if ((nMask & LVIS_FOCUSED) != 0 && (nState & LVIS_FOCUSED) != 0) {
            item->listWidget()->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        }
        if ((nMask & LVIS_SELECTED) != 0) {
            item->setSelected((nState & LVIS_SELECTED) != 0);
        }
    }
    NotifyListChanges(m_hWnd);
    return TRUE;
}

UINT CListCtrl::GetItemState(int nItem, UINT nMask) const {
    const QListWidgetItem* item = Item(m_hWnd, nItem);
    return item != nullptr ? StateOf(item) & nMask : 0;
}

std::wstring CListCtrl::GetItemText(int nItem, int nSubItem) const {
    const QListWidgetItem* item = Item(m_hWnd, nItem);
    return item != nullptr && nSubItem == 0 ? ToWide(item->text()) : std::wstring();
}

BOOL CListCtrl::GetItem(LVITEM* pItem) const {
    const QListWidgetItem* item = pItem != nullptr ? Item(m_hWnd, pItem->iItem) : nullptr;
    if (item == nullptr) {
        return FALSE;
    }
    if ((pItem->mask & LVIF_IMAGE) != 0) {
        pItem->iImage = item->data(kImageRole).toInt();
    }
    if ((pItem->mask & LVIF_STATE) != 0) {
        pItem->state = StateOf(item) & pItem->stateMask;
    }
    if ((pItem->mask & LVIF_TEXT) != 0 && pItem->pszText != nullptr && pItem->cchTextMax > 0) {
        const std::wstring text = ToWide(item->text());
        const std::size_t count = std::min<std::size_t>(text.size(), pItem->cchTextMax - 1);
        std::copy_n(text.data(), count, pItem->pszText);
        pItem->pszText[count] = L'\0';
    }
    return TRUE;
}

CImageList* CListCtrl::SetImageList(CImageList* pImageList, int nImageListType) {
    if (nImageListType != LVSIL_NORMAL) {
        return nullptr;
    }
    CImageList* previous = normalImages_;
    normalImages_ = pImageList;
    if (QListWidget* list = Widget<QListWidget>(m_hWnd); list != nullptr && pImageList != nullptr) {
        if (const ImageData* first = pImageList->Image(0)) {
            // An item: the picture, and two lines of text under it.
            const QSize picture = first->image.size();
            list->setIconSize(picture);
            list->setGridSize(
                QSize(std::max(picture.width() * 2, 120),
                      IconItemDelegate::ItemHeight(picture.height(), list->fontMetrics())));
        }
    }
    return previous;
}

CImageList* CListCtrl::GetImageList(int nImageListType) const {
    return nImageListType == LVSIL_NORMAL ? normalImages_ : nullptr;
}

// --- CBitmap ---------------------------------------------------------------------------------

CBitmap::CBitmap() = default;
CBitmap::~CBitmap() = default;

BOOL CBitmap::LoadBitmapW(UINT nIDResource) {
    const BitmapResource* resource = FindBitmap(nIDResource);
    if (resource == nullptr) {
        return FALSE;
    }
    QImage image;
    if (!image.loadFromData(resource->data.data(), static_cast<int>(resource->data.size()))) {
        return FALSE;
    }
    image_ = std::make_unique<ImageData>(ImageData{image.convertToFormat(QImage::Format_RGB32)});
    return TRUE;
}

BOOL CBitmap::DeleteObject() {
    const bool had = image_ != nullptr;
    image_.reset();
    return had ? TRUE : FALSE;
}

int CBitmap::GetBitmap(BITMAP* pBitMap) const {
    if (image_ == nullptr || pBitMap == nullptr) {
        return 0;
    }
    *pBitMap = BITMAP{0,
                      image_->image.width(),
                      image_->image.height(),
                      static_cast<LONG>(image_->image.bytesPerLine()),
                      1,
                      32,
                      nullptr};
    return static_cast<int>(sizeof(BITMAP));
}

// --- CImageList ------------------------------------------------------------------------------

struct CImageList::Images {
    int cx = 0;
    int cy = 0;
    bool masked = false;
    std::vector<ImageData> images;
};

CImageList::CImageList() = default;
CImageList::~CImageList() = default;

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int) {
    if (cx <= 0 || cy <= 0) {
        return FALSE;
    }
    images_ = std::make_unique<Images>();
    images_->cx = cx;
    images_->cy = cy;
    images_->masked = (nFlags & ILC_MASK) != 0;
    images_->images.reserve(static_cast<std::size_t>(std::max(nInitial, 0)));
    return TRUE;
}

int CImageList::Add(CBitmap* pbmImage, COLORREF crMask) {
    if (images_ == nullptr || pbmImage == nullptr || pbmImage->Image() == nullptr) {
        return -1;
    }
    QImage image = pbmImage->Image()
                       ->image.copy(0, 0, images_->cx, images_->cy)
                       .convertToFormat(QImage::Format_ARGB32);
    if (images_->masked) {
        const QRgb key = qRgb(GetRValue(crMask), GetGValue(crMask), GetBValue(crMask));
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if ((line[x] & 0xFFFFFF) == (key & 0xFFFFFF)) {
                    line[x] = 0;
                }
            }
        }
    }
    images_->images.push_back(ImageData{image});
    return static_cast<int>(images_->images.size()) - 1;
}

int CImageList::GetImageCount() const {
    return images_ != nullptr ? static_cast<int>(images_->images.size()) : 0;
}

const ImageData* CImageList::Image(int nImage) const {
    if (images_ == nullptr || nImage < 0 || nImage >= GetImageCount()) {
        return nullptr;
    }
    return &images_->images[static_cast<std::size_t>(nImage)];
}

DWORD CImageList::GetPixel(int nImage, int x, int y) const {
    const ImageData* data = Image(nImage);
    if (data == nullptr || !data->image.valid(x, y)) {
        return 0xFFFFFFFFu;
    }
    const QRgb pixel = data->image.pixel(x, y);
    if (qAlpha(pixel) == 0) {
        return 0xFFFFFFFFu;
    }
    return RGB(static_cast<BYTE>(qRed(pixel)), static_cast<BYTE>(qGreen(pixel)),
               static_cast<BYTE>(qBlue(pixel)));
}
