#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace engine {
class Database;
}

namespace registry {

// Registers of this kind are plagued by the same person registered twice.
// A person is likely registered already when another person has the same
// residence permit number, the same passport number, or the same old name
// or the same new name with the same birth date; the texts are compared
// under the search rule (engine::searchFold: letter case, the ways of
// writing Arabic, Arabic-Indic digits), blanks around them left out. An
// empty or blank value, or a birth date with a part not chosen, is never
// compared. Every comparison is answered from the persons' search index.

// What is compared of the person in hand.
struct PersonFacts {
    QString number; // never listed itself
    QString iqama;
    QString passport;
    QString oldName;
    QString newName;
    QString birth; // yyyymmdd
};

// One registered person that may be the same, and why.
struct LikelyDuplicate {
    QString number;
    QString oldName;
    QString newName;
    QString iqama;
    QString passport;
    QString birth;
    QStringList reasons; // kSameIqama, kSamePassport, kSameNameAndBirth
};

inline const QString kSameIqama = QStringLiteral("رقم الاقامة نفسه");
inline const QString kSamePassport = QStringLiteral("رقم الجواز نفسه");
inline const QString kSameNameAndBirth = QStringLiteral("الاسم وتاريخ الميلاد نفسهما");

// The likely duplicates, in person number order, at most `limit` of them.
// Throws engine::EngineError.
QList<LikelyDuplicate> likelyDuplicates(engine::Database &db, const PersonFacts &person, int limit = 100);

} // namespace registry
