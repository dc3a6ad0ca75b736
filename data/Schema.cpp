#include "data/Schema.h"

#include "engine/Database.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QHash>
#include <QSet>

namespace core::schema {

namespace {

Column text(const QString &name, int maxLength = kPlainTextLength)
{
    return {name, Kind::Text, maxLength};
}
Column date(const QString &name)
{
    return {name, Kind::Text, kPlainTextLength, true};
}
Column memo(const QString &name) { return {name, Kind::Memo, 0}; }
Column integer(const QString &name) { return {name, Kind::Integer, 0}; }
Column boolean(const QString &name) { return {name, Kind::Boolean, 0}; }
Column check(const QString &name) { return {name, Kind::Check, 0}; }
Column autoNumber(const QString &name) { return {name, Kind::AutoNumber, 0}; }

QString quoted(const QString &identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

Table usersTable()
{
    Table t{QStringLiteral("users"), {}, {QStringLiteral("USERID")}, {}};
    t.columns = {text("USERID"), text("PASSWORD"), text("NAME"), text("english_NAME"),
                 text("TELEPHONE"), text("PAGER"), text("ADDRESS"), text("job")};
    for (int i = 1; i <= 14; ++i)
        t.columns << check(QStringLiteral("check%1").arg(i));
    return t;
}

Table tamrelTable()
{
    Table t{QStringLiteral("tamrel"), {}, {QStringLiteral("tamrel_no")}, {}};
    auto &c = t.columns;
    c << text("tamrel_no") << text("a_old_name") << text("e_old_name") << text("a_new_name")
      << text("e_new_name") << date("dateofislam") << boolean("sex") << boolean("m_status")
      << text("no_boys") << text("no_girls");
    for (int i = 1; i <= 5; ++i)
        c << text(QStringLiteral("language%1").arg(i));
    c << text("former_relgion") << text("denomination") << text("nationality") << text("iqama_no")
      << date("iqama_date") << date("birth") << text("passport_no") << text("occupation")
      << text("qualification") << text("picture") << text("age");
    // The address grid: one column of five rows per kind of particular.
    const char *rows[] = {"w", "h", "c", "f", "sponsor"};
    for (const char *kind : {"phone", "pobox", "zip_code", "city"})
        for (const char *row : rows)
            c << text(QStringLiteral("%1_%2").arg(QLatin1String(kind), QLatin1String(row)));
    c << text("friend_name") << text("sponsor_name") << memo("long_address")
      << text("witness_1") << text("witness_2") << text("manager") << text("shahada_place")
      << check("sponsor_doc") << check("khitan_doc") << check("tamrel_doc")
      << check("file_status") << check("vacation_status") << check("in_kingdom_status")
      << check("rejected_islam_status")
      << boolean("no_prayer") << boolean("yes_prayer") << boolean("group_prayer")
      << boolean("no_group_prayer") << boolean("unknown_prayer")
      << memo("comments") << text("followup_group") << date("advisor_date3")
      << text("day_a") << text("day_e") << text("DateOfIslam_E")
      << text("document_stat") << memo("document_stat_cmnt")
      << text("passport_issue_place_a") << text("passport_issue_place_e")
      << text("Place_of_birth") << text("daeyah_1") << text("daeyah_2")
      << memo("shahada_Place_comments") << text("advisor2") << text("advisor3")
      << text("name_escort") << text("city_escort") << text("phone_escort")
      << text("pobox_escort") << text("zip_code_escort") << text("str_name")
      << text("area_name") << memo("file_stat_cmnt") << date("passport_date_e")
      << date("Iqama_exp_date") << text("certificate") << text("certificate_stat")
      << text("certificate_take") << date("date_of_take") << text("no_certificate")
      << date("date_of_certificate");
    // Reports choose persons by their date of Islam and count them by
    // nationality, former religion and sex: this index answers that from
    // its own pages, without reading the long person rows.
    t.indexes << Index{QStringLiteral("tamrel_dateofislam_idx"),
                       {QStringLiteral("dateofislam"), QStringLiteral("nationality"),
                        QStringLiteral("former_relgion"), QStringLiteral("sex")}};
    return t;
}

Table witnessesTable()
{
    return {QStringLiteral("witnesses"),
            {text("NAME"), text("english_NAME"), text("TELEPHONE"), text("PAGER"),
             text("ADDRESS"), text("job")},
            {QStringLiteral("NAME")},
            {}};
}

Table followUpTable()
{
    return {QStringLiteral("followUp"),
            {text("tamrel_no"), integer("seq_no"), text("description"), date("step_start_date"),
             date("step_end_date"), text("evaluation"), memo("comments")},
            {QStringLiteral("tamrel_no"), QStringLiteral("seq_no")},
            {}};
}

Table followupGroupTable()
{
    return {QStringLiteral("followup_group"),
            {text("group_name"), text("english_NAME"), text("phone"), text("mobile"),
             text("leader_name"), text("language")},
            {QStringLiteral("group_name")},
            {}};
}

Table fieldEvaluationTable()
{
    return {QStringLiteral("Field_Evaluation"),
            {text("tamrel_no"), integer("seq_no"), text("evaluator_name"), text("evaluator"),
             date("date"), text("prayer_evaluation"), text("evaluation_place"),
             text("practice_of_islam"), text("integrity"), text("arabic_language_learning"),
             text("calling_non_muslim"), text("relation_with_muslims"),
             text("relation_with_nonmuslims"), text("overall_evaluation"),
             text("name_of_official"), memo("remarks")},
            {QStringLiteral("tamrel_no"), QStringLiteral("seq_no")},
            {}};
}

Table problemsTable()
{
    // The problems of one evaluation are looked up by (tamrel_no, seq_no);
    // the index keeps that fast on a large register without changing the
    // stored order (code order) in which they are shown.
    return {QStringLiteral("problems"),
            {autoNumber("code"), text("tamrel_no"), integer("seq_no"),
             text("Problems_Situation"), memo("Problems_Evaluation")},
            {QStringLiteral("code")},
            {{QStringLiteral("problems_evaluation_idx"),
              {QStringLiteral("tamrel_no"), QStringLiteral("seq_no")}}}};
}

Table followUpProblemsTable()
{
    return {QStringLiteral("follow_up_Problems"),
            {integer("code"), date("date_information"), text("name_of_follower"),
             text("Problems_Evaluation"), memo("notes"), autoNumber("auto_no")},
            {QStringLiteral("auto_no")},
            {{QStringLiteral("follow_up_problems_code_idx"), {QStringLiteral("code")}}}};
}

Table questionnaireTable()
{
    return {QStringLiteral("questionnaire"),
            {text("tamrel_no"), text("q1"), text("q2"), memo("q3"), memo("q4"), memo("q5"),
             memo("remark_1")},
            {QStringLiteral("tamrel_no")},
            {}};
}

Table coursesTable()
{
    return {QStringLiteral("courses"),
            {text("tamrel_no"), integer("seq_no"), text("description"), date("step_start_date"),
             date("step_end_date"), text("evaluation"), memo("comments")},
            {QStringLiteral("tamrel_no"), QStringLiteral("seq_no")},
            {}};
}

Table courseMaterialTable()
{
    return {QStringLiteral("CourseMaterial"),
            {text("language", kCodeTextLength), text("course_no", 20),
             text("description", 255), text("file_1", 30), text("unit", 10)},
            {QStringLiteral("language"), QStringLiteral("course_no")},
            {}};
}

Table formsTable()
{
    return {QStringLiteral("forms"),
            {text("form_no", 20), text("description", 50), text("file_1", 30),
             text("file_2", 30), text("file_3", 30)},
            {QStringLiteral("form_no")},
            {}};
}

Table infoTable()
{
    return {QStringLiteral("info"),
            {text("res_publica", 50), text("name_ of_institution", 120), text("direction", 120),
             text("manager", 120), text("admin2", 120), text("admin3", 120), text("admin4", 120),
             text("phone", 50), text("fax", 50), text("website", 80), text("email", 80),
             text("logo")},
            {},
            {}};
}

Table rptsTable()
{
    return {QStringLiteral("rpts"),
            {text("report", 10), text("description", 50), text("parms", 1)},
            {QStringLiteral("report")},
            {}};
}

Table pictureTable()
{
    return {QStringLiteral("picture"),
            {text("key"), Column{QStringLiteral("picture"), Kind::Blob, 0}},
            {QStringLiteral("key")},
            {}};
}

QList<Table> buildTables()
{
    QList<Table> all;
    all << usersTable() << tamrelTable() << witnessesTable() << followUpTable()
        << followupGroupTable() << fieldEvaluationTable() << problemsTable()
        << followUpProblemsTable() << questionnaireTable() << coursesTable()
        << courseMaterialTable() << formsTable();
    for (int n = 1; n <= kCodeTableCount; ++n) {
        const QString field = codeFieldName(n);
        all << Table{codeTableName(n), {text(field, kCodeTextLength)}, {field}, {}};
    }
    all << infoTable() << rptsTable() << pictureTable();
    return all;
}

} // namespace

QStringList Table::columnNames() const
{
    QStringList names;
    names.reserve(columns.size());
    for (const Column &c : columns)
        names << c.name;
    return names;
}

const Column *Table::column(const QString &anyCase) const
{
    for (const Column &c : columns)
        if (c.name.compare(anyCase, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

engine::TableDef Table::tableDef() const
{
    using Type = engine::FieldDef::Type;
    engine::TableDef def{name, {}, key};
    for (const Column &c : columns) {
        Type type = Type::Text;
        switch (c.kind) {
        case Kind::Text:
            type = Type::Text;
            break;
        case Kind::Memo:
            type = Type::Memo;
            break;
        case Kind::Integer:
            type = Type::Integer;
            break;
        case Kind::Boolean:
        case Kind::Check:
            type = Type::Flag;
            break;
        case Kind::AutoNumber:
            type = Type::AutoNumber;
            break;
        case Kind::Blob:
            type = Type::Blob;
            break;
        }
        def.fields << engine::FieldDef{c.name, type, c.kind == Kind::Text ? c.maxLength : 0};
    }
    return def;
}

const QList<Table> &tables()
{
    static const QList<Table> all = buildTables();
    return all;
}

bool isDateField(const QString &anyCase)
{
    static const QSet<QString> dates = [] {
        QSet<QString> names;
        for (const Table &t : tables())
            for (const Column &c : t.columns)
                if (c.date)
                    names.insert(c.name.toCaseFolded());
        return names;
    }();
    // Asked for every cell a list shows or writes out, by the few names of
    // its columns: the answers are kept per name as spelt.
    thread_local QHash<QString, bool> answered;
    const auto known = answered.constFind(anyCase);
    if (known != answered.constEnd())
        return *known;
    const bool date = dates.contains(anyCase.toCaseFolded());
    if (answered.size() < 4096)
        answered.insert(anyCase, date);
    return date;
}

const Table *findTable(const QString &anyCase)
{
    for (const Table &t : tables())
        if (t.name.compare(anyCase, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString codeTableName(int number)
{
    return QStringLiteral("category%1").arg(number);
}

QString codeFieldName(int number)
{
    static const char *const names[] = {"place",             "evaluator",
                                        "Overall_Evaluation", "prayer_evaluation",
                                        "problems_evaluation", "problems_situation",
                                        "RlationsWithOthers"};
    if (number >= 12 && number <= kCodeTableCount)
        return QLatin1String(names[number - 12]);
    return QStringLiteral("description");
}

QStringList starterCodes(int number)
{
    switch (number) {
    case 1: // languages
        return {"العربية", "الإنجليزية", "الأوردو", "الفلبينية", "الهندية", "البنغالية",
                "الإندونيسية", "السنهالية", "التاميلية", "المليالم", "النيبالية", "الأمهرية",
                "الفرنسية", "الصينية", "الكورية", "التايلندية", "السواحيلية"};
    case 2: // nationalities
        return {"فلبيني", "هندي", "سريلانكي", "نيبالي", "إندونيسي", "إثيوبي", "إريتري",
                "كيني", "أوغندي", "بنغلاديشي", "صيني", "كوري", "تايلندي", "فيتنامي",
                "أمريكي", "بريطاني", "فرنسي", "ألماني"};
    case 3: // former religions
        return {"النصرانية", "الهندوسية", "البوذية", "السيخية", "اليهودية", "لا ديني", "أخرى"};
    case 4: // denominations
        return {"كاثوليكي", "بروتستانتي", "أرثوذكسي", "إنجيلي", "السبتيون", "شهود يهوه",
                "ثيرافادا", "ماهايانا", "شيفي", "فيشنوي", "أخرى"};
    case 5: // occupations
        return {"عامل", "سائق", "عاملة منزلية", "ممرض", "مهندس", "طبيب", "معلم", "محاسب",
                "فني", "طباخ", "خياط", "مزارع", "موظف", "رجل أعمال", "طالب", "ربة منزل"};
    case 6: // qualifications
        return {"أمي", "يقرأ ويكتب", "ابتدائي", "متوسط", "ثانوي", "دبلوم", "بكالوريوس",
                "ماجستير", "دكتوراه"};
    case 7: // follow-up activities
        return {"زيارة منزلية", "اتصال هاتفي", "درس في المكتب", "رحلة عمرة", "إفطار جماعي",
                "محاضرة", "توزيع كتب", "زيارة ميدانية", "حفل تكريم"};
    case 8: // evaluation grades
        return {"ممتاز", "جيد جدا", "جيد", "مقبول", "ضعيف"};
    case 9: // courses
        return {"أساسيات الإسلام", "تعليم الصلاة", "الطهارة", "العقيدة", "تعليم القرآن الكريم",
                "اللغة العربية - المستوى الأول", "اللغة العربية - المستوى الثاني",
                "السيرة النبوية", "الفقه الميسر", "الأخلاق والآداب"};
    case 10: // how the person came to know Islam
        return {"صديق مسلم", "زميل في العمل", "الكفيل", "مكتب الدعوة", "الكتب والمطويات",
                "الإنترنت", "القنوات الفضائية", "الزواج", "المحاضرات", "أخرى"};
    case 11: // how long the person has thought about Islam
        return {"أقل من شهر", "من شهر إلى ستة أشهر", "من ستة أشهر إلى سنة",
                "من سنة إلى ثلاث سنوات", "أكثر من ثلاث سنوات"};
    case 12: // places of evaluation
        return {"المكتب", "المنزل", "مكان العمل", "المسجد", "السكن الجماعي", "الهاتف"};
    case 13: // capacity of the evaluators
        return {"داعية", "مشرف المجموعة", "مدير المكتب", "متطوع", "زميل من الجالية"};
    case 14: // overall evaluation
        return {"ممتاز", "جيد جدا", "جيد", "مقبول", "ضعيف", "يحتاج إلى متابعة مكثفة"};
    case 15: // prayer
        return {"يحافظ على الصلاة مع الجماعة", "يحافظ على الصلاة في البيت", "يترك أحيانا",
                "لا يصلي", "لا يعرف كيف يصلي"};
    case 16: // problems
        return {"مشكلة مالية", "مشكلة مع الكفيل", "مشكلة أسرية", "ضغوط من الأهل",
                "مشكلة في العمل", "مشكلة في الإقامة", "مشكلة صحية", "صعوبة في تعلم الصلاة",
                "عودة إلى البلد"};
    case 17: // status of problems
        return {"جديدة", "تحت المتابعة", "حلت", "لم تحل", "محولة إلى جهة أخرى"};
    case 18: // relations with others
        return {"ممتازة", "جيدة", "عادية", "ضعيفة", "متوترة"};
    default:
        return {};
    }
}

void createSchema(engine::Database &db)
{
    engine::Transaction tx(db);
    for (const Table &t : tables())
        db.createTable(t.tableDef());
    addMissingIndexes(db);
    addAuditTrail(db);
    tx.commit();
}

void addAuditTrail(engine::Database &db)
{
    if (db.hasTable(QLatin1String(kAuditTable)))
        return;
    using Type = engine::FieldDef::Type;
    // Texts fold letter case as every text of the office does, so the
    // viewer's look-up by user is an index search; the rows are only ever
    // added, which the database itself enforces.
    engine::TableDef audit{QLatin1String(kAuditTable),
                           {{QStringLiteral("audit_id"), Type::AutoNumber, 0},
                            {QStringLiteral("changed_at"), Type::Memo, 0},
                            {QStringLiteral("user_id"), Type::Memo, 0},
                            {QStringLiteral("workstation"), Type::Memo, 0},
                            {QStringLiteral("table_name"), Type::Memo, 0},
                            {QStringLiteral("record_key"), Type::Memo, 0},
                            {QStringLiteral("action"), Type::Memo, 0},
                            {QStringLiteral("changes"), Type::Memo, 0}},
                           {},
                           true};
    engine::Transaction tx(db);
    // Another workstation may have added it since the look above.
    if (db.hasTable(QLatin1String(kAuditTable)))
        return;
    db.createTable(audit);
    for (const QString &index : {QStringLiteral("CREATE INDEX audit_by_record ON audit (table_name, record_key, audit_id)"),
                                 QStringLiteral("CREATE INDEX audit_by_user ON audit (user_id, audit_id)"),
                                 QStringLiteral("CREATE INDEX audit_by_table ON audit (table_name, audit_id)"),
                                 QStringLiteral("CREATE INDEX audit_by_time ON audit (changed_at, audit_id)")})
        db.execute(index);
    tx.commit();
}

void addMissingIndexes(engine::Database &db)
{
    for (const Table &t : tables()) {
        for (const Index &ix : t.indexes) {
            QStringList cols;
            for (const QString &c : ix.columns)
                cols << quoted(c);
            db.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                           .arg(quoted(ix.name), quoted(t.name), cols.join(QLatin1String(", "))));
        }
    }
}

void fillStarterCodes(engine::Database &db)
{
    engine::Transaction tx(db);
    for (int n = 1; n <= kCodeTableCount; ++n) {
        const QString sql = QStringLiteral("INSERT OR IGNORE INTO %1 (%2) VALUES (?)")
                                .arg(quoted(codeTableName(n)), quoted(codeFieldName(n)));
        for (const QString &entry : starterCodes(n))
            db.execute(sql, {entry});
    }
    // The person report reads the picture of the person being printed from
    // the one row of this table; the row exists from the start.
    db.execute(QStringLiteral("INSERT OR IGNORE INTO \"picture\" (\"key\") VALUES (?)"),
               {QStringLiteral("a")});
    tx.commit();
}

engine::SearchIndexDef personSearchIndex()
{
    return {QStringLiteral("tamrel"),
            {QStringLiteral("tamrel_no"), QStringLiteral("a_old_name"), QStringLiteral("e_old_name"),
             QStringLiteral("a_new_name"), QStringLiteral("e_new_name"), QStringLiteral("iqama_no"),
             QStringLiteral("passport_no"), QStringLiteral("phone_w"), QStringLiteral("phone_h"),
             QStringLiteral("phone_c"), QStringLiteral("phone_f"), QStringLiteral("phone_sponsor"),
             QStringLiteral("birth")}};
}

void createFirstDatabase(const QString &path, const QString &password)
{
    if (QFileInfo::exists(path))
        throw engine::EngineError(kErrDatabaseExists,
                                  QStringLiteral("Database already exists: %1").arg(path));

    QString temp;
    do {
        temp = QStringLiteral("%1.new-%2-%3")
                   .arg(path)
                   .arg(QCoreApplication::applicationPid())
                   .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    } while (QFileInfo::exists(temp));

    auto removeTemp = [&temp] {
        for (const char *suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(temp + QLatin1String(suffix));
    };
    try {
        engine::Database db;
        db.create(temp, password);
        createSchema(db);
        fillStarterCodes(db);
        db.buildSearchIndex(personSearchIndex()); // empty: kept in step from the first person on
        db.close();
    } catch (...) {
        removeTemp();
        throw;
    }
    // rename() never replaces: a file that appeared meanwhile is kept.
    if (!QFile::rename(temp, path)) {
        removeTemp();
        if (QFileInfo::exists(path))
            throw engine::EngineError(kErrDatabaseExists,
                                      QStringLiteral("Database already exists: %1").arg(path));
        throw engine::EngineError(engine::ErrEngine,
                                  QStringLiteral("Cannot write the database %1").arg(path));
    }
}

} // namespace core::schema
