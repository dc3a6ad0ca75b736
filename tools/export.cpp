// velm-export FROM FOLDER: the whole office database, a velm.mdb file or a
// server, as one CSV file per table in FOLDER, with README.txt naming the
// tables and their fields, so that the office's data can be read by any
// program. Every table is read from one moment of the database. The users'
// password hashes are left out. Exit code 0 only when every table was written.

#include "data/DatabaseCopy.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "sheets/SheetWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <QSaveFile>

#include <cstdio>

namespace {

using core::schema::Kind;

// What each table holds, for the README.
const QHash<QString, QString> &tableMeanings()
{
    static const QHash<QString, QString> meanings = [] {
        QHash<QString, QString> m{
            {"users", "the program's users and their fourteen permissions (المستخدمون)"},
            {"tamrel", "the register: one row per person who embraced Islam (المهتدون)"},
            {"witnesses", "witnesses and callers (الشهود والدعاة)"},
            {"followUp", "follow-up activities, numbered per person (متابعة الأنشطة)"},
            {"followup_group", "follow-up groups (مجموعات المتابعة)"},
            {"Field_Evaluation", "field evaluations, numbered per person (التقييم الميداني)"},
            {"problems", "problems found in an evaluation (المشكلات)"},
            {"follow_up_Problems", "the follow-up diary of a problem, by its code (متابعة المشكلات)"},
            {"questionnaire", "one questionnaire per person (الاستبانة)"},
            {"courses", "courses taken, numbered per person (الدورات)"},
            {"CourseMaterial", "the catalogue of course material (المواد التعليمية)"},
            {"forms", "the catalogue of printable forms (النماذج)"},
            {"info", "the office's particulars (بيانات المؤسسة)"},
            {"rpts", "the report catalogue (التقارير)"},
            {"picture", "the picture handed to the person report"},
            {"audit", "the audit trail: who added, changed or deleted which record, when (سجل التعديلات)"}};
        for (int n = 1; n <= core::schema::kCodeTableCount; ++n)
            m.insert(core::schema::codeTableName(n), QStringLiteral("code table %1 (جدول رموز)").arg(n));
        return m;
    }();
    return meanings;
}

QString kindText(const core::schema::Column &c)
{
    switch (c.kind) {
    case Kind::Text:
        return c.maxLength > 0 ? QStringLiteral("text, up to %1 characters").arg(c.maxLength) : QStringLiteral("text");
    case Kind::Memo:
        return QStringLiteral("text without a limit");
    case Kind::Integer:
        return QStringLiteral("whole number");
    case Kind::Boolean:
        return QStringLiteral("yes/no: 1 or 0");
    case Kind::Check:
        return QStringLiteral("check box: 1 ticked, 0 not");
    case Kind::AutoNumber:
        return QStringLiteral("number given by the database");
    case Kind::Blob:
        return QStringLiteral("picture: the file's bytes in base64");
    }
    return {};
}

struct TableOut {
    QString name;
    QList<core::schema::Column> columns; // as written
    QStringList key;
    qint64 rows = 0;
    bool passwordLeftOut = false;
};

// The columns a table is written with: the schema's, or what the database
// declares for the audit trail; never the users' password hashes.
TableOut describe(engine::Database &db, const QString &table)
{
    TableOut t;
    t.name = table;
    if (const core::schema::Table *s = core::schema::findTable(table)) {
        t.key = s->key;
        for (const core::schema::Column &c : s->columns) {
            if (table == QLatin1String("users") && c.name.compare(QLatin1String("PASSWORD"), Qt::CaseInsensitive) == 0) {
                t.passwordLeftOut = true;
                continue;
            }
            t.columns << c;
        }
        return t;
    }
    for (const engine::ColumnInfo &c : db.columns(db.tableName(table))) {
        t.columns << core::schema::Column{c.name, c.autoIncrement ? Kind::AutoNumber : Kind::Memo, 0};
        if (c.autoIncrement)
            t.key << c.name;
    }
    return t;
}

QString csvValue(const QVariant &v)
{
    if (v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QString::number(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toBase64());
    default:
        return v.toString();
    }
}

QString bracketed(const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        out << QLatin1Char('[') + n + QLatin1Char(']');
    return out.join(QLatin1String(", "));
}

// Writes one table; throws EngineError, or returns the writer's failure.
QString writeTable(engine::Database &db, TableOut &t, const QString &file)
{
    sheets::Options exact;
    exact.guardFormulas = false; // the values as they are, nothing added
    auto out = sheets::createWriter(sheets::Format::Csv, file, exact);
    QList<sheets::Column> headings;
    QStringList names;
    for (const core::schema::Column &c : std::as_const(t.columns)) {
        headings.append({c.name, 0});
        names << c.name;
    }
    out->beginSheet(t.name, headings);
    if (db.hasTable(t.name)) {
        QString sql = QStringLiteral("SELECT %1 FROM [%2]").arg(bracketed(names), db.tableName(t.name));
        if (!t.key.isEmpty())
            sql += QStringLiteral(" ORDER BY ") + bracketed(t.key);
        engine::Statement select(db, sql);
        QStringList cells;
        while (select.step() && !out->failed()) {
            cells.clear();
            for (int i = 0; i < names.size(); ++i)
                cells << csvValue(select.value(i));
            out->addRow(cells);
        }
    }
    t.rows = out->rowsWritten();
    if (!out->finish())
        return out->errorText();
    return {};
}

QString readme(const QString &from, const QList<TableOut> &tables)
{
    QString r;
    r += QStringLiteral("The office database as CSV files\n================================\n\n");
    r += QStringLiteral("Exported %1 from %2 by velm-export.\n\n")
             .arg(QDateTime::currentDateTime().toString(Qt::ISODate), from);
    r += QStringLiteral(
        "Each table is one file <table>.csv: UTF-8 with a byte order mark, comma separated, the first line "
        "the field names, texts in double quotes where they hold a comma, a quote or a line break (a quote "
        "doubled), lines ended by CR LF. All tables were read at one moment of the database. The values are "
        "exactly as stored, nothing added: an empty field is an empty text or no value; many texts the "
        "program leaves empty hold a single blank. The dates chosen with year, month and day lists are Hijri "
        "texts of eight digits, yyyymmdd, \"0000\" or \"00\" marking a part not chosen. "
        "Fields fed by a code table hold the entry's text itself. A spreadsheet program may take a text "
        "beginning with = + - or @ for a formula: import such files as text.\n\n"
        "Left out: the users' password hashes (the field PASSWORD of users). They open nothing outside the "
        "program and would only help to guess the passwords.\n\n");
    r += QStringLiteral("Tables\n------\n\n");
    for (const TableOut &t : tables) {
        r += QStringLiteral("%1.csv: %2; %3 rows").arg(t.name, tableMeanings().value(t.name, t.name)).arg(t.rows);
        if (!t.key.isEmpty())
            r += QStringLiteral("; one row per %1, in that order").arg(t.key.join(QLatin1String(" + ")));
        r += QStringLiteral(".\n");
        for (const core::schema::Column &c : t.columns)
            r += QStringLiteral("    %1: %2\n").arg(c.name, kindText(c));
        if (t.passwordLeftOut)
            r += QStringLiteral("    (PASSWORD left out)\n");
        r += QLatin1Char('\n');
    }
    return r;
}

bool writeText(const QString &path, const QString &text)
{
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0 && f.commit();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2 || args.at(0).startsWith(QLatin1String("-"))) {
        std::fprintf(stderr, "usage: velm-export FROM FOLDER\n"
                             "  FROM: a velm.mdb file, a connection string or service=NAME\n"
                             "  FOLDER: where the CSV files and README.txt are written (made when missing)\n");
        return 2;
    }
    const QString folder = args.at(1);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "velm-export: the folder %s cannot be made\n", qPrintable(folder));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    QList<TableOut> written;
    QStringList failed;
    try {
        engine::Database db;
        core::openNamedDatabase(db, args.at(0));
        std::printf("velm-export: %s -> %s\n", qPrintable(db.path()), qPrintable(QDir(folder).absolutePath()));
        core::inOneSnapshot(db, [&] {
            for (const QString &table : core::copiedTables()) {
                TableOut t = describe(db, table);
                const QString error = writeTable(db, t, QDir(folder).filePath(table + QStringLiteral(".csv")));
                std::printf("  %-22s %9lld rows%s%s\n", qPrintable(table), t.rows, error.isEmpty() ? "" : "  FAILED: ",
                            qPrintable(error));
                if (!error.isEmpty())
                    failed << table;
                written << t;
            }
        });
        if (!writeText(QDir(folder).filePath(QStringLiteral("README.txt")), readme(db.path(), written)))
            failed << QStringLiteral("README.txt");
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "velm-export: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    qint64 rows = 0;
    for (const TableOut &t : std::as_const(written))
        rows += t.rows;
    std::printf("%lld rows of %lld tables in %.1f s; %s\n", rows, qint64(written.size()), timer.elapsed() / 1000.0,
                failed.isEmpty() ? "every table written" : qPrintable(QStringLiteral("NOT written: ") + failed.join(' ')));
    return failed.isEmpty() ? 0 : 1;
}
