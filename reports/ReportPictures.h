#pragma once

#include <QDeadlineTimer>
#include <QImage>
#include <QString>
#include <QStringList>

namespace reports {

// A picture file is read only when it is a regular file of at most this size.
inline constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;
// All the pictures of one layout are read within this time.
inline constexpr int kPictureReadMs = 10000;

// Reads the picture `name` names: a path, absolute or relative to one of
// `folders` (tried in order), or a file: URL. Only a regular file inside
// one of the folders (links resolved), of at most kMaxPictureBytes, read
// before `deadline`, is taken; a named pipe or device is never opened so
// that it could block. Returns the picture, or a null one with `why` (plain
// Arabic, for a note in the report).
QImage readPicture(const QString &name, const QStringList &folders, const QDeadlineTimer &deadline, QString *why);

} // namespace reports
