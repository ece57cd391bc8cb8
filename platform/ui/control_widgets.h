// Widgets that draw a control the way the platform's common controls do, where Qt's own look
// would put its parts elsewhere: the group box's frame and label, the trackbar's channel.
#pragma once

#include <QGroupBox>
#include <QRect>
#include <QSlider>
#include <QStyledItemDelegate>

namespace ce::ui {

// A group box: an etched frame whose top line runs through the middle of the label, the label
// a little in from the left edge. The controls it frames lie below the label's line.
class GroupFrame : public QGroupBox {
  public:
    explicit GroupFrame(const QString& title);

    // Where the label's text is drawn (widget coordinates); empty without a title.
    QRect LabelRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A trackbar: the thumb travels on a channel inset from both ends of the control, so that at
// either end it stays inside the control and clear of its neighbours.
class Trackbar : public QSlider {
  public:
    Trackbar();

    // The part of the control the channel and thumb can cover (widget coordinates).
    QRect TravelRect() const;
};

// An item of a list view's large-icon view: the picture at the top of the item, the text right
// under it, centred and broken into lines, highlighted behind the text when selected.
class IconItemDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The item's height for a picture of this height and two lines of text.
    static int ItemHeight(int pictureHeight, const QFontMetrics& metrics);
};

}  // namespace ce::ui
