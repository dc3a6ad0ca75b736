// velm-makedb <bin-dir>: writes the first database velm.mdb (the whole
// schema, the starter code tables, no user) and the default db_path into
// the program folder, and an office logo when none is there yet.

#include "data/OpenDb.h"
#include "data/Schema.h"
#include "data/StarterReports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

bool writeDbPath(const QString &binDir)
{
    // Relative folders under the program folder; the first line keeps the
    // second splash screen off.
    const QByteArray content = "0\n\\data\n\\pictures\n\\material\n\\forms\n";
    QFile file(binDir + QStringLiteral("/db_path"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size() && file.flush();
}

// A plain emblem: a green disc with a crescent and the office's name.
bool writeLogo(const QString &path)
{
    QImage image(240, 240, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1b, 0x6e, 0x3c));
    p.drawEllipse(QPointF(120, 120), 112, 112);
    QPainterPath crescent;
    crescent.addEllipse(QPointF(120, 92), 46, 46);
    QPainterPath cut;
    cut.addEllipse(QPointF(138, 82), 40, 40);
    p.setBrush(QColor(0xf2, 0xd4, 0x6b));
    p.drawPath(crescent.subtracted(cut));
    QFont font(QStringLiteral("Noto Naskh Arabic"));
    font.setPixelSize(24);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(20, 150, 200, 40), Qt::AlignCenter, QStringLiteral("مكتب الدعوة"));
    p.end();
    return image.save(path, "JPG", 90);
}

} // namespace

int main(int argc, char **argv)
{
    // Drawing the logo's text needs fonts, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // An option is never taken for the folder.
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: velm-makedb <bin-dir>\n");
        return 2;
    }
    const QString binDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(binDir)) {
        std::fprintf(stderr, "velm-makedb: cannot make the folder %s\n", qPrintable(binDir));
        return 1;
    }

    // The template is rebuilt from scratch on every run.
    const QString dbFile = binDir + QLatin1Char('/') + QLatin1String(core::kDatabaseFileName);
    for (const char *suffix : {"", "-journal", "-wal", "-shm"}) {
        const QString f = dbFile + QLatin1String(suffix);
        if (QFileInfo::exists(f) && !QFile::remove(f)) {
            std::fprintf(stderr, "velm-makedb: cannot remove %s\n", qPrintable(f));
            return 1;
        }
    }
    try {
        const QString password = core::passwordFromConnect(QLatin1String(core::kConnectString));
        core::schema::createFirstDatabase(dbFile, password);
        // The catalogue lists the report files shipped beside the program.
        engine::Database db;
        db.open(dbFile, password);
        reports::addStarterCatalogue(db);
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "velm-makedb: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    if (!writeDbPath(binDir)) {
        std::fprintf(stderr, "velm-makedb: cannot write %s/db_path\n", qPrintable(binDir));
        return 1;
    }

    // An office's own logo is never replaced.
    const QString logo = binDir + QStringLiteral("/pictures/piclogo.jpg");
    if (!QFileInfo::exists(logo)) {
        if (!QDir().mkpath(binDir + QStringLiteral("/pictures")) || !writeLogo(logo))
            std::fprintf(stderr, "velm-makedb: no logo written (%s)\n", qPrintable(logo));
    }
    return 0;
}
