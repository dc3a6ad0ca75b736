#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QObject;

namespace engine {
class Database;
struct OpenSpec;
}
namespace core {
class BackgroundTask;
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

// The check after an add, off the window's thread, so that the add returns
// as soon as the person is written: on a connection of its own (opened as
// `openSpec` describes, kept for the next check), the result handed to
// `found` on the owner's thread. A check that fails says nothing: the panel
// only warns, and the button asks again.
class DuplicatesCheck {
public:
    using Found = std::function<void(const PersonFacts &, const QList<LikelyDuplicate> &)>;
    explicit DuplicatesCheck(QObject *owner);
    ~DuplicatesCheck();
    DuplicatesCheck(const DuplicatesCheck &) = delete;
    DuplicatesCheck &operator=(const DuplicatesCheck &) = delete;

    void start(const engine::OpenSpec &openSpec, const PersonFacts &person, Found found);
    // Until `found` has run (or the check failed).
    bool isRunning() const { return m_running; }

private:
    using Connection = std::shared_ptr<std::unique_ptr<engine::Database>>;
    Connection m_db; // used on the task's thread only; goes after the task
    std::unique_ptr<core::BackgroundTask> m_task;
    bool m_running = false;
};

} // namespace registry
