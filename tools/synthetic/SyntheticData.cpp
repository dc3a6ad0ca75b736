#include "synthetic/SyntheticData.h"

#include "data/HijraDate.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QCalendar>
#include <QDate>
#include <QList>
#include <QString>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace core {

namespace {

using Bytes = QByteArray;

struct NamePair {
    Bytes ar;
    Bytes en;
};

Bytes u8(const char *text) { return Bytes(text); }

// A prepared INSERT of one table, reused for every row. Values are held in
// the row buffer until the row is written.
class Insert {
public:
    Insert(engine::Database &db, const QString &table, const QString &verb = QStringLiteral("INSERT"))
        : m_db(db), m_insert(db, insertSql(table, verb, m_columns))
    {
        m_row.resize(m_columns.size());
    }
    Insert(const Insert &) = delete;
    Insert &operator=(const Insert &) = delete;

    int col(const char *name) const
    {
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns.at(i).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return i;
        throw engine::EngineError(engine::ErrItemNotFound, QLatin1String(name));
    }

    void text(int col, const Bytes &value) { m_row[col] = {Value::Text, 0, value}; }
    void number(int col, qint64 value) { m_row[col] = {Value::Int, value, {}}; }
    void null(int col) { m_row[col] = {Value::Null, 0, {}}; }

    // Writes the row and starts an empty one; returns the new rowid.
    qint64 run()
    {
        engine::BackendStatement &insert = *m_insert.handle();
        for (int i = 0; i < int(m_row.size()); ++i) {
            const Value &v = m_row[size_t(i)];
            switch (v.type) {
            case Value::Null:
                insert.bindNull(i + 1);
                break;
            case Value::Int:
                insert.bindInteger(i + 1, v.i);
                break;
            case Value::Text:
                insert.bindText(i + 1, v.t);
                break;
            }
        }
        m_insert.step();
        for (Value &v : m_row)
            v = {};
        return m_db.lastInsertRowId();
    }

private:
    struct Value {
        enum Type { Null, Int, Text } type = Null;
        qint64 i = 0;
        Bytes t;
    };

