#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace core {

class FileOpener;
class MessageService;

// A document file a catalogue names: the folder it must lie in and the
// pieces the catalogue puts after that folder, each behind a "/". So
// {materialDir, {language, name}} is materialDir/language/name and
// {formsDir, {"", name}} is formsDir//name.
struct DocumentFile {
    QString folder;
    QStringList parts;

    // The path exactly as the catalogue builds it (handed to the desktop).
    QString path() const;
};

// What stands in the way of opening a document file.
enum class DocumentCheck {
    Ok,            // a document (or a folder) inside the folder
    OutsideFolder, // the name reaches outside the folder
    Program,       // a program, script or launcher: never started from here
    Missing,       // nothing of that name, or the folder itself is missing
};

// Messages of the refusals and failures; %1 is the file as named.
inline const QString kDocOutsideFolder =
    QStringLiteral("لا يفتح هذا الملف لأن اسمه يشير إلى مكان خارج مجلده:\n%1");
inline const QString kDocProgram =
    QStringLiteral("هذا الملف برنامج أو ملف تشغيل، ولا يشغل من هنا حفاظا على سلامة الجهاز. "
                   "سيعرض المجلد الذي يحويه:\n%1");
inline const QString kDocMissing = QStringLiteral("تعذر فتح الملف لأنه غير موجود:\n%1");
inline const QString kDocNotOpened =
    QStringLiteral("تعذر فتح الملف، فلا يوجد برنامج يفتح هذا النوع من الملفات:\n%1");

// True when one piece of a file name leads out of the folder it is joined
// to: an absolute path (root slash, backslash or drive letter) or a ".."
// step, with "/" and "\" both taken as separators.
bool reachesOutside(const QString &part);

// True for a file the desktop would run rather than show: executable,
// a launcher (.desktop), a script or a program by its name or content.
bool isProgramFile(const QString &path);

// Looks at the file without opening it. Symbolic links are followed: a
// link that ends outside the folder counts as outside.
DocumentCheck checkDocument(const DocumentFile &file);

// Opens the file with the desktop's default application when the check
// lets it through. Otherwise, or when the desktop cannot open it, tells
// the user in one message box naming the file; a program is not started
// but its folder is shown instead. True when the desktop took the file.
bool openDocument(const DocumentFile &file, FileOpener &opener, MessageService &messages,
                  QWidget *parent = nullptr);

// Runs `action` when the box is double-clicked (the box keeps its own
// double-click behaviour, such as selecting a word).
void onDoubleClick(QWidget *box, std::function<void()> action);

} // namespace core
