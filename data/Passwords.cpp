#include "data/Passwords.h"

#include "engine/Database.h"
#include "engine/EngineError.h"

#include <QList>
#include <QStringList>

#include <atomic>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace core {

namespace {

const QString kMethod = QStringLiteral("pbkdf2-sha256");
const QChar kSeparator = QLatin1Char('$');

std::atomic<int> g_rounds{Passwords::kDefaultRounds};

struct ParsedHash {
    int rounds = 0;
    QByteArray salt;
    QByteArray hash;
};

// Strict base64: a value with anything else in it is not one of ours.
bool decode(const QString &text, QByteArray &out)
{
    const auto result = QByteArray::fromBase64Encoding(text.toLatin1(),
                                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!result || text.isEmpty())
        return false;
    out = *result;
    return true;
}

bool parse(const QString &stored, ParsedHash &out)
{
    const QStringList parts = stored.split(kSeparator);
    if (parts.size() != 4 || parts.at(0) != kMethod)
        return false;
    bool number = false;
    out.rounds = parts.at(1).toInt(&number);
    if (!number || out.rounds < 1 || out.rounds > Passwords::kMaxRounds)
        return false;
    return decode(parts.at(2), out.salt) && !out.salt.isEmpty() && decode(parts.at(3), out.hash) &&
           out.hash.size() == Passwords::kHashBytes;
}

QByteArray derive(const QString &password, int rounds, const QByteArray &salt)
{
    const QByteArray utf8 = password.toUtf8();
    QByteArray out(Passwords::kHashBytes, '\0');
    if (PKCS5_PBKDF2_HMAC(utf8.constData(), int(utf8.size()),
                          reinterpret_cast<const unsigned char *>(salt.constData()),
                          int(salt.size()), rounds, EVP_sha256(), int(out.size()),
                          reinterpret_cast<unsigned char *>(out.data())) != 1)
        throw engine::EngineError(engine::ErrEngine, QStringLiteral("The password cannot be hashed"));
    return out;
}

// The forms of the typed password the logon tries, each once.
QStringList forms(const QString &typed)
{
    QStringList out{typed};
    for (const QString &form : {typed.toUpper(), typed.toLower()})
        if (!out.contains(form))
            out << form;
    return out;
}

} // namespace

int Passwords::rounds()
{
    return g_rounds.load();
}

void Passwords::setRounds(int rounds)
{
    g_rounds.store(qBound(1, rounds, kMaxRounds));
}

QString Passwords::hash(const QString &password)
{
    QByteArray salt(kSaltBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(salt.data()), int(salt.size())) != 1)
        throw engine::EngineError(engine::ErrEngine, QStringLiteral("No random salt for a password"));
    return hash(password, rounds(), salt);
}

QString Passwords::hash(const QString &password, int rounds, const QByteArray &salt)
{
    const QByteArray derived = derive(password, rounds, salt);
    return QStringList{kMethod, QString::number(rounds), QString::fromLatin1(salt.toBase64()),
                       QString::fromLatin1(derived.toBase64())}
        .join(kSeparator);
}

bool Passwords::isHash(const QString &stored)
{
    ParsedHash parsed;
    return parse(stored, parsed);
}

bool Passwords::matches(const QString &stored, const QString &form)
{
    ParsedHash parsed;
    if (!parse(stored, parsed))
        return stored == form;
    const QByteArray derived = derive(form, parsed.rounds, parsed.salt);
    return CRYPTO_memcmp(derived.constData(), parsed.hash.constData(), size_t(kHashBytes)) == 0;
}

Passwords::Check Passwords::check(const QVariant &stored, const QString &typed)
{
    if (stored.isNull() || !stored.isValid())
        return {true, {}};
    const QString value = stored.toString();
    if (value.isEmpty())
        return {true, {}};
    ParsedHash parsed;
    const bool hashed = parse(value, parsed);
    for (const QString &form : forms(typed)) {
        if (!matches(value, form))
            continue;
        if (!hashed)
            return {true, hash(value)};
        // Hashed with a lower cost than today's: hashed again at today's.
        return {true, parsed.rounds < rounds() ? hash(form) : QString()};
    }
    return {false, {}};
}

bool Passwords::renew(engine::Database &db, const QString &userId, const QString &was,
                      const QString &renewed)
{
    // The stored value is compared byte for byte: the field's own collation
    // ignores letter case, and "Secret" is not "secret".
    db.execute(QStringLiteral("UPDATE users SET PASSWORD = ? "
                              "WHERE USERID = ? AND PASSWORD = ? COLLATE BINARY"),
               {renewed, userId, was});
    return db.changes() > 0;
}

} // namespace core
