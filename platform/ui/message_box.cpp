// MessageBox as the platform shows it: a framed window with caption and close box, the text
// and an OK button, as wide as its text needs within the screen, centred on its owner.
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "ce/ui/dialog_template.h"
#include "framed_window.h"
#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

constexpr int kMessagePointSize = 8;
constexpr int kMarginPx = 12;
constexpr int kButtonWidthPx = 64;
constexpr int kButtonHeightPx = 24;
// The widest a line of text runs before it wraps, as a share of the screen's width.
constexpr int kLineNumerator = 5;
constexpr int kLineDenominator = 8;

class MessageBoxWindow : public FramedWindow {
  public:
    MessageBoxWindow(QWidget* owner, const QString& caption, const QString& text)
        : FramedWindow(owner, owner != nullptr, WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        setFont(DialogFontOfSize(kMessagePointSize));
        setWindowTitle(caption);
        auto* client = new QWidget;
        SetClient(client);
        auto* label = new QLabel(text, client);
        label->setTextFormat(Qt::PlainText);
        label->setFont(font());
        auto* button = new QPushButton(QStringLiteral("OK"), client);
        button->setFont(font());
        QObject::connect(button, &QPushButton::clicked, [this] { loop_.exit(IDOK); });

        const QRect screen = ScreenArea();
        const int widest = std::min(screen.width() * kLineNumerator / kLineDenominator,
                                    screen.width() - 2 * (kMarginPx + Metrics().framePx));
        const QFontMetrics metrics(font());
        const QRect bounds =
            metrics.boundingRect(QRect(0, 0, widest, screen.height()), Qt::TextWordWrap, text);
        label->setWordWrap(bounds.width() >= widest || text.contains(QLatin1Char('\n')));
        label->setGeometry(kMarginPx, kMarginPx, bounds.width() + 1, bounds.height());
        const int clientWidth = std::max(bounds.width() + 1, kButtonWidthPx) + 2 * kMarginPx;
        const int buttonTop = kMarginPx + bounds.height() + kMarginPx;
        button->setGeometry((clientWidth - kButtonWidthPx) / 2, buttonTop, kButtonWidthPx,
                            kButtonHeightPx);
        SetClientSize(clientWidth, buttonTop + kButtonHeightPx + kMarginPx);
        button->setFocus();
        PlaceOver(owner, screen);
    }

    int Run() {
        setWindowModality(Qt::ApplicationModal);
        show();
        activateWindow();
        return loop_.exec();
    }

  protected:
    void OnCaptionButton(CaptionButton) override { loop_.exit(IDOK); }
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        loop_.exit(IDOK);
    }
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Escape:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                loop_.exit(IDOK);
                break;
            default:
                FramedWindow::keyPressEvent(event);
        }
    }

  private:
    static QRect ScreenArea() {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? screen->geometry() : QRect(0, 0, 800, 600);
    }

    // Centred on the owner (on the screen without one), and wholly on the screen.
    void PlaceOver(const QWidget* owner, const QRect& screen) {
        const QPoint centre = owner != nullptr ? owner->geometry().center() : screen.center();
        QPoint corner = centre - QPoint(width() / 2, height() / 2);
        corner.setX(std::clamp(corner.x(), screen.left(), screen.right() + 1 - width()));
        corner.setY(std::clamp(corner.y(), screen.top(), screen.bottom() + 1 - height()));
        move(corner);
    }

    QEventLoop loop_;
};

}  // namespace

int ShowMessageBox(HWND owner, const QString& caption, const QString& text) {
    QWidget* widget = WidgetOf(owner);
    MessageBoxWindow box(widget != nullptr ? widget->window() : nullptr, caption, text);
    return box.Run();
}

QImage PictureOfMessageBox(HWND owner, const QString& caption, const QString& text) {
    QWidget* widget = WidgetOf(owner);
    QWidget* window = widget != nullptr ? widget->window() : nullptr;
    MessageBoxWindow box(window, caption, text);
    box.show();
    QRect area = box.geometry();
    if (window != nullptr) {
        area |= window->geometry();
    }
    QImage picture(area.size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    if (window != nullptr) {
        window->render(&painter, window->geometry().topLeft() - area.topLeft());
    }
    box.render(&painter, box.geometry().topLeft() - area.topLeft());
    painter.end();
    box.hide();
    return picture;
}

}  // namespace ce::ui
