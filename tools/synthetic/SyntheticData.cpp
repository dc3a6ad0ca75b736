#include "synthetic/SyntheticData.h"

#include "data/HijraDate.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QCalendar>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdio>
#include <limits>
#include <optional>
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

const Bytes kBlank(" ");

// What the rows draw their texts from besides the name pools: the code
// tables' texts by table number (0 unused), the witnesses and the groups.
struct Offered {
    std::vector<std::vector<Bytes>> codes;
    std::vector<Bytes> witnesses;
    std::vector<Group> groups;
};

std::vector<std::vector<Bytes>> readAllCodes(engine::Database &db)
{
    std::vector<std::vector<Bytes>> codes(schema::kCodeTableCount + 1);
    for (int n = 1; n <= schema::kCodeTableCount; ++n)
        codes[size_t(n)] = readCodes(db, n);
    return codes;
}

std::vector<Group> readGroups(engine::Database &db)
{
    std::vector<Group> groups;
    engine::QueryCursor q(db, QStringLiteral(
        "SELECT \"group_name\", \"leader_name\", \"mobile\" FROM \"followup_group\""));
    while (q.next())
        groups.push_back({q.value(0).toString().toUtf8(), q.value(1).toString().toUtf8(),
                          q.value(2).toString().toUtf8()});
    return groups;
}

void writeWitnesses(engine::Database &db, Generator &g, SyntheticCounts &counts)
{
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
            w.text(wPager, kBlank);
            w.text(wAddr, g.pick(kCities));
            w.text(wJob, u8("داعية"));
            w.run();
            ++counts.witnesses;
        }
    }
}

void writeGroups(engine::Database &db, Generator &g, const std::vector<Bytes> &languages,
                 SyntheticCounts &counts)
{
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
        grp.text(gLang, g.pick(languages));
        grp.run();
        ++counts.groups;
    }
}

// The column numbers of a person row, looked up once.
struct PersonColumns {
    explicit PersonColumns(const Insert &person);

    int no, aOld, eOld, aNew, eNew, islam, sex, married, boys, girls, religion, denom, nation,
        iqama, iqamaDate, birth, passport, occupation, qualification, picture, age, friendName,
        sponsor, longAddr, wit1, wit2, manager, shahada, comments, group, advDate, dayA, dayE,
        islamE, docStat, docCmnt, issueA, issueE, birthPlace, daeyah1, daeyah2, shahadaCmnt,
        adv2, adv3, street, area, fileCmnt, passDate, iqamaExp, cert, certStat, certTake,
        takeDate, certNo, certDate;
    int lang[5], escort[5], checks[7], prayer[5];
    int address[4][5]; // phone, pobox, zip_code, city x w, h, c, f, sponsor
};

