#include "data/ErrMsgs.h"

namespace core {

namespace {

QString padded(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '), true);
}

} // namespace

void ErrMsgs::LOADMSGS()
{
    MSG_INVALID = padded(QStringLiteral("معلومات غير صحيحة"), kWidth);
    MSG_NOTFOUND = padded(QStringLiteral("السجل غير موجود"), kWidth);
    MSG_DUPLICATE = padded(QStringLiteral("السجل متكرر"), kWidth);
    MSG_REQUIRED = padded(QStringLiteral("يجب ادخال المعلومة"), kWidth);
    MSG_EOF = padded(QStringLiteral("نهاية الملف"), kWidth);
    MSG_DATAERROR = padded(QStringLiteral("خطأ في المعلومات"), kWidth);
    MSG_CONTINUE = padded(QStringLiteral("هل ترغب في الاستمرار"), kWidth);
    MSG_ADDED = padded(QStringLiteral("تمت اضافة السجل"), kWidth);
    MSG_DELETED = padded(QStringLiteral("تم مسح السجل"), kWidth);
    MSG_UPDATED = padded(QStringLiteral("تم تحديث السجل"), kWidth);
    MSG_NOTALLOWED = padded(QStringLiteral("غير مصرح لهذه العملية"), kNotAllowedWidth);
}

QString ErrMsgs::text(int number) const
{
    switch (number) {
    case 1:
        return MSG_INVALID;
    case 2:
        return MSG_NOTFOUND;
    case 3:
        return MSG_DUPLICATE;
    case 4:
        return MSG_REQUIRED;
    case 5:
        return MSG_EOF;
    case 6:
        return MSG_DATAERROR;
    case 7:
        return MSG_CONTINUE;
    case 8:
        return MSG_ADDED;
    case 9:
        return MSG_DELETED;
    case 10:
        return MSG_UPDATED;
    case 11:
        return MSG_NOTALLOWED;
    default:
        return {};
    }
}

} // namespace core
