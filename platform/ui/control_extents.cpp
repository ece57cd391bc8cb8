// Where each control of a dialog draws, and where its text lies: what a layout check holds
// against the rule that no text is cut off or runs into another control.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTextLayout>

#include "ce/ui/host/ui_host.h"
#include "control_widgets.h"
#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

RECT ToRect(const QRect& r) {
    return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The pixels the text inks, drawn into `space` with the given flags: line by line, each line's
// glyphs from where they rise above the baseline to where they drop below it.
QRect TextIn(const QWidget* widget, const QRect& space, int flags, const QString& text) {
    if (text.isEmpty()) {
        return QRect();
    }
    const QFontMetrics metrics = widget->fontMetrics();
    const QRect box = metrics.boundingRect(space, flags, text);
    QTextLayout layout(text, widget->font());
    QTextOption option;
    option.setWrapMode((flags & Qt::TextWordWrap) != 0 ? QTextOption::WordWrap
                                                       : QTextOption::ManualWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QRect ink;
    for (int top = box.top();; top += metrics.lineSpacing()) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth((flags & Qt::TextWordWrap) != 0 ? space.width() : 1e6);
        const QString part = text.mid(line.textStart(), line.textLength()).trimmed();
        const int advance = metrics.horizontalAdvance(part);
        const int left =
            (flags & Qt::AlignHCenter) != 0 ? box.center().x() - advance / 2 + 1 : box.left();
        const QRect glyphs = metrics.tightBoundingRect(part);
        ink |= glyphs.translated(left, top + metrics.ascent());
    }
    layout.endLayout();
    return ink;
}

void Describe(const QWidget* widget, host::ControlExtent* extent) {
    const QPoint at = widget->geometry().topLeft();
    const QRect whole = widget->rect();
    QRect space = whole, text;
    std::vector<QRect> ink{whole};
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        const int flags =
            static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        text = TextIn(widget, space, flags, label->text());
        ink = {text};
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool push = qobject_cast<const QPushButton*>(widget) != nullptr;
        const bool radio = qobject_cast<const QRadioButton*>(widget) != nullptr;
        const QStyle::SubElement contents = push    ? QStyle::SE_PushButtonContents
                                            : radio ? QStyle::SE_RadioButtonContents
                                                    : QStyle::SE_CheckBoxContents;
        space = widget->style()->subElementRect(contents, &option, widget);
        text = TextIn(widget, space, push ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter),
                      button->text());
        if (!push) {
            const QStyle::SubElement indicator =
                radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator;
            ink = {widget->style()->subElementRect(indicator, &option, widget), text};
        }
    } else if (const auto* group = dynamic_cast<const GroupFrame*>(widget)) {
        text = group->LabelRect();
        space = QRect(0, 0, whole.width(), widget->fontMetrics().height());
        const int top = text.isEmpty() ? 0 : text.center().y();
        constexpr int kLinePx = 2;  // the etched line
        ink = {QRect(0, top, whole.width(), kLinePx), QRect(0, top, kLinePx, whole.height() - top),
               QRect(whole.width() - kLinePx, top, kLinePx, whole.height() - top),
               QRect(0, whole.height() - kLinePx, whole.width(), kLinePx), text};
    } else if (const auto* trackbar = dynamic_cast<const Trackbar*>(widget)) {
        ink = {trackbar->TravelRect()};
    }
    extent->text = text.isEmpty() ? RECT{} : ToRect(text.translated(at));
    extent->textSpace = ToRect(space.translated(at));
    for (const QRect& part : ink) {
        if (!part.isEmpty()) {
            extent->ink.push_back(ToRect(part.translated(at)));
        }
    }
}

}  // namespace
}  // namespace ce::ui

namespace ce::ui::host {

std::vector<ControlExtent> ControlExtents(HWND dialog) {
    std::vector<ControlExtent> extents;
    const WindowRecord* owner = FindRecord(dialog);
    if (owner == nullptr) {
        return extents;
    }
    for (HWND child : owner->children) {
        const WindowRecord* record = FindRecord(child);
        const QWidget* widget = record != nullptr ? record->widget.data() : nullptr;
        if (widget == nullptr || widget->isHidden()) {
            continue;
        }
        ControlExtent extent;
        extent.id = record->id;
        extent.caption = WidgetText(widget).toStdWString();
        Describe(widget, &extent);
        extents.push_back(std::move(extent));
    }
    return extents;
}

}  // namespace ce::ui::host