    // The statement for the table's columns (those the engine does not give),
    // whose names it adds to `columns`.
    static QString insertSql(const QString &table, const QString &verb, QStringList &columns)
    {
        const schema::Table *t = schema::findTable(table);
        if (!t)
            throw engine::EngineError(engine::ErrObjectNotFound, table);
        QStringList names, marks;
        for (const schema::Column &c : t->columns) {
            if (c.kind == schema::Kind::AutoNumber)
                continue; // given by the engine
            columns << c.name;
            names << QLatin1Char('"') + c.name + QLatin1Char('"');
            marks << QStringLiteral("?");
        }
        return QStringLiteral("%1 INTO \"%2\" (%3) VALUES (%4)")
            .arg(verb, t->name, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    }

    engine::Database &m_db;
    QStringList m_columns; // filled before the statement is prepared
    engine::Statement m_insert;
    std::vector<Value> m_row;
};

// Name and text pools: plausible, not real people.
const std::vector<NamePair> kOldMale = {
    {u8("جون"), u8("John")},       {u8("مايكل"), u8("Michael")}, {u8("روبرت"), u8("Robert")},
    {u8("خوسيه"), u8("Jose")},     {u8("ماريو"), u8("Mario")},   {u8("راميش"), u8("Ramesh")},
    {u8("سانجاي"), u8("Sanjay")},  {u8("بيتر"), u8("Peter")},    {u8("دانيال"), u8("Daniel")},
    {u8("جوزيف"), u8("Joseph")},   {u8("ريكاردو"), u8("Ricardo")}, {u8("أنطونيو"), u8("Antonio")},
    {u8("كومار"), u8("Kumar")},    {u8("سوريش"), u8("Suresh")},  {u8("ديفيد"), u8("David")},
    {u8("مارك"), u8("Mark")}};
const std::vector<NamePair> kOldFemale = {
    {u8("ماريا"), u8("Maria")},  {u8("آنا"), u8("Ana")},        {u8("جوي"), u8("Joy")},
    {u8("روزا"), u8("Rosa")},    {u8("ليزا"), u8("Lisa")},      {u8("بريا"), u8("Priya")},
    {u8("لاكشمي"), u8("Lakshmi")}, {u8("ميلاني"), u8("Melanie")}, {u8("غريس"), u8("Grace")},
    {u8("إيلينا"), u8("Elena")}, {u8("كريستينا"), u8("Cristina")}, {u8("ميرسي"), u8("Mercy")}};
const std::vector<NamePair> kFamily = {
    {u8("سانتوس"), u8("Santos")},  {u8("كروز"), u8("Cruz")},       {u8("رييس"), u8("Reyes")},
    {u8("غارسيا"), u8("Garcia")},  {u8("ميندوزا"), u8("Mendoza")}, {u8("بيريرا"), u8("Perera")},
    {u8("فرناندو"), u8("Fernando")}, {u8("سينغ"), u8("Singh")},    {u8("شارما"), u8("Sharma")},
    {u8("ناير"), u8("Nair")},      {u8("تامانغ"), u8("Tamang")},   {u8("سميث"), u8("Smith")},
    {u8("جونسون"), u8("Johnson")}, {u8("أبيبي"), u8("Abebe")},    {u8("تسفاي"), u8("Tesfaye")},
    {u8("ليم"), u8("Lim")},        {u8("وانغ"), u8("Wang")},       {u8("أوتينو"), u8("Otieno")}};
const std::vector<NamePair> kNewMale = {
    {u8("عبدالله"), u8("Abdullah")},     {u8("محمد"), u8("Mohammed")}, {u8("أحمد"), u8("Ahmed")},
    {u8("عبدالرحمن"), u8("Abdulrahman")}, {u8("يوسف"), u8("Yousef")},  {u8("إبراهيم"), u8("Ibrahim")},
    {u8("عمر"), u8("Omar")},             {u8("خالد"), u8("Khalid")},   {u8("بلال"), u8("Bilal")},
    {u8("حمزة"), u8("Hamza")},           {u8("سلمان"), u8("Salman")},  {u8("عبدالعزيز"), u8("Abdulaziz")}};
const std::vector<NamePair> kNewFemale = {
    {u8("عائشة"), u8("Aisha")},   {u8("فاطمة"), u8("Fatimah")}, {u8("خديجة"), u8("Khadijah")},
    {u8("مريم"), u8("Maryam")},   {u8("أسماء"), u8("Asmaa")},   {u8("زينب"), u8("Zainab")},
    {u8("سمية"), u8("Sumayyah")}, {u8("حفصة"), u8("Hafsah")},   {u8("آمنة"), u8("Aminah")},
    {u8("نور"), u8("Noor")}};
const std::vector<NamePair> kLocalFirst = {
    {u8("عبدالله"), u8("Abdullah")}, {u8("محمد"), u8("Mohammed")},  {u8("سعد"), u8("Saad")},
    {u8("فهد"), u8("Fahad")},        {u8("ناصر"), u8("Nasser")},     {u8("عبدالرحمن"), u8("Abdulrahman")},
    {u8("صالح"), u8("Saleh")},       {u8("سليمان"), u8("Sulaiman")}, {u8("إبراهيم"), u8("Ibrahim")},
    {u8("خالد"), u8("Khalid")}};
const std::vector<NamePair> kLocalFamily = {
    {u8("العتيبي"), u8("Al-Otaibi")},  {u8("الشهري"), u8("Al-Shehri")},
    {u8("القحطاني"), u8("Al-Qahtani")}, {u8("الغامدي"), u8("Al-Ghamdi")},
    {u8("الدوسري"), u8("Al-Dosari")},  {u8("الحربي"), u8("Al-Harbi")},
    {u8("الزهراني"), u8("Al-Zahrani")}, {u8("المطيري"), u8("Al-Mutairi")}};
const std::vector<NamePair> kHomeCities = {
    {u8("مانيلا"), u8("Manila")},   {u8("سيبو"), u8("Cebu")},         {u8("كولومبو"), u8("Colombo")},
    {u8("كاتماندو"), u8("Kathmandu")}, {u8("مومباي"), u8("Mumbai")},  {u8("كوتشي"), u8("Kochi")},
    {u8("أديس أبابا"), u8("Addis Ababa")}, {u8("جاكرتا"), u8("Jakarta")}, {u8("نيروبي"), u8("Nairobi")},
    {u8("دكا"), u8("Dhaka")},       {u8("لندن"), u8("London")},       {u8("سيول"), u8("Seoul")}};
const std::vector<Bytes> kCities = {u8("الرياض"), u8("جدة"),   u8("الدمام"), u8("مكة المكرمة"),
                                    u8("المدينة المنورة"), u8("الخبر"), u8("الطائف"), u8("أبها")};
const std::vector<Bytes> kDistricts = {u8("العليا"), u8("الملز"),   u8("السليمانية"), u8("النسيم"),
                                       u8("الروضة"), u8("الشفا"), u8("العزيزية"),   u8("البطحاء")};
const std::vector<Bytes> kStreets = {u8("شارع الملك فهد"), u8("شارع العليا العام"),
                                     u8("شارع الستين"),    u8("طريق الملك عبدالعزيز"),
                                     u8("شارع الأمير سلطان"), u8("شارع التخصصي")};
const std::vector<Bytes> kPersonComments = {
    u8("أسلم بعد حضور عدة دروس في المكتب"), u8("يحتاج إلى متابعة مستمرة"),
    u8("متعاون ويرغب في دعوة أصدقائه"),      u8("يرغب في تعلم القرآن الكريم"),
    u8("زوجته مسلمة"),                      u8("ينتقل قريبا إلى مدينة أخرى")};
const std::vector<Bytes> kStepComments = {u8("حضر مع صديقه"), u8("تم الاتصال ولم يرد"),
                                          u8("مستواه في تحسن"), u8("طلب كتبا بلغته"),
                                          u8("يحتاج إلى تكرار الدرس")};
const std::vector<Bytes> kReasons = {u8("اقتنع بالتوحيد"), u8("تأثر بأخلاق المسلمين"),
                                     u8("قرأ عن الإسلام بلغته"), u8("أعجبته الصلاة")};
const std::vector<Bytes> kDelays = {u8("الخوف من الأهل"), u8("لم يعرف كيف يسلم"),
                                    u8("ظروف العمل"), u8("لا يوجد سبب")};
const std::vector<Bytes> kHow = {u8("في المكتب مع الداعية"), u8("بعد درس عن التوحيد"),
                                 u8("بمساعدة صديق مسلم"), u8("في المسجد بعد صلاة الجمعة")};
const std::vector<Bytes> kProblemTexts = {u8("تأخر الراتب ثلاثة أشهر"), u8("الأهل يرفضون إسلامه"),
                                          u8("انتهت الإقامة ولم تجدد"), u8("خلاف مع الكفيل على العمل"),
                                          u8("يحتاج إلى علاج"), u8("لا يجد وقتا لتعلم الصلاة")};
const std::vector<Bytes> kProblemNotes = {u8("تم التواصل مع الكفيل"), u8("تمت زيارته في السكن"),
                                          u8("أحيل إلى الجهة المختصة"), u8("ينتظر الرد")};
const std::vector<Bytes> kCourseGrades = {u8("جيد"), u8("جيد جدا"), u8("ممتاز"), u8("مقبول"),
                                          u8("اجتياز")};
const std::vector<Bytes> kCertificateUnderWay = {u8("لاتوجد حركة"), u8("مصادقة الوزارة"),
                                                 u8("توقيع المدير"), u8("مسترجع الوزارة")};
const std::vector<Bytes> kCertificateIssued = {u8("سلمت"), u8("في المكتب")};
class Generator {
public:
    explicit Generator(quint32 seed) : m_rng(seed) {}

