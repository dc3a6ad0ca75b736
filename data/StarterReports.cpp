#include "data/StarterReports.h"

#include "data/OpenDb.h"
#include "engine/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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

int installStarterReports(const core::DataStore &store)
{
    const QDir source(starterReportsDir(store.programDir()));
    const QDir target(store.config().reportDir());
    if (!source.exists() || store.config().reportDir().isEmpty() || !target.exists())
        return 0;
    int copied = 0;
    for (const QString &file : source.entryList({QStringLiteral("*.rpt")}, QDir::Files)) {
        const QString to = target.filePath(file);
        if (QFileInfo::exists(to))
            continue;
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