PersonColumns::PersonColumns(const Insert &p)
    : no(p.col("tamrel_no")), aOld(p.col("a_old_name")), eOld(p.col("e_old_name")),
      aNew(p.col("a_new_name")), eNew(p.col("e_new_name")), islam(p.col("dateofislam")),
      sex(p.col("sex")), married(p.col("m_status")), boys(p.col("no_boys")),
      girls(p.col("no_girls")), religion(p.col("former_relgion")), denom(p.col("denomination")),
      nation(p.col("nationality")), iqama(p.col("iqama_no")), iqamaDate(p.col("iqama_date")),
      birth(p.col("birth")), passport(p.col("passport_no")), occupation(p.col("occupation")),
      qualification(p.col("qualification")), picture(p.col("picture")), age(p.col("age")),
      friendName(p.col("friend_name")), sponsor(p.col("sponsor_name")),
      longAddr(p.col("long_address")), wit1(p.col("witness_1")), wit2(p.col("witness_2")),
      manager(p.col("manager")), shahada(p.col("shahada_place")), comments(p.col("comments")),
      group(p.col("followup_group")), advDate(p.col("advisor_date3")), dayA(p.col("day_a")),
      dayE(p.col("day_e")), islamE(p.col("DateOfIslam_E")), docStat(p.col("document_stat")),
      docCmnt(p.col("document_stat_cmnt")), issueA(p.col("passport_issue_place_a")),
      issueE(p.col("passport_issue_place_e")), birthPlace(p.col("Place_of_birth")),
      daeyah1(p.col("daeyah_1")), daeyah2(p.col("daeyah_2")),
      shahadaCmnt(p.col("shahada_Place_comments")), adv2(p.col("advisor2")),
      adv3(p.col("advisor3")), street(p.col("str_name")), area(p.col("area_name")),
      fileCmnt(p.col("file_stat_cmnt")), passDate(p.col("passport_date_e")),
      iqamaExp(p.col("Iqama_exp_date")), cert(p.col("certificate")),
      certStat(p.col("certificate_stat")), certTake(p.col("certificate_take")),
      takeDate(p.col("date_of_take")), certNo(p.col("no_certificate")),
      certDate(p.col("date_of_certificate"))
{
    for (int i = 0; i < 5; ++i)
        lang[i] = p.col(QStringLiteral("language%1").arg(i + 1).toLatin1().constData());
    const char *escorts[] = {"name_escort", "city_escort", "phone_escort", "pobox_escort",
                             "zip_code_escort"};
    for (int i = 0; i < 5; ++i)
        escort[i] = p.col(escorts[i]);
    const char *checkNames[] = {"sponsor_doc",     "khitan_doc",        "tamrel_doc",
                                "file_status",     "vacation_status",   "in_kingdom_status",
                                "rejected_islam_status"};
    for (int i = 0; i < 7; ++i)
        checks[i] = p.col(checkNames[i]);
    const char *prayers[] = {"no_prayer", "yes_prayer", "group_prayer", "no_group_prayer",
                             "unknown_prayer"};
    for (int i = 0; i < 5; ++i)
        prayer[i] = p.col(prayers[i]);
    const char *kinds[] = {"phone", "pobox", "zip_code", "city"};
    const char *rows[] = {"w", "h", "c", "f", "sponsor"};
    for (int k = 0; k < 4; ++k)
        for (int r = 0; r < 5; ++r)
            address[k][r] = p.col(
                QStringLiteral("%1_%2").arg(QLatin1String(kinds[k]), QLatin1String(rows[r]))
                    .toLatin1()
                    .constData());
}

// What one person's row is drawn around; the related rows follow from the
// number and the year of Islam.
struct PersonDraw {
    Bytes no;
    bool male = true;
    const NamePair *newFirst = nullptr;
    const NamePair *family = nullptr;
    const NamePair *home = nullptr;
    int hijriYear = 0;
    QDate islam;
    int birthYear = 0;
};

// Writes person rows. Each part draws from the generator in a fixed order:
// the same seed gives the same persons.
class PersonWriter {
public:
    PersonWriter(engine::Database &db, Generator &g, const Offered &offered)
        : m_person(db, QStringLiteral("tamrel")), m_c(m_person), m_g(g), m_offered(offered),
          m_hijri(QCalendar::System::IslamicCivil)
    {
    }

    // Writes person `no`; what the related rows need of it.
    PersonDraw write(const Bytes &no)
    {
        PersonDraw p;
        p.no = no;
        writeNamesAndIslam(p);
        writeDocuments(p);
        writeContacts(p);
        writeOfficeRecord(p);
        writeCertificate(p);
        m_person.run();
        return p;
    }

private:
    const std::vector<Bytes> &codes(int table) const { return m_offered.codes[size_t(table)]; }
    void writeNamesAndIslam(PersonDraw &p);
    void writeDocuments(const PersonDraw &p);
    void writeContacts(const PersonDraw &p);
    void writeOfficeRecord(const PersonDraw &p);
    void writeCertificate(const PersonDraw &p);

    Insert m_person;
    const PersonColumns m_c;
    Generator &m_g;
    const Offered &m_offered;
    const QCalendar m_hijri;
};