    int below(int n) { return n <= 1 ? 0 : int(m_rng() % quint32(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T &pick(const std::vector<T> &pool) { return pool[size_t(below(int(pool.size())))]; }

    Bytes digits(int count, char first = 0)
    {
        Bytes out(count, '0');
        for (int i = 0; i < count; ++i)
            out[i] = char('0' + below(10));
        if (first)
            out[0] = first;
        return out;
    }
    static Bytes date(int y, int m, int d)
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
        return Bytes(buf);
    }
    // Hijri or Gregorian yyyymmdd; day 1..29 (or 28) exists in every month.
    Bytes hijri(int fromYear, int toYear, int *y = nullptr, int *m = nullptr, int *d = nullptr)
    {
        const int yy = fromYear + below(toYear - fromYear + 1), mm = 1 + below(12),
                  dd = 1 + below(29);
        if (y) {
            *y = yy;
            *m = mm;
            *d = dd;
        }
        return date(yy, mm, dd);
    }
    Bytes gregorian(int fromYear, int toYear)
    {
        return date(fromYear + below(toYear - fromYear + 1), 1 + below(12), 1 + below(28));
    }

private:
    std::mt19937 m_rng;
};

std::vector<Bytes> readCodes(engine::Database &db, int number)
{
    std::vector<Bytes> codes;
    engine::QueryCursor q(db, QStringLiteral("SELECT * FROM \"%1\"").arg(schema::codeTableName(number)));
    while (q.next())
        if (!q.value(0).isNull())
            codes.push_back(q.value(0).toString().toUtf8());
    if (codes.empty())
        for (const QString &s : schema::starterCodes(number))
            codes.push_back(s.toUtf8());
    return codes;
}

std::vector<Bytes> readColumn(engine::Database &db, const QString &sql)
{
    std::vector<Bytes> values;
    engine::QueryCursor q(db, sql);
    while (q.next())
        values.push_back(q.value(0).toString().toUtf8());
    return values;
}

struct Group {
    Bytes name, leader, mobile;
};

} // namespace

SyntheticCounts fillSynthetic(engine::Database &db, int persons, quint32 seed,
                              const SyntheticOptions &options)
{
    SyntheticCounts counts;
    Generator g(seed);
    const Bytes blank(" ");

    std::vector<Bytes> codes[schema::kCodeTableCount + 1];
    for (int n = 1; n <= schema::kCodeTableCount; ++n)
        codes[n] = readCodes(db, n);

    // Witnesses and follow-up groups first: the person rows name them.
    {
        engine::Transaction tx(db);
        Insert w(db, QStringLiteral("witnesses"), QStringLiteral("INSERT OR IGNORE"));
        const int wName = w.col("NAME"), wEn = w.col("english_NAME"), wTel = w.col("TELEPHONE"),
                  wPager = w.col("PAGER"), wAddr = w.col("ADDRESS"), wJob = w.col("job");
        for (size_t i = 0; i < kLocalFirst.size(); ++i) {
            for (size_t f = 0; f < 4; ++f) {
                const NamePair &first = kLocalFirst[i];
                const NamePair &family = kLocalFamily[(i + f) % kLocalFamily.size()];
                w.text(wName, first.ar + ' ' + family.ar);
                w.text(wEn, first.en + ' ' + family.en);
                w.text(wTel, "05" + g.digits(8));
                w.text(wPager, blank);
                w.text(wAddr, g.pick(kCities));
                w.text(wJob, u8("داعية"));
                w.run();
                ++counts.witnesses;
            }
        }
        Insert grp(db, QStringLiteral("followup_group"), QStringLiteral("INSERT OR IGNORE"));
        const int gName = grp.col("group_name"), gEn = grp.col("english_NAME"),
                  gPhone = grp.col("phone"), gMobile = grp.col("mobile"),
                  gLeader = grp.col("leader_name"), gLang = grp.col("language");
        for (int i = 1; i <= 12; ++i) {
            grp.text(gName, u8("مجموعة المتابعة ") + Bytes::number(i));
            grp.text(gEn, "Follow-up group " + Bytes::number(i));
            grp.text(gPhone, "011" + g.digits(7));
            grp.text(gMobile, "05" + g.digits(8));
            grp.text(gLeader, g.pick(kLocalFirst).ar + ' ' + g.pick(kLocalFamily).ar);
            grp.text(gLang, g.pick(codes[1]));
            grp.run();
            ++counts.groups;
        }
        tx.commit();
    }
    const std::vector<Bytes> witnesses =
        readColumn(db, QStringLiteral("SELECT \"NAME\" FROM \"witnesses\""));
    std::vector<Group> groups;
    {
        engine::QueryCursor q(db, QStringLiteral(
            "SELECT \"group_name\", \"leader_name\", \"mobile\" FROM \"followup_group\""));
        while (q.next())
            groups.push_back({q.value(0).toString().toUtf8(), q.value(1).toString().toUtf8(),
                              q.value(2).toString().toUtf8()});
    }

    const qint64 first =
        db.scalar(QStringLiteral("SELECT max(CAST(\"tamrel_no\" AS INTEGER)) FROM \"tamrel\""))
            .toLongLong() + 1;

    Insert person(db, QStringLiteral("tamrel"));
    const int cNo = person.col("tamrel_no"), cAOld = person.col("a_old_name"),
              cEOld = person.col("e_old_name"), cANew = person.col("a_new_name"),
              cENew = person.col("e_new_name"), cIslam = person.col("dateofislam"),
              cSex = person.col("sex"), cMarried = person.col("m_status"),
              cBoys = person.col("no_boys"), cGirls = person.col("no_girls"),
              cReligion = person.col("former_relgion"), cDenom = person.col("denomination"),
              cNation = person.col("nationality"), cIqama = person.col("iqama_no"),
              cIqamaDate = person.col("iqama_date"), cBirth = person.col("birth"),
              cPassport = person.col("passport_no"), cOccupation = person.col("occupation"),
              cQualification = person.col("qualification"), cPicture = person.col("picture"),
              cAge = person.col("age"), cFriend = person.col("friend_name"),
              cSponsor = person.col("sponsor_name"), cLongAddr = person.col("long_address"),
              cWit1 = person.col("witness_1"), cWit2 = person.col("witness_2"),
              cManager = person.col("manager"), cShahada = person.col("shahada_place"),
              cComments = person.col("comments"), cGroup = person.col("followup_group"),
              cAdvDate = person.col("advisor_date3"), cDayA = person.col("day_a"),
              cDayE = person.col("day_e"), cIslamE = person.col("DateOfIslam_E"),
              cDocStat = person.col("document_stat"), cDocCmnt = person.col("document_stat_cmnt"),
              cIssueA = person.col("passport_issue_place_a"),
              cIssueE = person.col("passport_issue_place_e"), cBirthPlace = person.col("Place_of_birth"),
              cDaeyah1 = person.col("daeyah_1"), cDaeyah2 = person.col("daeyah_2"),
              cShahadaCmnt = person.col("shahada_Place_comments"), cAdv2 = person.col("advisor2"),
              cAdv3 = person.col("advisor3"), cStreet = person.col("str_name"),
              cArea = person.col("area_name"), cFileCmnt = person.col("file_stat_cmnt"),
              cPassDate = person.col("passport_date_e"), cIqamaExp = person.col("Iqama_exp_date"),
              cCert = person.col("certificate"), cCertStat = person.col("certificate_stat"),
              cCertTake = person.col("certificate_take"), cTakeDate = person.col("date_of_take"),
              cCertNo = person.col("no_certificate"), cCertDate = person.col("date_of_certificate");
    int cLang[5], cEscort[5], cChecks[7], cPrayer[5];
    for (int i = 0; i < 5; ++i)
        cLang[i] = person.col(QStringLiteral("language%1").arg(i + 1).toLatin1().constData());
    {
        const char *escort[] = {"name_escort", "city_escort", "phone_escort", "pobox_escort",
                                "zip_code_escort"};
        for (int i = 0; i < 5; ++i)
            cEscort[i] = person.col(escort[i]);
        const char *checks[] = {"sponsor_doc",     "khitan_doc",        "tamrel_doc",
                                "file_status",     "vacation_status",   "in_kingdom_status",
                                "rejected_islam_status"};
        for (int i = 0; i < 7; ++i)
            cChecks[i] = person.col(checks[i]);
        const char *prayer[] = {"no_prayer", "yes_prayer", "group_prayer", "no_group_prayer",
                                "unknown_prayer"};
        for (int i = 0; i < 5; ++i)
            cPrayer[i] = person.col(prayer[i]);
    }
    int cAddress[4][5]; // phone, pobox, zip_code, city x w, h, c, f, sponsor
    {
        const char *kinds[] = {"phone", "pobox", "zip_code", "city"};
        const char *rows[] = {"w", "h", "c", "f", "sponsor"};
        for (int k = 0; k < 4; ++k)
            for (int r = 0; r < 5; ++r)
                cAddress[k][r] = person.col(
                    QStringLiteral("%1_%2").arg(QLatin1String(kinds[k]), QLatin1String(rows[r]))
                        .toLatin1()
                        .constData());
    }

    std::unique_ptr<Insert> step, course, evaluation, problem, problemStep, quest;
    struct {
        int no, seq, description, start, end, evaluation, comments;
    } sc{}, cc{};
    struct {
        int no, seq, evaluatorName, evaluator, date, prayer, place, practice, integrity, arabic,
            calling, withMuslims, withOthers, overall, official, remarks;
    } ec{};
    struct {
        int no, seq, situation, description;
    } pc{};
    struct {
        int code, date, follower, status, notes;
    } fc{};
    struct {
        int no, q1, q2, q3, q4, q5, remark;
    } qc{};
    if (options.relatedRows) {
        step = std::make_unique<Insert>(db, QStringLiteral("followUp"));
        course = std::make_unique<Insert>(db, QStringLiteral("courses"));
        for (auto [ins, c] : {std::pair{step.get(), &sc}, std::pair{course.get(), &cc}})
            *c = {ins->col("tamrel_no"), ins->col("seq_no"), ins->col("description"),
                  ins->col("step_start_date"), ins->col("step_end_date"), ins->col("evaluation"),
                  ins->col("comments")};
        evaluation = std::make_unique<Insert>(db, QStringLiteral("Field_Evaluation"));
        const Insert &e = *evaluation;
        ec = {e.col("tamrel_no"), e.col("seq_no"), e.col("evaluator_name"), e.col("evaluator"),
              e.col("date"), e.col("prayer_evaluation"), e.col("evaluation_place"),
              e.col("practice_of_islam"), e.col("integrity"), e.col("arabic_language_learning"),
              e.col("calling_non_muslim"), e.col("relation_with_muslims"),
              e.col("relation_with_nonmuslims"), e.col("overall_evaluation"),
              e.col("name_of_official"), e.col("remarks")};
        problem = std::make_unique<Insert>(db, QStringLiteral("problems"));
        pc = {problem->col("tamrel_no"), problem->col("seq_no"), problem->col("Problems_Situation"),
              problem->col("Problems_Evaluation")};
        problemStep = std::make_unique<Insert>(db, QStringLiteral("follow_up_Problems"));
        fc = {problemStep->col("code"), problemStep->col("date_information"),
              problemStep->col("name_of_follower"), problemStep->col("Problems_Evaluation"),
              problemStep->col("notes")};
        quest = std::make_unique<Insert>(db, QStringLiteral("questionnaire"));
        qc = {quest->col("tamrel_no"), quest->col("q1"), quest->col("q2"), quest->col("q3"),
              quest->col("q4"), quest->col("q5"), quest->col("remark_1")};
    }

    const QCalendar hijriCalendar(QCalendar::System::IslamicCivil);
    const int batch = qMax(1, options.batchSize);

    // While the batches are written: a large page cache (the key indexes
    // of a big register do not fit the default one), checkpoints of the
    // write-ahead log in large steps, and no sync at each batch's commit
    // (the file stays consistent; a crash loses at most the last batches).
    // The connection's settings are restored on every way out.
    struct Setting {
        engine::Database &db;
        QString name;
        QVariant old;
        Setting(engine::Database &d, const QString &n, const QString &value)
            : db(d), name(n), old(d.scalar(QStringLiteral("PRAGMA %1").arg(n)))
        {
            db.execute(QStringLiteral("PRAGMA %1 = %2").arg(name, value));
        }
        ~Setting()
        {
            try {
                db.execute(QStringLiteral("PRAGMA %1 = %2").arg(name, old.toString()));
            } catch (const engine::EngineError &) {
            }
        }
    };
    const Setting cache(db, QStringLiteral("cache_size"), QStringLiteral("-262144"));
    const Setting checkpoint(db, QStringLiteral("wal_autocheckpoint"), QStringLiteral("16384"));
    const Setting sync(db, QStringLiteral("synchronous"), QStringLiteral("1"));

    for (int done = 0; done < persons;) {
        engine::Transaction tx(db);
        const int end = qMin(persons, done + batch);
        for (; done < end; ++done) {
            const Bytes no = Bytes::number(first + done);
            const bool male = g.chance(70);
            const NamePair &oldFirst = g.pick(male ? kOldMale : kOldFemale);
            const NamePair &newFirst = g.pick(male ? kNewMale : kNewFemale);
            const NamePair &family = g.pick(kFamily);
            const NamePair &home = g.pick(kHomeCities);

            person.text(cNo, no);
            person.text(cAOld, oldFirst.ar + ' ' + family.ar);
            person.text(cEOld, oldFirst.en + ' ' + family.en);
            person.text(cANew, newFirst.ar + ' ' + family.ar);
            person.text(cENew, newFirst.en + ' ' + family.en);

            int hy, hm, hd;
            person.text(cIslam, g.hijri(1420, 1446, &hy, &hm, &hd));
            const QDate islam(hy, hm, hd, hijriCalendar);
            if (islam.isValid()) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", islam.year(), islam.month(),
                              islam.day());
                person.text(cIslamE, Bytes(buf));
                person.text(cDayA, arabicWeekday(islam).toUtf8());
                person.text(cDayE, englishWeekday(islam).toUtf8());
            }
            person.number(cSex, male ? 1 : 0);
            const bool married = g.chance(55);
            person.number(cMarried, married ? 1 : 0);
            person.text(cBoys, married ? Bytes::number(g.below(4)) : Bytes());
            person.text(cGirls, married ? Bytes::number(g.below(4)) : Bytes());

            person.text(cLang[0], g.pick(codes[1]));
            person.text(cLang[1], g.chance(40) ? codes[1].front() : blank);
            for (int i = 2; i < 5; ++i)
                person.text(cLang[i], blank);
            person.text(cReligion, g.pick(codes[3]));
            person.text(cDenom, g.pick(codes[4]));
            person.text(cNation, g.pick(codes[2]));
            person.text(cIqama, g.digits(10, '2'));
            person.text(cIqamaDate, g.hijri(1415, 1445));
            const int birthYear = 1955 + g.below(48);
            person.text(cBirth, Generator::date(birthYear, 1 + g.below(12), 1 + g.below(28)));
            const Bytes passportLetter(1, char('A' + g.below(26)));
            person.text(cPassport, passportLetter + g.digits(7));
            person.text(cOccupation, g.pick(codes[5]));
            person.text(cQualification, g.pick(codes[6]));
            person.text(cPicture, "pic" + no + ".jpg");
            person.text(cAge, Bytes::number(qMax(16, (islam.isValid() ? islam.year() : 2010) - birthYear)));

            for (int r = 0; r < 5; ++r) {
                // Home and work in the kingdom are usually known; the rest
                // of the grid mostly stays blank.
                const bool known = r < 2 ? g.chance(80) : g.chance(25);
                person.text(cAddress[0][r], known ? "05" + g.digits(8) : blank);
                person.text(cAddress[1][r], known && g.chance(50) ? g.digits(5) : blank);
                person.text(cAddress[2][r], known && g.chance(50) ? g.digits(5) : blank);
                person.text(cAddress[3][r], known ? (r == 2 ? home.ar : g.pick(kCities)) : blank);
            }
            person.text(cFriend, g.chance(50) ? g.pick(kNewMale).ar + ' ' + g.pick(kFamily).ar : blank);
            person.text(cSponsor, g.pick(kLocalFirst).ar + ' ' + g.pick(kLocalFamily).ar);
            person.text(cLongAddr, g.chance(30) ? home.ar + u8(" - ") + g.digits(3) : blank);
            person.text(cWit1, g.pick(witnesses));
            person.text(cWit2, g.pick(witnesses));
            person.text(cManager, g.pick(witnesses));
            person.text(cShahada, g.chance(85) ? u8("المكتب") : u8("خارج المكتب!"));

            const int checkChance[7] = {60, 40, 80, 90, 10, 85, 1};
            for (int i = 0; i < 7; ++i)
                person.number(cChecks[i], g.chance(checkChance[i]) ? 1 : 0);
            const int prayer = g.below(5);
            for (int i = 0; i < 5; ++i)
                person.number(cPrayer[i], i == prayer ? 1 : 0);

            person.text(cComments, g.chance(20) ? g.pick(kPersonComments) : blank);
            const Group &grp = groups.empty() ? Group{blank, blank, blank} : g.pick(groups);
            person.text(cGroup, grp.name);
            person.text(cAdv2, grp.leader);
            person.text(cAdv3, grp.mobile);
            person.text(cAdvDate, g.chance(50) ? g.hijri(1425, 1446) : Bytes("00000000"));
            const bool complete = g.chance(80);
            person.text(cDocStat, complete ? u8("البيانات كاملة") : u8("البيانات غير كاملة"));
            person.text(cDocCmnt, complete ? blank : u8("ينقص صورة الجواز"));
            person.text(cIssueA, home.ar);
            person.text(cIssueE, home.en);
            person.text(cBirthPlace, home.ar);
            person.text(cDaeyah1, g.pick(witnesses));
            person.text(cDaeyah2, g.chance(40) ? g.pick(witnesses) : blank);
            person.text(cShahadaCmnt, blank);
            for (int i = 0; i < 5; ++i)
                person.text(cEscort[i], blank);
            person.text(cStreet, g.pick(kStreets));
            person.text(cArea, g.pick(kDistricts));
            person.text(cFileCmnt, blank);
            person.text(cPassDate, g.gregorian(2005, 2024));
            person.text(cIqamaExp, g.hijri(1440, 1449));

            const int cert = g.below(10); // 0-5 issued, 6-8 under way, 9 not chosen
            if (cert < 6) {
                person.text(cCert, "0");
                person.text(cCertStat, g.pick(kCertificateIssued));
                person.text(cCertTake, newFirst.ar + ' ' + family.ar);
                person.text(cTakeDate, g.hijri(1425, 1446));
                person.text(cCertNo, g.digits(6));
                person.text(cCertDate, g.hijri(1425, 1446));
            } else if (cert < 9) {
                person.text(cCert, "1");
                person.text(cCertStat, g.pick(kCertificateUnderWay));
                person.text(cCertTake, blank);
                person.text(cTakeDate, "00000000");
                person.text(cCertNo, blank);
                person.text(cCertDate, "00000000");
            } else {
                person.text(cCert, "2");
                person.text(cCertStat, Bytes());
                person.text(cCertTake, blank);
                person.text(cTakeDate, "00000000");
                person.text(cCertNo, blank);
                person.text(cCertDate, "00000000");
            }
            person.run();
            ++counts.persons;

            if (!options.relatedRows)
                continue;

            const int steps = g.below(5);
            for (int n = 1; n <= steps; ++n) {
                step->text(sc.no, no);
                step->number(sc.seq, n);
                step->text(sc.description, g.pick(codes[7]));
                step->text(sc.start, g.hijri(hy, qMin(hy + 2, 1446)));
                step->text(sc.end, g.chance(70) ? g.hijri(hy, qMin(hy + 3, 1447)) : Bytes("00000000"));
                step->text(sc.evaluation, g.pick(codes[8]));
                step->text(sc.comments, g.chance(30) ? g.pick(kStepComments) : blank);
                step->run();
                ++counts.followUps;
            }
            const int courseCount = g.below(4);
            for (int n = 1; n <= courseCount; ++n) {
                course->text(cc.no, no);
                course->number(cc.seq, n);
                course->text(cc.description, g.pick(codes[9]));
                course->text(cc.start, g.hijri(hy, qMin(hy + 2, 1446)));
                course->text(cc.end, g.hijri(hy, qMin(hy + 3, 1447)));
                course->text(cc.evaluation, g.pick(kCourseGrades));
                course->text(cc.comments, g.chance(20) ? g.pick(kStepComments) : blank);
                course->run();
                ++counts.courses;
            }
            const int evaluations = g.chance(40) ? 1 + g.below(2) : 0;
            for (int n = 1; n <= evaluations; ++n) {
                Insert &e = *evaluation;
                e.text(ec.no, no);
                e.number(ec.seq, n);
                e.text(ec.evaluatorName, g.pick(kLocalFirst).ar + ' ' + g.pick(kLocalFamily).ar);
                e.text(ec.evaluator, g.pick(codes[13]));
                e.text(ec.date, g.hijri(hy, qMin(hy + 3, 1447)));
                e.text(ec.prayer, g.pick(codes[15]));
                e.text(ec.place, g.pick(codes[12]));
                for (int c : {ec.practice, ec.integrity, ec.arabic, ec.calling})
                    e.text(c, g.pick(codes[8]));
                e.text(ec.withMuslims, g.pick(codes[18]));
                e.text(ec.withOthers, g.pick(codes[18]));
                e.text(ec.overall, g.pick(codes[14]));
                e.text(ec.official, g.pick(witnesses));
                e.text(ec.remarks, g.chance(30) ? g.pick(kStepComments) : blank);
                e.run();
                ++counts.evaluations;

                const int problems = g.chance(30) ? 1 + g.below(3) : 0;
                for (int p = 0; p < problems; ++p) {
                    problem->text(pc.no, no);
                    problem->number(pc.seq, n);
                    problem->text(pc.situation, g.pick(codes[16]));
                    problem->text(pc.description, g.pick(kProblemTexts));
                    const qint64 code = problem->run();
                    ++counts.problems;
                    const int followUps = g.below(3);
                    for (int f = 0; f < followUps; ++f) {
                        problemStep->number(fc.code, code);
                        problemStep->text(fc.date, g.hijri(hy, qMin(hy + 3, 1447)));
                        problemStep->text(fc.follower,
                                          g.pick(kLocalFirst).ar + ' ' + g.pick(kLocalFamily).ar);
                        problemStep->text(fc.status, g.pick(codes[17]));
                        problemStep->text(fc.notes, g.pick(kProblemNotes));
                        problemStep->run();
                        ++counts.problemFollowUps;
                    }
                }
            }
            if (g.chance(60)) {
                quest->text(qc.no, no);
                quest->text(qc.q1, g.pick(codes[10]));
                quest->text(qc.q2, g.pick(codes[11]));
                quest->text(qc.q3, g.pick(kReasons));
                quest->text(qc.q4, g.pick(kDelays));
                quest->text(qc.q5, g.pick(kHow));
                quest->text(qc.remark, blank);
                quest->run();
                ++counts.questionnaires;
            }
        }
        tx.commit();
    }
    return counts;
}

} // namespace core
