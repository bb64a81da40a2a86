// Draws the program's pictures: the window icon at 16, 32 and 48 pixels and
// the About bitmap. Run it to regenerate the PNG files next to it:
//   cmake --build <build> --target rtq_make_art && <build>/ui/rtq_make_art ui/resources

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

// The icon on a 48-unit grid: a receipt printer with a paper strip and a
// flash bolt across its front.
void DrawPrinter(QPainter& p) {
    // Paper strip with a torn top edge and a few printed lines.
    QPainterPath paper;
    paper.moveTo(15, 24);
    paper.lineTo(15, 6);
    for (int i = 0; i < 6; ++i) {
        paper.lineTo(16.5 + 3 * i, 4);
        paper.lineTo(18 + 3 * i, 6);
    }
    paper.lineTo(33, 24);
    paper.closeSubpath();
    p.setPen(QPen(QColor(110, 118, 130), 1.0));
    p.setBrush(QColor(252, 252, 248));
    p.drawPath(paper);
    p.setPen(QPen(QColor(150, 158, 170), 1.2));
    for (double y : {10.0, 13.5, 17.0}) p.drawLine(QPointF(18, y), QPointF(y < 15 ? 30 : 26, y));

    // Body.
    QLinearGradient body(0, 18, 0, 42);
    body.setColorAt(0, QColor(70, 104, 148));
    body.setColorAt(1, QColor(28, 46, 72));
    p.setPen(QPen(QColor(20, 30, 48), 1.2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(5, 19, 38, 22), 4, 4);
    // Paper slot and status light.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(12, 18, 30));
    p.drawRoundedRect(QRectF(12, 22, 24, 2.5), 1, 1);
    p.setBrush(QColor(90, 220, 110));
    p.drawEllipse(QPointF(10, 36), 2, 2);

    // Flash bolt.
    const QPolygonF bolt({QPointF(31, 20), QPointF(21, 34), QPointF(27.5, 34), QPointF(23, 46),
                          QPointF(37, 29), QPointF(30.5, 29), QPointF(35, 20)});
    QLinearGradient gold(0, 20, 0, 46);
    gold.setColorAt(0, QColor(255, 236, 96));
    gold.setColorAt(1, QColor(244, 150, 24));
    p.setPen(QPen(QColor(120, 64, 0), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(gold);
    p.drawPolygon(bolt);
}

QImage Icon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    DrawPrinter(p);
    return img;
}

QImage AboutPicture() {
    const int size = 64;
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, size, size);
    sky.setColorAt(0, QColor(222, 236, 252));
    sky.setColorAt(1, QColor(150, 186, 228));
    p.setPen(QPen(QColor(90, 120, 160), 1));
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), 8, 8);
    p.translate(4, 6);
    p.scale(56 / 48.0, 56 / 48.0);
    DrawPrinter(p);
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    // Drawing needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = true;
    for (int size : {16, 32, 48}) ok &= Icon(size).save(out.filePath(QStringLiteral("icon_%1.png").arg(size)));
    ok &= AboutPicture().save(out.filePath(QStringLiteral("about.png")));
    return ok ? 0 : 1;
}