void PersonWriter::writeNamesAndIslam(PersonDraw &p)
{
    Generator &g = m_g;
    Insert &person = m_person;
    const bool male = g.chance(70);
    const NamePair &oldFirst = g.pick(male ? kOldMale : kOldFemale);
    const NamePair &newFirst = g.pick(male ? kNewMale : kNewFemale);
    const NamePair &family = g.pick(kFamily);
    const NamePair &home = g.pick(kHomeCities);
    p.male = male;
    p.newFirst = &newFirst;
    p.family = &family;
    p.home = &home;

    person.text(m_c.no, p.no);
    person.text(m_c.aOld, oldFirst.ar + ' ' + family.ar);
    person.text(m_c.eOld, oldFirst.en + ' ' + family.en);
    person.text(m_c.aNew, newFirst.ar + ' ' + family.ar);
    person.text(m_c.eNew, newFirst.en + ' ' + family.en);

    int hy, hm, hd;
    person.text(m_c.islam, g.hijri(1420, 1446, &hy, &hm, &hd));
    const QDate islam(hy, hm, hd, m_hijri);
    if (islam.isValid()) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", islam.year(), islam.month(),
                      islam.day());
        person.text(m_c.islamE, Bytes(buf));
        person.text(m_c.dayA, arabicWeekday(islam).toUtf8());
        person.text(m_c.dayE, englishWeekday(islam).toUtf8());
    }
    p.hijriYear = hy;
    p.islam = islam;
    person.number(m_c.sex, male ? 1 : 0);
    const bool married = g.chance(55);
    person.number(m_c.married, married ? 1 : 0);
    person.text(m_c.boys, married ? Bytes::number(g.below(4)) : Bytes());
    person.text(m_c.girls, married ? Bytes::number(g.below(4)) : Bytes());
}

void PersonWriter::writeDocuments(const PersonDraw &p)
{
    Generator &g = m_g;
    Insert &person = m_person;
    const Bytes &blank = kBlank;
    person.text(m_c.lang[0], g.pick(codes(1)));
    person.text(m_c.lang[1], g.chance(40) ? codes(1).front() : blank);
    for (int i = 2; i < 5; ++i)
        person.text(m_c.lang[i], blank);
    person.text(m_c.religion, g.pick(codes(3)));
    person.text(m_c.denom, g.pick(codes(4)));
    person.text(m_c.nation, g.pick(codes(2)));
    person.text(m_c.iqama, g.digits(10, '2'));
    person.text(m_c.iqamaDate, g.hijri(1415, 1445));
    const int birthYear = 1955 + g.below(48);
    person.text(m_c.birth, Generator::date(birthYear, 1 + g.below(12), 1 + g.below(28)));
    const Bytes passportLetter(1, char('A' + g.below(26)));
    person.text(m_c.passport, passportLetter + g.digits(7));
    person.text(m_c.occupation, g.pick(codes(5)));
    person.text(m_c.qualification, g.pick(codes(6)));
    person.text(m_c.picture, "pic" + p.no + ".jpg");
    const QDate &islam = p.islam;
    person.text(m_c.age, Bytes::number(qMax(16, (islam.isValid() ? islam.year() : 2010) - birthYear)));
}

void PersonWriter::writeContacts(const PersonDraw &p)
{
    Generator &g = m_g;
    Insert &person = m_person;
    const Bytes &blank = kBlank;
    const NamePair &home = *p.home;
    const std::vector<Bytes> &witnesses = m_offered.witnesses;
    for (int r = 0; r < 5; ++r) {
        // Home and work in the kingdom are usually known; the rest
        // of the grid mostly stays blank.
        const bool known = r < 2 ? g.chance(80) : g.chance(25);
        person.text(m_c.address[0][r], known ? "05" + g.digits(8) : blank);
        person.text(m_c.address[1][r], known && g.chance(50) ? g.digits(5) : blank);
        person.text(m_c.address[2][r], known && g.chance(50) ? g.digits(5) : blank);
        person.text(m_c.address[3][r], known ? (r == 2 ? home.ar : g.pick(kCities)) : blank);
    }
    person.text(m_c.friendName, g.chance(50) ? g.pick(kNewMale).ar + ' ' + g.pick(kFamily).ar : blank);
    person.text(m_c.sponsor, g.pick(kLocalFirst).ar + ' ' + g.pick(kLocalFamily).ar);
    person.text(m_c.longAddr, g.chance(30) ? home.ar + u8(" - ") + g.digits(3) : blank);
    person.text(m_c.wit1, g.pick(witnesses));
    person.text(m_c.wit2, g.pick(witnesses));
    person.text(m_c.manager, g.pick(witnesses));
    person.text(m_c.shahada, g.chance(85) ? u8("المكتب") : u8("خارج المكتب!"));
}

