#pragma once

#include <QString>
#include <exception>
#include <string>

namespace engine {

// Error numbers of the engine layer. The record screens and the data store
// tell these apart; anything else is reported with its number and text.
enum ErrorNumber : int {
    ErrInvalidArgument = 3001,   // empty or malformed path, bad call
    ErrObjectNotFound = 3011,    // table (or schema) not found
    ErrNotAnIndex = 3015,        // no index of that name on the table
    ErrNoCurrentIndex = 3019,    // seek without an index set
    ErrUpdateWithoutEdit = 3020, // Update without AddNew or Edit
    ErrNoCurrentRecord = 3021,   // empty table, or before first / past last
    ErrDuplicateKey = 3022,      // the write would duplicate a primary key
    ErrFileNotFound = 3024,      // database file does not exist
    ErrNotValidPassword = 3031,  // file does not open with the key
    ErrDamagedFile = 3049,       // cut short (not whole pages) or failing its integrity check
    ErrCannotOpenFile = 3051,    // exists but cannot be opened (folder, pipe, device, rights)
    ErrOperationCanceled = 3059, // the user stopped the work (a search, a sort, a copy)
    ErrFieldTooSmall = 3163,     // text longer than the field accepts, or holding a NUL
    ErrRecordDeleted = 3167,     // the current record was deleted
    ErrFileLocked = 3260,        // another process holds the file too long
    ErrItemNotFound = 3265,      // no field of that name
    ErrNullInRequired = 3314,    // a required field (the key) has no value
    ErrForeignFormat = 3343,     // not a database of this program (old office file...)
    ErrQuerySyntax = 3075,       // the query text is not understood
    ErrRecordChanged = 3197,     // the record vanished under an edit (another user deleted it)
    ErrDataTypeConversion = 3421,// a text that does not fit a number field
    ErrEngine = 3146,            // any other engine failure (I/O, disk full, ...)
};

class EngineError : public std::exception {
public:
    EngineError(int number, QString description)
        : m_number(number), m_description(std::move(description)),
          m_what(QStringLiteral("%1 %2").arg(m_number).arg(m_description).toStdString()) {}

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    QString m_description;
    std::string m_what;
};

} // namespace engine
