#include "reports/ReportDefinition.h"

#include "reports/ReportRender.h"
#include "screens/Services.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace reports {

namespace {

const QStringList kDateRange = {QLatin1String(kFromDate), QLatin1String(kToDate),
                                QLatin1String(kCaller)};

bool isIdentifier(const QString &s)
{
    static const QRegularExpression id(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return id.match(s).hasMatch();
}

// Splits "key = value"; false when the line has no '='.
bool keyValue(const QString &line, QString &key, QString &value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    key = line.left(eq).trimmed().toLower();
    value = line.mid(eq + 1).trimmed();
    return true;
}

bool isComment(const QString &trimmed)
{
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

struct Parser {
    ReportDefinition def;
    QString section;   // report, query, chart, layout
    int sectionLine = 0;
    QStringList body;  // lines of a query or the layout
    bool haveReport = false;
    bool haveLayout = false;

    [[noreturn]] void fail(int line, const QString &what) const
    {
        throw ReportError(def.messageAt(line, what));
    }

    void finishSection()
    {
        if (section == QLatin1String("query")) {
            QueryDef &q = def.queries.last();
            q.sql = body.join(QLatin1Char('\n')).trimmed();
            if (q.sql.isEmpty())
                fail(q.line, QStringLiteral("الاستعلام %1 فارغ").arg(q.name));
        } else if (section == QLatin1String("layout")) {
            def.layout = body.join(QLatin1Char('\n'));
            if (def.layout.trimmed().isEmpty())
                fail(sectionLine, QStringLiteral("قسم التصميم [layout] فارغ"));
        } else if (section == QLatin1String("chart")) {
            const ChartDef &c = def.charts.last();
            if (c.query.isEmpty() || c.labelColumn.isEmpty() || c.valueColumn.isEmpty())
                fail(c.line, QStringLiteral("الرسم %1 يحتاج query و label و value").arg(c.name));
        }
        body.clear();
    }

    void reportKey(int line, const QString &key, const QString &value)
    {
        if (key == QLatin1String("title")) {
            def.title = value;
        } else if (key == QLatin1String("parameters")) {
            QStringList names;
            for (const QString &p : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
                names << p.trimmed().toLower();
            const bool person = names == QStringList{QLatin1String(kPersonNo)};
            const bool range = names.size() <= 3 && kDateRange.mid(0, names.size()) == names;
            if (!person && !range) {
                for (const QString &n : names)
                    if (!kDateRange.contains(n) && n != QLatin1String(kPersonNo))
                        fail(line, QStringLiteral("معامل غير معروف: %1").arg(n));
                fail(line, QStringLiteral("المعاملات إما from_date, to_date, caller بهذا الترتيب "
                                          "(أو أولها)، وإما tamrel_no وحده"));
            }
            def.parameters = names;
        } else if (key == QLatin1String("orientation")) {
            if (value.compare(QLatin1String("landscape"), Qt::CaseInsensitive) == 0)
                def.landscape = true;
            else if (value.compare(QLatin1String("portrait"), Qt::CaseInsensitive) == 0)
                def.landscape = false;
            else
                fail(line, QStringLiteral("اتجاه الصفحة إما portrait وإما landscape"));
        } else if (key == QLatin1String("max_rows")) {
            bool ok = false;
            const qlonglong n = value.toLongLong(&ok);
            if (!ok || n < 1)
                fail(line, QStringLiteral("max_rows يجب أن يكون عددا موجبا"));
            def.maxRows = int(qMin<qlonglong>(n, kMaxRowsCap));
        } else if (key == QLatin1String("picture")) {
            def.picture = value;
        } else {
            fail(line, QStringLiteral("مفتاح غير معروف في [report]: %1").arg(key));
        }
    }

    void chartKey(int line, const QString &key, const QString &value)
    {
        ChartDef &c = def.charts.last();
        if (key == QLatin1String("type")) {
            const QString t = value.toLower();
            if (t == QLatin1String("bar"))
                c.type = ChartDef::Type::Bar;
            else if (t == QLatin1String("pie"))
                c.type = ChartDef::Type::Pie;
            else if (t == QLatin1String("line"))
                c.type = ChartDef::Type::Line;
            else
                fail(line, QStringLiteral("نوع الرسم إما bar أو pie أو line"));
        } else if (key == QLatin1String("query")) {
            c.query = value;
        } else if (key == QLatin1String("label")) {
            c.labelColumn = value;
        } else if (key == QLatin1String("value")) {
            c.valueColumn = value;
        } else if (key == QLatin1String("title")) {
            c.title = value;
        } else if (key == QLatin1String("width") || key == QLatin1String("height")) {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < 100 || n > 4000)
                fail(line, QStringLiteral("%1 بين 100 و 4000").arg(key));
            (key == QLatin1String("width") ? c.width : c.height) = n;
        } else {
            fail(line, QStringLiteral("مفتاح غير معروف في [chart]: %1").arg(key));
        }
    }

    void header(int line, const QRegularExpressionMatch &m)
    {
        finishSection();
        section = m.captured(1).toLower();
        sectionLine = line;
        const QString name = m.captured(2);
        const QString by = m.captured(3).trimmed();
        if (section == QLatin1String("report") || section == QLatin1String("layout")) {
            if (!name.isEmpty())
                fail(line, QStringLiteral("القسم [%1] لا يأخذ اسما").arg(section));
            bool &seen = section == QLatin1String("report") ? haveReport : haveLayout;
            if (seen)
                fail(line, QStringLiteral("القسم [%1] مكرر").arg(section));
            seen = true;
            return;
        }
        if (name.isEmpty() || !isIdentifier(name))
            fail(line, QStringLiteral("القسم [%1] يحتاج اسما من حروف لاتينية وأرقام").arg(section));
        if (section == QLatin1String("query")) {
            if (def.query(name))
                fail(line, QStringLiteral("الاستعلام %1 مكرر").arg(name));
            if (!by.isEmpty() && !isIdentifier(by))
                fail(line, QStringLiteral("عمود التجميع غير صالح: %1").arg(by));
            def.queries.append({name, {}, by, line});
        } else {
            if (!by.isEmpty())
                fail(line, QStringLiteral("الرسم لا يأخذ by"));
            for (const ChartDef &c : std::as_const(def.charts))
                if (c.name == name)
                    fail(line, QStringLiteral("الرسم %1 مكرر").arg(name));
            ChartDef c;
            c.name = name;
            c.line = line;
            def.charts.append(c);
        }
    }
};

} // namespace

const QueryDef *ReportDefinition::query(const QString &queryName) const
{
    for (const QueryDef &q : queries)
        if (q.name == queryName)
            return &q;
    return nullptr;
}

QMap<QString, QString> ReportDefinition::parameterValues(const QMap<QString, QString> &given) const
{
    QMap<QString, QString> values;
    for (const QString &name : parameters) {
        QString v = given.value(name).trimmed();
        if (v.isEmpty()) {
            if (name == QLatin1String(kFromDate))
                v = QStringLiteral("00000000");
            else if (name == QLatin1String(kToDate))
                v = QStringLiteral("99999999");
        }
        values.insert(name, v);
    }
    return values;
}

QString ReportDefinition::pictureFile(const QMap<QString, QString> &values) const
{
    if (picture.isEmpty())
        return {};
    QString file = picture;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QString part = QLatin1Char('{') + it.key() + QLatin1Char('}');
        if (!file.contains(part))
            continue;
        if (it.value().isEmpty())
            return {};
        file.replace(part, it.value());
    }
    // Only a plain file name: a value never leads into another folder.
    if (file.contains(QLatin1Char('{')) || file.contains(QLatin1Char('/'))
        || file.contains(QLatin1Char('\\')) || file.contains(QLatin1String(".."))
        || file.contains(QChar(0)))
        return {};
    return file;
}

QString ReportDefinition::message(const QString &what) const
{
    return QStringLiteral("ملف التقرير %1: %2").arg(core::leftToRight(path), what);
}

QString ReportDefinition::messageAt(int line, const QString &what) const
{
    return QStringLiteral("ملف التقرير %1، السطر %2: %3").arg(core::leftToRight(path)).arg(line).arg(what);
}

ReportDefinition parseReport(const QString &text, const QString &path)
{
    static const QRegularExpression headerForm(
        QStringLiteral("^\\[\\s*(report|query|chart|layout)(?:\\s+([^\\]\\s]+)(?:\\s+by\\s+([^\\]]+))?)?\\s*\\]\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    Parser p;
    p.def.path = path;
    p.def.name = QFileInfo(path).completeBaseName();
    QString content = text;
    if (content.startsWith(QChar(0xFEFF)))
        content.remove(0, 1);
    const QStringList lines = content.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const int lineNo = i + 1;
        const QRegularExpressionMatch m = headerForm.match(line);
        if (m.hasMatch()) {
            p.header(lineNo, m);
            continue;
        }
        const QString trimmed = line.trimmed();
        if (p.section == QLatin1String("query") || p.section == QLatin1String("layout")) {
            p.body << line;
            continue;
        }
        if (trimmed.isEmpty() || isComment(trimmed))
            continue;
        if (p.section.isEmpty())
            p.fail(lineNo, QStringLiteral("نص قبل أول قسم؛ يبدأ الملف بالقسم [report]"));
        QString key, value;
        if (!keyValue(trimmed, key, value))
            p.fail(lineNo, QStringLiteral("السطر ليس على صورة مفتاح = قيمة"));
        if (p.section == QLatin1String("report"))
            p.reportKey(lineNo, key, value);
        else
            p.chartKey(lineNo, key, value);
    }
    p.finishSection();

    ReportDefinition &def = p.def;
    if (!p.haveReport || def.title.isEmpty())
        throw ReportError(def.message(QStringLiteral("القسم [report] وعنوانه title مطلوبان")));
    if (!p.haveLayout)
        throw ReportError(def.message(QStringLiteral("القسم [layout] مطلوب")));
    if (const QString error = layoutError(def.layout); !error.isEmpty())
        throw ReportError(def.message(QStringLiteral("خطأ في قسم التصميم: %1").arg(error)));
    if (def.queries.isEmpty())
        throw ReportError(def.message(QStringLiteral("لا يوجد أي استعلام [query]")));
    for (const ChartDef &c : std::as_const(def.charts))
        if (!def.query(c.query))
            throw ReportError(def.messageAt(c.line, QStringLiteral("الرسم %1 يشير إلى استعلام غير موجود: %2")
                                                        .arg(c.name, c.query)));
    return def;
}

ReportDefinition readReportFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReportError(QStringLiteral("ملف التقرير %1: لا يمكن قراءته (%2)").arg(core::leftToRight(path), file.errorString()));
    // Read no further than the bound: the file may grow meanwhile.
    const QByteArray bytes = file.read(kMaxReportFileBytes + 1);
    if (bytes.size() > kMaxReportFileBytes)
        throw ReportError(QStringLiteral("ملف التقرير %1: حجمه أكبر من %2 ميغابايت، وهذا ليس ملف تقرير سليما")
                              .arg(core::leftToRight(path))
                              .arg(kMaxReportFileBytes / (1024 * 1024)));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError())
        throw ReportError(QStringLiteral("ملف التقرير %1: ليس نصا بترميز UTF-8").arg(core::leftToRight(path)));
    return parseReport(text, path);
}

} // namespace reports