void PersonWriter::writeOfficeRecord(const PersonDraw &p)
{
    Generator &g = m_g;
    Insert &person = m_person;
    const Bytes &blank = kBlank;
    const NamePair &home = *p.home;
    const std::vector<Bytes> &witnesses = m_offered.witnesses;
    const std::vector<Group> &groups = m_offered.groups;
    const int checkChance[7] = {60, 40, 80, 90, 10, 85, 1};
    for (int i = 0; i < 7; ++i)
        person.number(m_c.checks[i], g.chance(checkChance[i]) ? 1 : 0);
    const int prayer = g.below(5);
    for (int i = 0; i < 5; ++i)
        person.number(m_c.prayer[i], i == prayer ? 1 : 0);

    person.text(m_c.comments, g.chance(20) ? g.pick(kPersonComments) : blank);
    const Group &grp = groups.empty() ? Group{blank, blank, blank} : g.pick(groups);
    person.text(m_c.group, grp.name);
    person.text(m_c.adv2, grp.leader);
    person.text(m_c.adv3, grp.mobile);
    person.text(m_c.advDate, g.chance(50) ? g.hijri(1425, 1446) : Bytes("00000000"));
    const bool complete = g.chance(80);
    person.text(m_c.docStat, complete ? u8("البيانات كاملة") : u8("البيانات غير كاملة"));
    person.text(m_c.docCmnt, complete ? blank : u8("ينقص صورة الجواز"));
    person.text(m_c.issueA, home.ar);
    person.text(m_c.issueE, home.en);
    person.text(m_c.birthPlace, home.ar);
    person.text(m_c.daeyah1, g.pick(witnesses));
    person.text(m_c.daeyah2, g.chance(40) ? g.pick(witnesses) : blank);
    person.text(m_c.shahadaCmnt, blank);
    for (int i = 0; i < 5; ++i)
        person.text(m_c.escort[i], blank);
    person.text(m_c.street, g.pick(kStreets));
    person.text(m_c.area, g.pick(kDistricts));
    person.text(m_c.fileCmnt, blank);
    person.text(m_c.passDate, g.gregorian(2005, 2024));
    person.text(m_c.iqamaExp, g.hijri(1440, 1449));
}

void PersonWriter::writeCertificate(const PersonDraw &p)
{
    Generator &g = m_g;
    Insert &person = m_person;
    const Bytes &blank = kBlank;
    const int cert = g.below(10); // 0-5 issued, 6-8 under way, 9 not chosen
    if (cert < 6) {
        person.text(m_c.cert, "0");
        person.text(m_c.certStat, g.pick(kCertificateIssued));
        person.text(m_c.certTake, p.newFirst->ar + ' ' + p.family->ar);
        person.text(m_c.takeDate, g.hijri(1425, 1446));
        person.text(m_c.certNo, g.digits(6));
        person.text(m_c.certDate, g.hijri(1425, 1446));
        return;
    }
    person.text(m_c.cert, cert < 9 ? "1" : "2");
    person.text(m_c.certStat, cert < 9 ? g.pick(kCertificateUnderWay) : Bytes());
    person.text(m_c.certTake, blank);
    person.text(m_c.takeDate, "00000000");
    person.text(m_c.certNo, blank);
    person.text(m_c.certDate, "00000000");
}

// Writes the rows related to a person: follow-up steps, courses, field
// evaluations with their problems and the problems' follow-ups, and the
// questionnaire.
class RelatedWriter {
public:
    RelatedWriter(engine::Database &db, Generator &g, const Offered &offered);

