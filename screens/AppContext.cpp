#include "screens/AppContext.h"

namespace core {

bool LogonState::granted(int n) const
{
    if (n < 1 || n > kPermissionCount)
        return false;
    const QVariant &v = PERMISSION[n - 1];
    if (v.isNull() || !v.isValid())
        return false;
    // Only the number 1 grants: not a true/false value, not the text "1".
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return v.toLongLong() == 1;
    case QMetaType::Double:
        return v.toDouble() == 1.0;
    default:
        return false;
    }
}

} // namespace core
