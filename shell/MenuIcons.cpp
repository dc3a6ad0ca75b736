#include "shell/MenuIcons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace shell {

namespace {

constexpr int kSize = 64;

// Pictograms are drawn in a 64 x 64 box on a coloured tile.
void person(QPainter &p, QPointF at, qreal scale)
{
    p.drawEllipse(at + QPointF(0, -9 * scale), 7 * scale, 7 * scale);
    QPainterPath body;
    body.moveTo(at + QPointF(-13 * scale, 16 * scale));
    body.cubicTo(at + QPointF(-13 * scale, 0), at + QPointF(13 * scale, 0),
                 at + QPointF(13 * scale, 16 * scale));
    body.closeSubpath();
    p.drawPath(body);
}

void page(QPainter &p, QRectF r, int lines)
{
    p.drawRoundedRect(r, 3, 3);
    QPen old = p.pen();
    QPen pen(p.brush().color() == Qt::white ? QColor(0, 0, 0, 110) : Qt::white, 2.5);
    p.setPen(pen);
    for (int i = 0; i < lines; ++i) {
        const qreal y = r.top() + 9 + i * 7;
        p.drawLine(QPointF(r.left() + 6, y), QPointF(r.right() - 6, y));
    }
    p.setPen(old);
}

QPen whiteLine()
{
    return QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Person file: a folder with a person.
void drawPersonFile(QPainter &p)
{
    p.drawRoundedRect(QRectF(12, 18, 40, 32), 4, 4);
    p.drawRect(QRectF(12, 14, 16, 6));
    p.setBrush(QColor(0x1f, 0x6b, 0x45));
    person(p, QPointF(32, 38), 0.75);
}

// Follow-up activities: a checklist.
void drawFollowUp(QPainter &p)
{
    for (int i = 0; i < 3; ++i) {
        const qreal y = 18 + i * 13;
        p.setPen(whiteLine());
        p.drawLine(QPointF(26, y), QPointF(50, y));
        p.drawPolyline(QPolygonF({QPointF(12, y), QPointF(15, y + 3), QPointF(20, y - 4)}));
    }
}

// Courses: a mortarboard.
void drawCourses(QPainter &p)
{
    QPolygonF board({QPointF(32, 14), QPointF(56, 25), QPointF(32, 36), QPointF(8, 25)});
    p.drawPolygon(board);
    p.drawRect(QRectF(20, 31, 24, 12));
    p.setPen(whiteLine());
    p.drawLine(QPointF(52, 27), QPointF(52, 44));
}

// Questionnaire: a clipboard with a question mark.
void drawQuestionnaire(QPainter &p)
{
    p.drawRoundedRect(QRectF(15, 12, 34, 42), 4, 4);
    p.setBrush(QColor(0x7a, 0x4e, 0x9c));
    p.drawRect(QRectF(25, 9, 14, 7));
    QFont f = p.font();
    f.setPixelSize(28);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x7a, 0x4e, 0x9c));
    p.drawText(QRectF(15, 16, 34, 38), Qt::AlignCenter, QStringLiteral("?"));
}

// Course material: a stack of books.
void drawCourseMaterial(QPainter &p)
{
    for (int i = 0; i < 3; ++i)
        p.drawRoundedRect(QRectF(12 + (i % 2) * 4, 16 + i * 12, 36, 9), 2, 2);
}

// Field evaluation: rising bars.
void drawEvaluation(QPainter &p)
{
    p.drawRect(QRectF(12, 38, 9, 14));
    p.drawRect(QRectF(27, 28, 9, 24));
    p.drawRect(QRectF(42, 16, 9, 36));
}

// Forms: a page.
void drawForms(QPainter &p)
{
    page(p, QRectF(16, 10, 32, 44), 5);
}

// Users: two persons.
void drawUsers(QPainter &p)
{
    person(p, QPointF(24, 36), 0.85);
    person(p, QPointF(42, 38), 0.85);
}

// Code tables: a grid.
void drawCodeTables(QPainter &p)
{
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(12, 14, 40, 36));
    p.drawLine(QPointF(12, 26), QPointF(52, 26));
    p.drawLine(QPointF(12, 38), QPointF(52, 38));
    p.drawLine(QPointF(28, 14), QPointF(28, 50));
}

// Reports: a printer.
void drawReports(QPainter &p)
{
    p.drawRect(QRectF(20, 10, 24, 12));
    p.drawRoundedRect(QRectF(10, 22, 44, 20), 4, 4);
    p.setBrush(QColor(0x9c, 0x5b, 0x1e));
    p.drawRect(QRectF(18, 34, 28, 4));
    p.setBrush(Qt::white);
    page(p, QRectF(20, 38, 24, 16), 1);
}

// Witnesses: a person with a tick.
void drawWitnesses(QPainter &p)
{
    person(p, QPointF(26, 36), 1.0);
    p.setPen(whiteLine());
    p.drawPolyline(QPolygonF({QPointF(40, 26), QPointF(45, 32), QPointF(54, 18)}));
}