    void write(const PersonDraw &p, SyntheticCounts &counts)
    {
        writeSteps(p, counts);
        writeCourses(p, counts);
        writeEvaluations(p, counts);
        writeQuestionnaire(p, counts);
    }

private:
    const std::vector<Bytes> &codes(int table) const { return m_offered.codes[size_t(table)]; }
    void writeSteps(const PersonDraw &p, SyntheticCounts &counts);
    void writeCourses(const PersonDraw &p, SyntheticCounts &counts);
    void writeEvaluations(const PersonDraw &p, SyntheticCounts &counts);
    void writeProblems(const PersonDraw &p, int seq, SyntheticCounts &counts);
    void writeQuestionnaire(const PersonDraw &p, SyntheticCounts &counts);

    Generator &m_g;
    const Offered &m_offered;
    Insert m_step, m_course, m_evaluation, m_problem, m_problemStep, m_quest;
    // Steps and courses share their columns' names.
    struct {
        int no, seq, description, start, end, evaluation, comments;
    } m_sc{}, m_cc{};
    struct {
        int no, seq, evaluatorName, evaluator, date, prayer, place, practice, integrity, arabic,
            calling, withMuslims, withOthers, overall, official, remarks;
    } m_ec{};
    struct {
        int no, seq, situation, description;
    } m_pc{};
    struct {
        int code, date, follower, status, notes;
    } m_fc{};
    struct {
        int no, q1, q2, q3, q4, q5, remark;
    } m_qc{};
};

RelatedWriter::RelatedWriter(engine::Database &db, Generator &g, const Offered &offered)
    : m_g(g), m_offered(offered), m_step(db, QStringLiteral("followUp")),
      m_course(db, QStringLiteral("courses")), m_evaluation(db, QStringLiteral("Field_Evaluation")),
      m_problem(db, QStringLiteral("problems")),
      m_problemStep(db, QStringLiteral("follow_up_Problems")),
      m_quest(db, QStringLiteral("questionnaire"))
{
    for (auto [ins, c] : {std::pair{&m_step, &m_sc}, std::pair{&m_course, &m_cc}})
        *c = {ins->col("tamrel_no"), ins->col("seq_no"), ins->col("description"),
              ins->col("step_start_date"), ins->col("step_end_date"), ins->col("evaluation"),
              ins->col("comments")};
    const Insert &e = m_evaluation;
    m_ec = {e.col("tamrel_no"), e.col("seq_no"), e.col("evaluator_name"), e.col("evaluator"),
            e.col("date"), e.col("prayer_evaluation"), e.col("evaluation_place"),
            e.col("practice_of_islam"), e.col("integrity"), e.col("arabic_language_learning"),
            e.col("calling_non_muslim"), e.col("relation_with_muslims"),
            e.col("relation_with_nonmuslims"), e.col("overall_evaluation"),
            e.col("name_of_official"), e.col("remarks")};
    m_pc = {m_problem.col("tamrel_no"), m_problem.col("seq_no"), m_problem.col("Problems_Situation"),
            m_problem.col("Problems_Evaluation")};
    m_fc = {m_problemStep.col("code"), m_problemStep.col("date_information"),
            m_problemStep.col("name_of_follower"), m_problemStep.col("Problems_Evaluation"),
            m_problemStep.col("notes")};
    m_qc = {m_quest.col("tamrel_no"), m_quest.col("q1"), m_quest.col("q2"), m_quest.col("q3"),
            m_quest.col("q4"), m_quest.col("q5"), m_quest.col("remark_1")};
}

void RelatedWriter::writeSteps(const PersonDraw &p, SyntheticCounts &counts)
{
    Generator &g = m_g;
    const int hy = p.hijriYear;
    const int steps = g.below(5);
    for (int n = 1; n <= steps; ++n) {
        m_step.text(m_sc.no, p.no);
        m_step.number(m_sc.seq, n);
        m_step.text(m_sc.description, g.pick(codes(7)));
        m_step.text(m_sc.start, g.hijri(hy, qMin(hy + 2, 1446)));
        m_step.text(m_sc.end, g.chance(70) ? g.hijri(hy, qMin(hy + 3, 1447)) : Bytes("00000000"));
        m_step.text(m_sc.evaluation, g.pick(codes(8)));
        m_step.text(m_sc.comments, g.chance(30) ? g.pick(kStepComments) : kBlank);
        m_step.run();
        ++counts.followUps;
    }
}

