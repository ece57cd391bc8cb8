// Templates into windows: dialog units to pixels from the template font, one widget per
// control, and the control's notifications to its dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cmath>
#include <map>

#include "ce/ui/dialog_template.h"
#include "control_widgets.h"
#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

struct Resources {
    std::map<UINT, const DialogTemplate*> dialogs;
    std::map<UINT, const BitmapResource*> bitmaps;
    std::map<UINT, const IconResource*> icons;
};

Resources& TheResources() {
    static Resources resources;
    return resources;
}

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int MulDiv(int number, int numerator, int denominator) {
    return (number * numerator + denominator / 2) / denominator;
}

constexpr const char* kTemplateRect = "ceTemplateRect";

void Command(HWND parent, int id, HWND control) {
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

UINT ScrollCode(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            return TB_LINEDOWN;
        case QAbstractSlider::SliderSingleStepSub:
            return TB_LINEUP;
        case QAbstractSlider::SliderPageStepAdd:
            return TB_PAGEDOWN;
        case QAbstractSlider::SliderPageStepSub:
            return TB_PAGEUP;
        case QAbstractSlider::SliderToMinimum:
            return TB_TOP;
        case QAbstractSlider::SliderToMaximum:
            return TB_BOTTOM;
        default:
            return TB_THUMBTRACK;
    }
}

QWidget* MakeButton(const DialogControl& control, HWND parent, HWND self) {
    QAbstractButton* button = nullptr;
    switch (control.kind) {
        case ControlKind::CheckBox:
            button = new QCheckBox;
            break;
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton;
            radio->setAutoExclusive(false);  // groups are the template's, see below
            button = radio;
            break;
        }
        default: {
            auto* push = new QPushButton;
            push->setAutoDefault(false);
            push->setDefault((control.style & BS_DEFPUSHBUTTON) != 0);
            button = push;
            break;
        }
    }
    button->setText(ToQString(control.text));
    const int id = control.id;
    const bool radio = control.kind == ControlKind::RadioButton;
    QObject::connect(button, &QAbstractButton::clicked, [parent, self, id, radio] {
        if (radio) {  // an automatic radio button: checked, and its group mates not
            for (HWND mate : RadioGroupOf(self)) {
                if (auto* other = qobject_cast<QAbstractButton*>(WidgetOf(mate))) {
                    other->setChecked(mate == self);
                }
            }
        }
        Command(parent, id, self);
    });
    return button;
}

QWidget* MakeStatic(const DialogControl& control) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(((control.style & SS_CENTER) != 0 ? Qt::AlignHCenter : Qt::AlignLeft) |
                        Qt::AlignTop);
    label->setText(ToQString(control.text));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QWidget* MakePicture(const DialogControl& control, QSize* natural) {
    auto* label = new QLabel;
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (const BitmapResource* bitmap = FindBitmap(control.image)) {
        QPixmap picture;
        picture.loadFromData(bitmap->data.data(), static_cast<uint>(bitmap->data.size()));
        label->setPixmap(picture);
        *natural = picture.size();  // a bitmap control takes its picture's size
    }
    return label;
}

QWidget* MakeList(HWND self) {
    auto* list = new QListWidget;
    list->setViewMode(QListView::IconMode);
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setWordWrap(true);
    list->setSpacing(0);
    list->setItemDelegate(new IconItemDelegate(list));
    QObject::connect(list, &QListWidget::itemSelectionChanged, [self] { NotifyListChanges(self); });
    QObject::connect(list, &QListWidget::currentItemChanged, [self] { NotifyListChanges(self); });
    return list;
}

QWidget* MakeSlider(const DialogControl& control, HWND parent, HWND self) {
    auto* slider = new Trackbar;
    if ((control.style & TBS_AUTOTICKS) != 0) {
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(1);
    }
    slider->setRange(0, 100);  // a new trackbar's range
    QObject::connect(slider, &QAbstractSlider::actionTriggered,
                     [slider](int action) { slider->setProperty("ceAction", action); });
    QObject::connect(slider, &QAbstractSlider::valueChanged, [slider, parent, self](int value) {
        const UINT code = ScrollCode(slider->property("ceAction").toInt());
        slider->setProperty("ceAction", QAbstractSlider::SliderMove);
        SendMessageW(parent, WM_HSCROLL,
                     MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(value)),
                     reinterpret_cast<LPARAM>(self));
    });
    return slider;
}

QWidget* MakeControl(const DialogControl& control, HWND parent, HWND self, QSize* natural) {
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            return MakeButton(control, parent, self);
        case ControlKind::GroupBox: {
            auto* group = new GroupFrame(ToQString(control.text));
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            return group;
        }
        case ControlKind::StaticPicture:
            return MakePicture(control, natural);
        case ControlKind::ListView:
            return MakeList(self);
        case ControlKind::Slider:
            return MakeSlider(control, parent, self);
        case ControlKind::StaticText:
        default:
            return MakeStatic(control);
    }
}

}  // namespace

ResourceEntry::ResourceEntry(const DialogTemplate& dialog) {
    TheResources().dialogs[dialog.id] = &dialog;
}

ResourceEntry::ResourceEntry(const BitmapResource& bitmap) {
    TheResources().bitmaps[bitmap.id] = &bitmap;
}

ResourceEntry::ResourceEntry(const IconResource& icon) {
    TheResources().icons[icon.id] = &icon;
}

const DialogTemplate* FindDialogTemplate(UINT id) {
    auto it = TheResources().dialogs.find(id);
    return it == TheResources().dialogs.end() ? nullptr : it->second;
}

const BitmapResource* FindBitmap(UINT id) {
    auto it = TheResources().bitmaps.find(id);
    return it == TheResources().bitmaps.end() ? nullptr : it->second;
}

