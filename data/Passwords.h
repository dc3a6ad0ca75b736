#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace engine {
class Database;
}

namespace core {

// The users' passwords as the users table keeps them: a salted
// PBKDF2-HMAC-SHA256 hash in a text that names its own method and cost,
//
//     pbkdf2-sha256$<rounds>$<salt, base64>$<hash, base64>
//
// so that the cost can be raised later without losing older hashes. Files
// written before hold the passwords as typed; such a value is recognised as
// plain (anything that is not a well-formed hash) and still accepted.
class Passwords {
public:
    // About a tenth of a second per hash on an office computer.
    static constexpr int kDefaultRounds = 120000;
    // A stored hash asking for more is taken as damaged, not computed: a
    // hostile file must not hang the logon.
    static constexpr int kMaxRounds = 10000000;
    static constexpr int kSaltBytes = 16;
    static constexpr int kHashBytes = 32;

    // The rounds new hashes take (kDefaultRounds unless a test lowered it).
    static int rounds();
    static void setRounds(int rounds);

    // A fresh hash of the password with a new random salt.
    static QString hash(const QString &password);
    static QString hash(const QString &password, int rounds, const QByteArray &salt);

    static bool isHash(const QString &stored);

    struct Check {
        bool accepted = false;
        // Not empty: what the stored value is to be replaced with (a plain
        // password, or a hash cheaper than today's cost, that was accepted).
        QString renewed;
    };
    // The logon's rule: no stored password (null, empty) admits anybody;
    // otherwise the password is accepted as typed, all in capitals or all
    // in small letters (so that an all-small or all-capital password does
    // not depend on Caps Lock).
    static Check check(const QVariant &stored, const QString &typed);

    // Replaces a user's stored password by `renewed`, only while it still
    // holds exactly `was` (another workstation may have changed it
    // meanwhile). False when nothing was replaced; engine errors go to the
    // caller.
    static bool renew(engine::Database &db, const QString &userId, const QString &was,
                      const QString &renewed);

private:
    static bool matches(const QString &stored, const QString &form);
};

} // namespace core
