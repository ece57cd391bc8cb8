#include "ce/ui/host/picture.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace ce::ui::host {
namespace {

// Fonts need an application object. A tool without an interface gets one on the offscreen
// platform, kept for the life of the process (Qt does not survive ending and restarting it).
void NeedApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 3;
    static char name[] = "ots-picture";
    static char platformFlag[] = "-platform";
    static char offscreen[] = "offscreen";
    static char* argv[] = {name, platformFlag, offscreen, nullptr};
    new QGuiApplication(argc, argv);
}

QColor ToQt(Colour c) {
    return QColor(c.red, c.green, c.blue, c.alpha);
}

QFont FontOf(int pointSize, bool bold) {
    QFont font("Liberation Sans");
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

}  // namespace

struct Picture::Canvas {
    QImage image;
    QPainter painter;

    Canvas(int width, int height) : image(width, height, QImage::Format_RGB32) {
        image.fill(Qt::white);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
    }

    void Pen(Colour colour, double width) {
        QPen pen(ToQt(colour));
        pen.setWidthF(width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
    }
};

Picture::Picture(int widthPx, int heightPx) {
    NeedApplication();
    canvas_ = std::make_unique<Canvas>(widthPx, heightPx);
}

Picture::~Picture() = default;

void Picture::Polyline(const std::vector<PicturePoint>& points, Colour colour, double widthPx) {
    QPolygonF polygon;
    for (const PicturePoint& p : points) {
        polygon << QPointF(p.x, p.y);
    }
    canvas_->Pen(colour, widthPx);
    canvas_->painter.setBrush(Qt::NoBrush);
    canvas_->painter.drawPolyline(polygon);
}

void Picture::Arrow(PicturePoint from, PicturePoint to, Colour colour, double widthPx) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double length = std::hypot(dx, dy);
    canvas_->Pen(colour, widthPx);
    if (length < 1e-9) {
        return;
    }
    const double head = std::min(3.0 + 2.5 * widthPx, 0.4 * length);
    const double ux = dx / length;
    const double uy = dy / length;
    const QPointF tip(to.x, to.y);
    const QPointF base(to.x - head * ux, to.y - head * uy);
    canvas_->painter.drawLine(QPointF(from.x, from.y), base);
    QPolygonF triangle;
    triangle << tip << base + QPointF(-uy, ux) * (head * 0.45)
             << base - QPointF(-uy, ux) * (head * 0.45);
    canvas_->painter.setPen(Qt::NoPen);
    canvas_->painter.setBrush(ToQt(colour));
    canvas_->painter.drawPolygon(triangle);
}

void Picture::Circle(PicturePoint centre, double radiusPx, Colour outline, Colour fill,
                     double widthPx) {
    canvas_->Pen(outline, widthPx);
    canvas_->painter.setBrush(ToQt(fill));
    canvas_->painter.drawEllipse(QPointF(centre.x, centre.y), radiusPx, radiusPx);
}

void Picture::Rectangle(PicturePoint topLeft, double widthPx, double heightPx, Colour outline,
                        Colour fill) {
    canvas_->Pen(outline, 1.0);
    canvas_->painter.setBrush(ToQt(fill));
    canvas_->painter.drawRect(QRectF(topLeft.x, topLeft.y, widthPx, heightPx));
}

void Picture::Text(PicturePoint at, const std::string& text, Colour colour, int pointSize,
                   bool bold) {
    canvas_->painter.setFont(FontOf(pointSize, bold));
    canvas_->painter.setPen(ToQt(colour));
    canvas_->painter.drawText(QPointF(at.x, at.y), QString::fromStdString(text));
}

double Picture::TextWidth(const std::string& text, int pointSize, bool bold) const {
    return QFontMetricsF(FontOf(pointSize, bold), &canvas_->image)
        .horizontalAdvance(QString::fromStdString(text));
}

bool Picture::SavePng(const std::string& path) const {
    return canvas_->image.save(QString::fromStdString(path), "PNG");
}

}  // namespace ce::ui::host