const IconResource* FindIcon(UINT id) {
    auto it = TheResources().icons.find(id);
    return it == TheResources().icons.end() ? nullptr : it->second;
}

QFont DialogFont(const DialogTemplate& dialog) {
    return DialogFontOfSize(dialog.pointSize);
}

QFont DialogFontOfSize(int pointSize) {
    // "MS Shell Dlg" stands on Liberation Sans, whose letters run wider than the device's own
    // font at the same size: of the sizes up to the template's (points at 96 dots per inch), the
    // largest whose average character is no wider than the dialog unit it rounds to, so that
    // texts sized for the template fit.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    const int nominal = MulDiv(pointSize, 96, 72);
    for (int size = nominal; size > nominal - 3 && size > 6; --size) {
        font.setPixelSize(size);
        const QFontMetricsF metrics(font);
        const qreal average = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) / 52.0;
        if (average <= (static_cast<int>(average * 2) + 1) / 2) {
            return font;
        }
    }
    font.setPixelSize(nominal);
    return font;
}

DialogBaseUnits BaseUnitsOf(const DialogTemplate& dialog) {
    // The units are the template font's at its own size, whatever size the texts are drawn
    // at: the character cell's height with ascent and descent each taken up to whole pixels,
    // and the average width of the alphabet. (Taken from the smaller drawing size, dialogs
    // came out flatter than their templates mean, and group frames ran into their controls.)
    QFont font = DialogFont(dialog);
    font.setPixelSize(MulDiv(dialog.pointSize, 96, 72));
    const QFontMetricsF metrics(font);
    const int alphabet =
        static_cast<int>(metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)));
    return DialogBaseUnits{(alphabet / 26 + 1) / 2,
                           static_cast<int>(std::ceil(metrics.ascent())) +
                               static_cast<int>(std::ceil(metrics.descent()))};
}

void MapDialogRect(const DialogTemplate& dialog, LPRECT rect) {
    const DialogBaseUnits units = BaseUnitsOf(dialog);
    rect->left = MulDiv(rect->left, units.cx, 4);
    rect->right = MulDiv(rect->right, units.cx, 4);
    rect->top = MulDiv(rect->top, units.cy, 8);
    rect->bottom = MulDiv(rect->bottom, units.cy, 8);
}

void FitLabel(QLabel* label) {
    const QRect area = label->property(kTemplateRect).toRect();
    if (!area.isValid()) {
        return;
    }
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    if (needed <= area.width()) {
        label->setGeometry(area);
        return;
    }
    // Wider than its template rectangle: it grows from its anchor, inside the dialog, and what
    // the dialog cannot hold is cut off at its edge (a rule of dashes as wide as the dialog).
    const int limit =
        label->parentWidget() != nullptr ? label->parentWidget()->width() : area.left() + needed;
    const int width = std::min(needed, limit);
    int left =
        (label->alignment() & Qt::AlignHCenter) != 0 ? area.center().x() - width / 2 : area.left();
    left = std::max(0, std::min(left, limit - width));
    label->setGeometry(left, area.top(), width, area.height());
}

std::vector<HWND> RadioGroupOf(HWND control) {
    const WindowRecord* self = FindRecord(control);
    const WindowRecord* owner = self != nullptr ? FindRecord(self->parent) : nullptr;
    if (owner == nullptr) {
        return {};
    }
    const auto& children = owner->children;
    auto at = std::find(children.begin(), children.end(), control);
    auto first = at;
    while (first != children.begin() && (FindRecord(*first)->style & WS_GROUP) == 0) {
        --first;
    }
    std::vector<HWND> group;
    for (auto it = first; it != children.end(); ++it) {
        const WindowRecord* record = FindRecord(*it);
        if (it != first && (record->style & WS_GROUP) != 0) {
            break;
        }
        if (record->kind == ControlKind::RadioButton) {
            group.push_back(*it);
        }
    }
    return group;
}

void BuildControls(const DialogTemplate& dialog, QWidget* window, HWND dialogHandle) {
    QWidget* previous = nullptr;
    std::vector<QWidget*> groups;
    for (const DialogControl& control : dialog.controls) {
        const HWND self = NewWindowHandle();
        QSize natural;
        QWidget* widget = MakeControl(control, dialogHandle, self, &natural);
        widget->setParent(window);
        widget->setFont(window->font());  // also where a style sheet would reset it
        RECT area{control.x, control.y, control.x + control.cx, control.y + control.cy};
        MapDialogRect(dialog, &area);
        widget->setGeometry(area.left, area.top, area.right - area.left, area.bottom - area.top);
        if (natural.isValid()) {
            widget->resize(natural);
        }
        widget->setVisible((control.style & kHidden) == 0);
        widget->setEnabled((control.style & WS_DISABLED) == 0);
        if (control.kind == ControlKind::GroupBox) {
            groups.push_back(widget);
        }
        if (auto* label = qobject_cast<QLabel*>(widget);
            label != nullptr && control.kind == ControlKind::StaticText &&
            widget->height() * 2 < 3 * QFontMetrics(window->font()).height()) {
            label->setWordWrap(false);  // one line: never broken, and never cut off
            label->setProperty(kTemplateRect, widget->geometry());
            FitLabel(label);
        }
        WindowRecord record;
        record.hwnd = self;
        record.widget = widget;
        record.parent = dialogHandle;
        record.id = control.id;
        record.kind = control.kind;
        record.style = control.style;
        record.className = L"Control";
        RegisterWindow(std::move(record));
        FindRecord(dialogHandle)->children.push_back(self);
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, widget);
            }
            previous = widget;
        }
    }
    for (QWidget* group : groups) {
        group->lower();  // a frame lies beneath the controls it frames
    }
}

}  // namespace ce::ui
