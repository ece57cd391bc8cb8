#include "control_widgets.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionSlider>

namespace ce::ui {
namespace {

// The picture starts at the item's top (pictures bring their own margin) and the text one
// pixel below it.
constexpr int kItemTopPx = 0;
constexpr int kPictureGapPx = 1;

// The channel's inset at each end: half a thumb and a little margin.
int ChannelInsetPx(const QStyle* style, const QStyleOption* option, const QWidget* widget) {
    constexpr int kMarginPx = 3;
    return style->pixelMetric(QStyle::PM_SliderLength, option, widget) / 2 + kMarginPx;
}

// Draws and hit-tests a horizontal slider on its rectangle less the channel inset.
class TrackbarStyle : public QProxyStyle {
  public:
    TrackbarStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_Slider || slider == nullptr) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        // The base draws parts of it relative to the left edge: drawn shifted instead.
        const int inset = ChannelInsetPx(this, option, widget);
        QStyleOptionSlider inner = *slider;
        inner.rect =
            QRect(0, slider->rect.top(), slider->rect.width() - 2 * inset, slider->rect.height());
        painter->save();
        painter->translate(slider->rect.left() + inset, 0);
        drawing_ = true;
        QProxyStyle::drawComplexControl(control, &inner, painter, widget);
        drawing_ = false;
        painter->restore();
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_Slider || slider == nullptr || drawing_) {
            return QProxyStyle::subControlRect(control, option, part, widget);
        }
        const int inset = ChannelInsetPx(this, option, widget);
        QStyleOptionSlider inner = *slider;
        inner.rect = slider->rect.adjusted(inset, 0, -inset, 0);
        return QProxyStyle::subControlRect(control, &inner, part, widget);
    }

  private:
    mutable bool drawing_ = false;  // the interface thread's only
};

QStyle* TheTrackbarStyle() {
    static TrackbarStyle* style = new TrackbarStyle;  // lives as long as the widgets
    return style;
}

}  // namespace

GroupFrame::GroupFrame(const QString& title) : QGroupBox(title) {}

QRect GroupFrame::LabelRect() const {
    if (title().isEmpty()) {
        return QRect();
    }
    const QFontMetrics metrics = fontMetrics();
    const int indent = metrics.averageCharWidth();
    return QRect(indent, 0, metrics.horizontalAdvance(title()), metrics.height());
}

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int top = title().isEmpty() ? 0 : metrics.height() / 2;
    // The etched line: shadow, with the highlight one pixel right and below.
    const QRect frame(0, top, width() - 2, height() - top - 2);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    const QRect label = LabelRect();
    if (label.isEmpty()) {
        return;
    }
    const QRect gap = label.adjusted(-2, 0, 2, 0);
    painter.fillRect(gap, palette().color(QPalette::Window));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(label, Qt::AlignLeft | Qt::AlignTop, title());
}

Trackbar::Trackbar() : QSlider(Qt::Horizontal) {
    setStyle(TheTrackbarStyle());
}

QRect Trackbar::TravelRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const int inset = ChannelInsetPx(style(), &option, this);
    return rect().adjusted(inset, 0, -inset, 0);
}

int IconItemDelegate::ItemHeight(int pictureHeight, const QFontMetrics& metrics) {
    return kItemTopPx + pictureHeight + kPictureGapPx + 2 * metrics.lineSpacing();
}

void IconItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QRect cell = option.rect;
    const QSize picture = item.decorationSize;
    const QPoint corner(cell.left() + (cell.width() - picture.width()) / 2,
                        cell.top() + kItemTopPx);
    item.icon.paint(painter, QRect(corner, picture));
    const int textTop = corner.y() + picture.height() + kPictureGapPx;
    const QRect textArea(cell.left(), textTop, cell.width(), cell.bottom() + 1 - textTop);
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QRect used = item.fontMetrics.boundingRect(textArea, flags, item.text) & textArea;
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    if (selected) {
        painter->fillRect(used.adjusted(-1, 0, 1, 0), option.palette.color(QPalette::Highlight));
    }
    painter->save();
    painter->setFont(item.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textArea, flags, item.text);
    painter->restore();
}

QSize IconItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    return QSize(option.rect.width(), ItemHeight(item.decorationSize.height(), item.fontMetrics));
}

}  // namespace ce::ui
