#include "data/StarterReports.h"

#include "data/OpenDb.h"
#include "engine/Database.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>

namespace reports {

const QList<StarterReport> &starterReports()
{
    static const QList<StarterReport> list = {
        {QStringLiteral("tamrel"), QStringLiteral("ملف المهتدي مع صورته"), QStringLiteral("5")},
        {QStringLiteral("regdates"), QStringLiteral("المهتدون المسجلون بين تاريخين"), QStringLiteral("0")},
        {QStringLiteral("bynation"), QStringLiteral("أعداد المهتدين حسب الجنسية"), QStringLiteral("0")},
        {QStringLiteral("bycaller"), QStringLiteral("المهتدون حسب الداعية"), QStringLiteral("0")},
        {QStringLiteral("certs"), QStringLiteral("الوثائق تحت الإجراء والصادرة"), QStringLiteral("0")},
        {QStringLiteral("courses"), QStringLiteral("الدورات في فترة مع التقديرات"), QStringLiteral("1")},
        {QStringLiteral("followup"), QStringLiteral("أنشطة المتابعة في فترة"), QStringLiteral("1")},
        {QStringLiteral("fieldeval"), QStringLiteral("التقويم الميداني في فترة"), QStringLiteral("2")},
        {QStringLiteral("problems"), QStringLiteral("المشكلات المفتوحة مع آخر متابعة"), QStringLiteral("2")},
        {QStringLiteral("letter"), QStringLiteral("خطاب تعريف لمهتد"), QStringLiteral("3")},
        {QStringLiteral("chnation"), QStringLiteral("رسم بياني: المهتدون حسب الجنسية"), QStringLiteral("4")},
        {QStringLiteral("chreligion"), QStringLiteral("رسم بياني: حسب الديانة السابقة"), QStringLiteral("4")},
        {QStringLiteral("chmonth"), QStringLiteral("رسم بياني: المهتدون في كل شهر"), QStringLiteral("4")},
    };
    return list;
}

QString starterReportsDir(const QString &programDir)
{
    return QDir(programDir).filePath(QStringLiteral("reports"));
}

namespace {

QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex();
}

// "<hash>|<file name>" of every version shipped before.
QSet<QByteArray> shippedBefore(const QDir &source)
{
    QSet<QByteArray> versions;
    QFile list(source.filePath(QLatin1String(kShippedBeforeFile)));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return versions;
    while (!list.atEnd()) {
        const QList<QByteArray> parts = list.readLine().simplified().split(' ');
        if (parts.size() == 2 && parts.at(0).size() == 64)
            versions.insert(parts.at(0).toLower() + '|' + parts.at(1));
    }
    return versions;
}

// A copy the office left exactly as an earlier version shipped, while the
// program now ships another: written over in one step (a failure leaves it).
bool bringUpToDate(const QString &from, const QString &to, const QSet<QByteArray> &before)
{
    const QByteArray there = sha256Of(to);
    if (there.isEmpty() || !before.contains(there + '|' + QFileInfo(to).fileName().toUtf8()) || there == sha256Of(from))
        return false;
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly) || target.write(source.readAll()) < 0)
        return false;
    return target.commit();
}

} // namespace

int installStarterReports(const core::DataStore &store)
{
    const QDir source(starterReportsDir(store.programDir()));
    const QDir target(store.config().reportDir());
    if (!source.exists() || store.config().reportDir().isEmpty() || !target.exists())
        return 0;
    const QSet<QByteArray> before = shippedBefore(source);
    int copied = 0;
    for (const QString &file : source.entryList({QStringLiteral("*.rpt")}, QDir::Files)) {
        const QString to = target.filePath(file);
        if (QFileInfo::exists(to)) {
            copied += bringUpToDate(source.filePath(file), to, before);
            continue;
        }
        // Copied under a temporary name and renamed, which never replaces:
        // a half copy never stands as a report, and a file the office put
        // there meanwhile stays.
        const QString temp = QStringLiteral("%1.copy-%2")
                                 .arg(to)
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        if (!QFile::copy(source.filePath(file), temp)) {
            QFile::remove(temp);
            continue;
        }
        if (QFile::rename(temp, to))
            ++copied;
        else
            QFile::remove(temp);
    }
    return copied;
}

void addStarterCatalogue(engine::Database &db)
{
    engine::Transaction tx(db);
    for (const StarterReport &r : starterReports())
        db.execute(QStringLiteral("INSERT INTO rpts (report, description, parms) SELECT ?, ?, ? "
                                  "WHERE NOT EXISTS (SELECT 1 FROM rpts WHERE report = ?)"),
                   {r.report, r.description, r.parms, r.report});
    tx.commit();
}

} // namespace reports
