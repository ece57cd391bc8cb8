// The shell's task bar: a strip along the bottom of the screen with a clock, the top-level
// window of class "HHTaskBar" that programs find, hide and show.
#include <signal.h>

#include <QApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <thread>

#include "ce/ui/host/ui_host.h"
#include "ui_core.h"
#include "window_station.h"
#include "window_table.h"

namespace ce::ui::host {
namespace {

constexpr int kTaskBarHeightPx = 26;

class TaskBar : public QWidget {
  public:
    TaskBar() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
        setWindowTitle(QString());
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, QColor(0x1F, 0x3A, 0x5F));
        colours.setColor(QPalette::WindowText, Qt::white);
        setPalette(colours);
        auto* start = new QLabel(QStringLiteral("  \u25A3  Start"), this);
        start->setGeometry(0, 0, 120, kTaskBarHeightPx);
        clock_ = new QLabel(this);
        clock_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, [this] { Tick(); });
        timer->start(1000);
        Tick();
    }

  protected:
    void resizeEvent(QResizeEvent*) override {
        clock_->setGeometry(width() - 100, 0, 90, kTaskBarHeightPx);
    }

  private:
    void Tick() { clock_->setText(QTime::currentTime().toString(QStringLiteral("HH:mm"))); }
    QLabel* clock_;
};

}  // namespace

HWND CreateTaskBar() {
    StartInterface();
    auto* bar = new TaskBar;
    QRect screen(0, 0, 800, 600);
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen = primary->geometry();
    }
    bar->setGeometry(screen.left(), screen.bottom() + 1 - kTaskBarHeightPx, screen.width(),
                     kTaskBarHeightPx);
    const HWND hwnd = NewWindowHandle();
    WindowRecord record;
    record.hwnd = hwnd;
    record.widget = bar;
    record.topLevel = true;
    record.className = L"HHTaskBar";
    RegisterWindow(std::move(record));
    bar->show();
    RepublishWindow(hwnd);
    return hwnd;
}

int RunShell(int argc, char** argv) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before any thread starts
    StartInterface(argc, argv);
    const HWND bar = CreateTaskBar();
    std::thread waiter([stop] {
        int signal = 0;
        sigwait(&stop, &signal);
        PostQuitMessage(0);
    });
    waiter.detach();
    const int code = QApplication::exec();
    DestroyWindowTree(bar);
    StopInterface();
    return code;
}

}  // namespace ce::ui::host