void RelatedWriter::writeCourses(const PersonDraw &p, SyntheticCounts &counts)
{
    Generator &g = m_g;
    const int hy = p.hijriYear;
    const int courseCount = g.below(4);
    for (int n = 1; n <= courseCount; ++n) {
        m_course.text(m_cc.no, p.no);
        m_course.number(m_cc.seq, n);
        m_course.text(m_cc.description, g.pick(codes(9)));
        m_course.text(m_cc.start, g.hijri(hy, qMin(hy + 2, 1446)));
        m_course.text(m_cc.end, g.hijri(hy, qMin(hy + 3, 1447)));
        m_course.text(m_cc.evaluation, g.pick(kCourseGrades));
        m_course.text(m_cc.comments, g.chance(20) ? g.pick(kStepComments) : kBlank);
        m_course.run();
        ++counts.courses;
    }
}

void RelatedWriter::writeEvaluations(const PersonDraw &p, SyntheticCounts &counts)
{
    Generator &g = m_g;
    const int hy = p.hijriYear;
    const std::vector<Bytes> &witnesses = m_offered.witnesses;
    const int evaluations = g.chance(40) ? 1 + g.below(2) : 0;
    for (int n = 1; n <= evaluations; ++n) {
        Insert &e = m_evaluation;
        const auto &ec = m_ec;
        e.text(ec.no, p.no);
        e.number(ec.seq, n);
        e.text(ec.evaluatorName, g.pick(kLocalFirst).ar + ' ' + g.pick(kLocalFamily).ar);
        e.text(ec.evaluator, g.pick(codes(13)));
        e.text(ec.date, g.hijri(hy, qMin(hy + 3, 1447)));
        e.text(ec.prayer, g.pick(codes(15)));
        e.text(ec.place, g.pick(codes(12)));
        for (int c : {ec.practice, ec.integrity, ec.arabic, ec.calling})
            e.text(c, g.pick(codes(8)));
        e.text(ec.withMuslims, g.pick(codes(18)));
        e.text(ec.withOthers, g.pick(codes(18)));
        e.text(ec.overall, g.pick(codes(14)));
        e.text(ec.official, g.pick(witnesses));
        e.text(ec.remarks, g.chance(30) ? g.pick(kStepComments) : kBlank);
        e.run();
        ++counts.evaluations;
        writeProblems(p, n, counts);
    }
}

// The problems found at evaluation `seq`, each with its follow-ups.
void RelatedWriter::writeProblems(const PersonDraw &p, int seq, SyntheticCounts &counts)
{
    Generator &g = m_g;
    const int hy = p.hijriYear;
    const int problems = g.chance(30) ? 1 + g.below(3) : 0;
    for (int i = 0; i < problems; ++i) {
        m_problem.text(m_pc.no, p.no);
        m_problem.number(m_pc.seq, seq);
        m_problem.text(m_pc.situation, g.pick(codes(16)));
        m_problem.text(m_pc.description, g.pick(kProblemTexts));
        const qint64 code = m_problem.run();
        ++counts.problems;
        const int followUps = g.below(3);
        for (int f = 0; f < followUps; ++f) {
            m_problemStep.number(m_fc.code, code);
            m_problemStep.text(m_fc.date, g.hijri(hy, qMin(hy + 3, 1447)));
            m_problemStep.text(m_fc.follower,
                               g.pick(kLocalFirst).ar + ' ' + g.pick(kLocalFamily).ar);
            m_problemStep.text(m_fc.status, g.pick(codes(17)));
            m_problemStep.text(m_fc.notes, g.pick(kProblemNotes));
            m_problemStep.run();
            ++counts.problemFollowUps;
        }
    }
}

void RelatedWriter::writeQuestionnaire(const PersonDraw &p, SyntheticCounts &counts)
{
    Generator &g = m_g;
    if (!g.chance(60))
        return;
    m_quest.text(m_qc.no, p.no);
    m_quest.text(m_qc.q1, g.pick(codes(10)));
    m_quest.text(m_qc.q2, g.pick(codes(11)));
    m_quest.text(m_qc.q3, g.pick(kReasons));
    m_quest.text(m_qc.q4, g.pick(kDelays));
    m_quest.text(m_qc.q5, g.pick(kHow));
    m_quest.text(m_qc.remark, kBlank);
    m_quest.run();
    ++counts.questionnaires;
}

