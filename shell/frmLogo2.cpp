#include "shell/frmLogo2.h"

#include "screens/AppContext.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QtMath>

namespace shell {

namespace {

constexpr int kWidth = 460;
constexpr int kHeight = 170;

QPainterPath star(QPointF centre, qreal outer, qreal inner)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal r = (i % 2 == 0) ? outer : inner;
        const qreal angle = qDegreesToRadians(-90.0 + i * 36.0);
        const QPointF p(centre.x() + r * qCos(angle), centre.y() + r * qSin(angle));
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

} // namespace

QPixmap frmLogo2::picture(qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(kWidth, kHeight) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0.0, QColor(0x14, 0x4d, 0x33));
    sky.setColorAt(1.0, QColor(0x2c, 0x8a, 0x5c));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(QRectF(0, 0, kWidth, kHeight));

    // A crescent and a star on the right, where an Arabic page begins.
    const QPointF moon(kWidth - 80, kHeight / 2.0);
    QPainterPath crescent;
    crescent.addEllipse(moon, 48, 48);
    QPainterPath bite;
    bite.addEllipse(moon + QPointF(-20, -8), 42, 42);
    p.setBrush(QColor(0xf3, 0xd7, 0x7a));
    p.drawPath(crescent.subtracted(bite));
    p.drawPath(star(moon + QPointF(-28, -4), 15, 6));

    // A thin ornamental border.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xf3, 0xd7, 0x7a, 160), 2));
    p.drawRoundedRect(QRectF(8, 8, kWidth - 16, kHeight - 16), 10, 10);

    QFont font = p.font();
    font.setPixelSize(27);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    const QRectF textArea(20, 20, kWidth - 150, kHeight - 40);
    QTextOption option(Qt::AlignCenter);
    option.setTextDirection(Qt::RightToLeft);
    option.setWrapMode(QTextOption::WordWrap);
    p.drawText(textArea, QString::fromUtf8(core::kProductTitle), option);
    return pixmap;
}

frmLogo2::frmLogo2(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmLogo2"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QString::fromUtf8(core::kProductTitle));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(picture(devicePixelRatioF()));
    Image1->setAlignment(Qt::AlignCenter);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1);
    setFixedSize(kWidth, kHeight);
}

} // namespace shell
