#include "registry/TamrelFields.h"

#include <QByteArray>

namespace registry {

namespace {

using K = FieldKind;
using R = DateRange;

constexpr TamrelField kFields[] = {
    {"tamrel_no", "txt_tamrel_no", K::Number, "رقم Tamrel"},
    {"a_old_name", "txt_a_old_name", K::Line, "الاسم"},
    {"e_old_name", "txt_e_old_name", K::Line, "Name"},
    {"a_new_name", "txt_a_new_name", K::Line, "الاسم الجديد"},
    {"e_new_name", "txt_e_new_name", K::Line, "New Name"},
    {"dateofislam", "txt_dateofislam", K::Date, "تاريخ الاسلام", 0, R::Hijri, "Combo4", "Combo3", "Combo2"},
    {"no_boys", "txt_no_boys", K::Number, "عدد الأبناء - ذكور"},
    {"no_girls", "txt_no_girls", K::Number, "عدد الأبناء - اناث"},
    {"language1", "dbc_language1", K::Lookup, "اللغة 1"},
    {"language2", "dbc_language2", K::Lookup, "اللغة 2"},
    {"language3", "dbc_language3", K::Lookup, "اللغة 3"},
    {"language4", "dbc_language4", K::Lookup, "اللغة 4"},
    {"language5", "dbc_language5", K::Lookup, "اللغة 5"},
    {"former_relgion", "dbc_former_relgion", K::Lookup, "الديانة السابقة"},
    {"denomination", "dbc_denomination", K::Lookup, "المذهب"},
    {"nationality", "dbc_nationality", K::Lookup, "الجنسية"},
    {"iqama_no", "txt_iqama_no", K::Number, "رقم الاقامة"},
    {"iqama_date", "txt_iqama_date", K::Date, "تاريخ الاقامة", 0, R::Hijri, "Combo10", "Combo9", "Combo8"},
    {"birth", "txt_birth", K::Date, "تاريخ الميلاد", 0, R::Gregorian, "Combo7", "Combo6", "Combo5"},
    {"passport_no", "txt_passport_no", K::Line, "رقم الجواز"},
    {"occupation", "dbc_occupation", K::Lookup, "المهنة"},
    {"qualification", "dbc_qualification", K::Lookup, "المؤهل العلمي"},
    {"picture", "txt_picture", K::Line, "الصورة"},
    {"age", "txt_age", K::Number, "العمر"},
    {"phone_w", "txt_phone_w", K::Line, "تلفون العمل"},
    {"phone_h", "txt_phone_h", K::Line, "تلفون المنزل"},
    {"phone_c", "txt_phone_c", K::Line, "تلفون بلده"},
    {"phone_f", "txt_phone_f", K::Line, "تلفون الصديق"},
    {"phone_sponsor", "txt_phone_sponsor", K::Line, "تلفون الكفيل"},
    {"pobox_w", "txt_pobox_w", K::Line, "ص.ب العمل"},
    {"pobox_h", "txt_pobox_h", K::Line, "ص.ب المنزل"},
    {"pobox_c", "txt_pobox_c", K::Line, "ص.ب بلده"},
    {"pobox_f", "txt_pobox_f", K::Line, "ص.ب الصديق"},
    {"pobox_sponsor", "txt_pobox_sponsor", K::Line, "ص.ب الكفيل"},
    {"zip_code_w", "txt_zip_code_w", K::Line, "الرمز البريدي للعمل"},
    {"zip_code_h", "txt_zip_code_h", K::Line, "الرمز البريدي للمنزل"},
    {"zip_code_c", "txt_zip_code_c", K::Line, "الرمز البريدي في بلده"},
    {"zip_code_f", "txt_zip_code_f", K::Line, "الرمز البريدي للصديق"},
    {"zip_code_sponsor", "txt_zip_code_sponsor", K::Line, "الرمز البريدي للكفيل"},
    {"city_w", "txt_city_w", K::Line, "مدينة العمل"},
    {"city_h", "txt_city_h", K::Line, "مدينة المنزل"},
    {"city_c", "txt_city_c", K::Line, "المدينة في بلده"},
    {"city_f", "txt_city_f", K::Line, "مدينة الصديق"},
    {"city_sponsor", "txt_city_sponsor", K::Line, "مدينة الكفيل"},
    {"friend_name", "txt_friend_name", K::Line, "الصديق"},
    {"sponsor_name", "txt_sponsor_name", K::Line, "الكفيل"},
    {"long_address", "txt_long_address", K::Area, "العنوان في بلده"},
    {"witness_1", "txt_witness_1", K::Line, "اسم الشاهد الأول"},
    {"witness_2", "txt_witness_2", K::Line, "اسم الشاهد الثاني"},
    {"manager", "txt_manager", K::Line, "اسم المدير أو نائبه"},
    {"shahada_place", "TXT_shahada_Place", K::List, "مكان النطق بالشهادة"},
    // The option pairs come after the place of the shahada.
    {"sex", "Option2", K::Option, "ذكر"},
    {"m_status", "Option1", K::Option, "متزوج"},
    {"sponsor_doc", "sponsor_doc", K::Check, "خطاب الكفيل"},
    {"khitan_doc", "khitan_doc", K::Check, "خطاب الختان"},
    {"tamrel_doc", "tamrel_doc", K::Check, "وثيقة Tamrel"},
    {"file_status", "file_status", K::Check, "الملف مفتوح"},
    {"vacation_status", "vacation_status", K::Check, "اجازة"},
    {"in_kingdom_status", "in_kingdom_status", K::Check, "داخل المملكة"},
    {"rejected_islam_status", "rejected_islam_status", K::Check, "ارتد عن الاسلام"},
    {"no_prayer", "Option3", K::Prayer, "لا يصلي مطلقا", 0},
    {"yes_prayer", "Option3", K::Prayer, "يترك أحيانا", 1},
    {"group_prayer", "Option3", K::Prayer, "يحافظ مع الجماعة", 2},
    {"no_group_prayer", "Option3", K::Prayer, "لا يحافظ مع الجماعة", 3},
    {"unknown_prayer", "Option3", K::Prayer, "مجهول الحال", 4},
    {"comments", "txt_comments", K::Area, "ملاحظات"},
    {"followup_group", "DBC_advisor", K::Lookup, "المجموعة"},
    {"advisor_date3", "", K::ShownDate, "تاريخ المجموعة", 0, R::Hijri, "Combo21", "Combo20", "Combo19"},
    {"day_a", "txt_day_a", K::Line, "يوم الاسلام"},
    {"day_e", "txt_day_e", K::Line, "Day"},
    {"DateOfIslam_E", "txt_DateOfIslam_E", K::DateText, "Date Of Islam"},
    {"document_stat", "txt_document_stat", K::List, "وضع التسجيل"},
    {"document_stat_cmnt", "txt_document_stat_cmnt", K::Line, "ملاحظات التسجيل"},
    {"passport_issue_place_a", "txt_passport_issue_place_a", K::Line, "مصدر الجواز A"},
    {"passport_issue_place_e", "txt_passport_issue_place_e", K::Line, "مصدر الجواز E"},
    {"Place_of_birth", "TXT_Place_of_birth", K::Line, "مكان الميلاد"},
    {"daeyah_1", "TXT_daeyah_1", K::Line, "اسم الداعية الأول"},
    {"daeyah_2", "TXT_daeyah_2", K::Line, "اسم الداعية الثاني"},
    {"shahada_Place_comments", "txt_shahada_place_comments", K::Line, "ملاحظات مكان الشهادة"},
    {"advisor2", "DBC_advisor2", K::Lookup, "اسم المشرف"},
    {"advisor3", "DBC_advisor3", K::Lookup, "الجوال"},
    {"name_escort", "txt_name_escort", K::Line, "اسم المرافق"},
    {"city_escort", "txt_city_escort", K::Line, "مدينة المرافق"},
    {"phone_escort", "txt_phone_escort", K::Line, "تلفون المرافق"},
    {"pobox_escort", "txt_pobox_escort", K::Line, "ص.ب المرافق"},
    {"zip_code_escort", "txt_zip_code_escort", K::Line, "الرمز البريدي للمرافق"},
    {"str_name", "txt_str_name", K::Line, "اسم الشارع"},
    {"area_name", "txt_area_name", K::Line, "اسم الحي"},
    {"file_stat_cmnt", "txt_file_stat_cmnt", K::Line, "ملاحظات الملف"},
    {"passport_date_e", "txt_passport_date_e", K::Date, "تاريخ الجواز", 0, R::Gregorian, "Combo12", "Combo11",
     "Combo30"},
    {"Iqama_exp_date", "Iqama_exp_date", K::Date, "إنتهاء الاقامة", 0, R::HijriExpiry, "Combo25", "Combo26",
     "Combo27"},
    {"certificate", "txt_certificate", K::Line, "وضع الوثيقة"},
    {"certificate_stat", "txt_certificate_stat", K::FixedList, "حالة الوثيقة"},
    {"certificate_take", "txt_certificate_take", K::Line, "المستلم"},
    {"date_of_take", "txt_date_of_take", K::Date, "تاريخ الإستلام", 0, R::Hijri, "Combo18", "Combo17", "Combo16"},
    {"no_certificate", "txt_no_certificate", K::Line, "رقم الوثيقة"},
    {"date_of_certificate", "txt_date_of_certificate", K::Date, "تاريخ الوثيقة", 0, R::Hijri, "Combo15",
     "Combo14", "Combo13"},
};

static_assert(std::size(kFields) == 97, "the person record has 97 fields");

} // namespace

std::span<const TamrelField> tamrelFields()
{
    return kFields;
}

const TamrelField *tamrelField(const char *field)
{
    for (const TamrelField &f : kFields) {
        if (qstricmp(f.field, field) == 0)
            return &f;
    }
    return nullptr;
}

} // namespace registry