// A connection setting changed while the batches are written, restored on
// every way out.
class ConnectionSetting {
public:
    // The settings are the file's own: a server keeps its configuration.
    ConnectionSetting(engine::Database &db, const QString &name, const QString &value)
        : m_db(db), m_name(name), m_active(!db.onServer())
    {
        if (!m_active)
            return;
        m_old = db.scalar(QStringLiteral("PRAGMA %1").arg(name));
        m_db.execute(QStringLiteral("PRAGMA %1 = %2").arg(m_name, value));
    }
    ~ConnectionSetting()
    {
        if (!m_active)
            return;
        try {
            m_db.execute(QStringLiteral("PRAGMA %1 = %2").arg(m_name, m_old.toString()));
        } catch (const engine::EngineError &) {
        }
    }
    ConnectionSetting(const ConnectionSetting &) = delete;
    ConnectionSetting &operator=(const ConnectionSetting &) = delete;

private:
    engine::Database &m_db;
    QString m_name;
    bool m_active;
    QVariant m_old;
};

// Witnesses and follow-up groups first: the person rows name them.
Offered writeOffered(engine::Database &db, Generator &g, SyntheticCounts &counts)
{
    Offered offered;
    offered.codes = readAllCodes(db);
    {
        engine::Transaction tx(db);
        writeWitnesses(db, g, counts);
        writeGroups(db, g, offered.codes[1], counts);
        tx.commit();
    }
    offered.witnesses = readColumn(db, QStringLiteral("SELECT \"NAME\" FROM \"witnesses\""));
    offered.groups = readGroups(db);
    return offered;
}

// One made-up audit row after another, in time order.
class AuditWriter {
public:
    AuditWriter(engine::Database &db, Generator &g, qint64 rows)
        : m_g(g),
          m_insert(db, QStringLiteral("INSERT INTO audit (changed_at, user_id, workstation, table_name, record_key, "
                                      "action, changes) VALUES (?, ?, ?, ?, ?, ?, ?)"))
    {
        m_persons = qMax<qint64>(1, db.scalar(QStringLiteral("SELECT max(CAST(\"tamrel_no\" AS INTEGER)) FROM "
                                                              "\"tamrel\"")).toLongLong());
        m_users = readColumn(db, QStringLiteral("SELECT \"USERID\" FROM \"users\""));
        if (m_users.empty())
            m_users = {u8("admin"), u8("clerk1"), u8("clerk2"), u8("clerk3")};
        const QDateTime now = QDateTime::currentDateTimeUtc();
        m_start = now.addYears(-5).toMSecsSinceEpoch();
        m_stepMs = qMax<qint64>(1, (now.toMSecsSinceEpoch() - m_start) / qMax<qint64>(1, rows));
    }

    void write(qint64 index)
    {
        static const std::vector<Bytes> tables = {u8("tamrel"), u8("followUp"), u8("courses"), u8("Field_Evaluation")};
        static const std::vector<Bytes> actions = {u8("update"), u8("add"), u8("delete")};
        const int t = m_g.chance(70) ? 0 : 1 + m_g.below(3);
        const int a = m_g.chance(80) ? 0 : (m_g.chance(75) ? 1 : 2);
        Bytes key = Bytes::number(1 + qint64(m_g.below(int(qMin<qint64>(m_persons, std::numeric_limits<int>::max())))));
        if (t > 0)
            key += '/' + Bytes::number(1 + m_g.below(5));
        const qint64 at = m_start + index * m_stepMs + m_g.below(int(m_stepMs));
        engine::BackendStatement &st = *m_insert.handle();
        st.bindText(1, QDateTime::fromMSecsSinceEpoch(at, Qt::UTC).toString(Qt::ISODateWithMs).toUtf8());
        st.bindText(2, m_g.pick(m_users));
        st.bindText(3, "WS-0" + Bytes::number(1 + m_g.below(6)));
        st.bindText(4, tables[size_t(t)]);
        st.bindText(5, key);
        st.bindText(6, actions[size_t(a)]);
        st.bindText(7, changes(a));
        m_insert.step();
    }

private:
    Bytes field(const char *name, const char *side, const Bytes &value) const
    {
        return "{\"field\":\"" + Bytes(name) + "\",\"" + Bytes(side) + "\":\"" + value + "\"}";
    }
    // The JSON of an update (one or two fields), an add or a delete (a few).
    Bytes changes(int action)
    {
        const char *names[] = {"a_new_name", "comments", "occupation", "city_h", "phone_h", "e_new_name"};
        const int count = action == 0 ? 1 + m_g.below(2) : 6;
        QList<Bytes> parts;
        for (int i = 0; i < count; ++i) {
            const char *name = names[action == 0 ? m_g.below(6) : i];
            const Bytes before = m_g.pick(kStepComments), after = m_g.pick(kCities);
            if (action == 0)
                parts << field(name, "old", before).chopped(1) + ",\"new\":\"" + after + "\"}";
            else
                parts << field(name, action == 1 ? "new" : "old", after);
        }
        return '[' + parts.join(',') + ']';
    }