// Follow-up group: three persons.
void drawFollowUpGroup(QPainter &p)
{
    person(p, QPointF(18, 40), 0.7);
    person(p, QPointF(46, 40), 0.7);
    person(p, QPointF(32, 34), 0.85);
}

// View data: an eye.
void drawViewData(QPainter &p)
{
    QPainterPath eye;
    eye.moveTo(8, 32);
    eye.quadTo(32, 8, 56, 32);
    eye.quadTo(32, 56, 8, 32);
    p.drawPath(eye);
    p.setBrush(QColor(0x2b, 0x5d, 0x8c));
    p.drawEllipse(QPointF(32, 32), 9, 9);
}

// Office information: a building.
void drawOfficeInfo(QPainter &p)
{
    p.drawRect(QRectF(16, 14, 32, 40));
    p.setBrush(QColor(0x4d, 0x5b, 0x6a));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            p.drawRect(QRectF(20 + c * 9, 18 + r * 9, 6, 6));
    p.drawRect(QRectF(28, 44, 8, 10));
}

// Exit: a door with an arrow.
void drawExit(QPainter &p)
{
    p.setPen(QPen(Qt::white, 4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(30, 12, 20, 40));
    p.setPen(whiteLine());
    p.drawLine(QPointF(10, 32), QPointF(36, 32));
    p.drawPolyline(QPolygonF({QPointF(18, 24), QPointF(10, 32), QPointF(18, 40)}));
}

// The pictogram of menu button `number` (1..14; anything else is the exit
// door), white on the tile's colour, in a 64 x 64 box.
void drawPictogram(QPainter &p, int number)
{
    using Draw = void (*)(QPainter &);
    static const Draw pictograms[] = {
        drawExit,       drawPersonFile,    drawFollowUp, drawCourses,   drawQuestionnaire,
        drawCourseMaterial, drawEvaluation, drawForms,   drawUsers,     drawCodeTables,
        drawReports,    drawWitnesses,     drawFollowUpGroup, drawViewData, drawOfficeInfo};
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const bool known = number >= 1 && number < int(std::size(pictograms));
    pictograms[known ? number : 0](p);
}

QColor tileColour(int number)
{
    static const QColor colours[] = {
        QColor(0x8a, 0x1f, 0x2b), // exit
        QColor(0x1f, 0x6b, 0x45), QColor(0x2b, 0x7a, 0x8c), QColor(0x3b, 0x5b, 0xa8),
        QColor(0x7a, 0x4e, 0x9c), QColor(0x8c, 0x6d, 0x1f), QColor(0x2e, 0x8a, 0x57),
        QColor(0x5d, 0x6d, 0x7e), QColor(0x9c, 0x3b, 0x5b), QColor(0x3b, 0x7d, 0x6e),
        QColor(0x9c, 0x5b, 0x1e), QColor(0x2f, 0x6f, 0x9f), QColor(0x6b, 0x4f, 0x2f),
        QColor(0x2b, 0x5d, 0x8c), QColor(0x4d, 0x5b, 0x6a)};
    return (number >= 1 && number <= 14) ? colours[number] : colours[0];
}

QPixmap tile(int number, qreal ratio)
{
    QPixmap pixmap(QSize(kSize, kSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tileColour(number));
    p.drawRoundedRect(QRectF(2, 2, kSize - 4, kSize - 4), 12, 12);
    drawPictogram(p, number);
    return pixmap;
}

// The whole tile in light greys, so that a disabled button reads as such.
QPixmap greyed(const QPixmap &normal)
{
    QImage image = normal.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 110 + qGray(line[x]) * 145 / 255;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(normal.devicePixelRatio());
    return pixmap;
}

// The program: an open register under a crescent, on the first tile's green.
void drawProgramPicture(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tileColour(1));
    p.drawRoundedRect(QRectF(2, 2, kSize - 4, kSize - 4), 12, 12);
    p.setBrush(Qt::white);
    QPainterPath moon;
    moon.addEllipse(QPointF(32, 18), 9, 9);
    QPainterPath bite;
    bite.addEllipse(QPointF(36, 15), 8, 8);
    p.drawPath(moon.subtracted(bite));
    for (const qreal side : {-1.0, 1.0}) {
        const auto x = [side](qreal dx) { return 32 + side * dx; };
        QPainterPath pageShape;
        pageShape.moveTo(x(1.5), 34);
        pageShape.cubicTo(QPointF(x(8), 29), QPointF(x(16), 29), QPointF(x(22), 31));
        pageShape.lineTo(x(22), 53);
        pageShape.cubicTo(QPointF(x(16), 51), QPointF(x(8), 51), QPointF(x(1.5), 55));
        pageShape.closeSubpath();
        p.drawPath(pageShape);
    }
}

} // namespace

QPixmap appPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.scale(size / qreal(kSize), size / qreal(kSize));
    drawProgramPicture(p);
    return pixmap;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(appPixmap(size));
    return icon;
}

QIcon menuIcon(int number)
{
    QIcon icon;
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap normal = tile(number, ratio);
        icon.addPixmap(normal, QIcon::Normal);
        icon.addPixmap(greyed(normal), QIcon::Disabled);
    }
    return icon;
}

} // namespace shell