    Generator &m_g;
    engine::Statement m_insert;
    qint64 m_persons = 1;
    std::vector<Bytes> m_users;
    qint64 m_start = 0, m_stepMs = 1;
};

} // namespace

SyntheticCounts fillSynthetic(engine::Database &db, int persons, quint32 seed,
                              const SyntheticOptions &options)
{
    SyntheticCounts counts;
    Generator g(seed);
    const Offered offered = writeOffered(db, g, counts);

    const qint64 first =
        db.scalar(QStringLiteral("SELECT max(CAST(\"tamrel_no\" AS INTEGER)) FROM \"tamrel\""))
            .toLongLong() + 1;

    PersonWriter person(db, g, offered);
    std::optional<RelatedWriter> related;
    if (options.relatedRows)
        related.emplace(db, g, offered);
    const int batch = qMax(1, options.batchSize);

    // While the batches are written: a large page cache (the key indexes
    // of a big register do not fit the default one), checkpoints of the
    // write-ahead log in large steps, and no sync at each batch's commit
    // (the file stays consistent; a crash loses at most the last batches).
    const ConnectionSetting cache(db, QStringLiteral("cache_size"), QStringLiteral("-262144"));
    const ConnectionSetting checkpoint(db, QStringLiteral("wal_autocheckpoint"), QStringLiteral("16384"));
    const ConnectionSetting sync(db, QStringLiteral("synchronous"), QStringLiteral("1"));
    // Many persons at once: the search index is built over them all at the
    // end, which costs a fraction of keeping it in step person by person.
    if (persons >= 10000 && persons >= db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong())
        db.dropSearchIndex(schema::personSearchIndex());

    for (int done = 0; done < persons;) {
        engine::Transaction tx(db);
        const int end = qMin(persons, done + batch);
        for (; done < end; ++done) {
            const PersonDraw p = person.write(Bytes::number(first + done));
            ++counts.persons;
            if (related)
                related->write(p, counts);
        }
        tx.commit(); // the persons' search index takes the batch in
    }
    // The search index over what was written (a file from before it gets it too).
    db.buildSearchIndex(schema::personSearchIndex());
    return counts;
}

qint64 fillSyntheticAudit(engine::Database &db, qint64 rows, quint32 seed, int batchSize)
{
    schema::addAuditTrail(db);
    Generator g(seed);
    AuditWriter writer(db, g, rows);
    const ConnectionSetting cache(db, QStringLiteral("cache_size"), QStringLiteral("-262144"));
    const ConnectionSetting checkpoint(db, QStringLiteral("wal_autocheckpoint"), QStringLiteral("16384"));
    const ConnectionSetting sync(db, QStringLiteral("synchronous"), QStringLiteral("1"));
    const qint64 batch = qMax(1, batchSize);
    qint64 done = 0;
    while (done < rows) {
        engine::Transaction tx(db);
        for (const qint64 end = qMin(rows, done + batch); done < end; ++done)
            writer.write(done);
        tx.commit();
    }
    return done;
}

} // namespace core
