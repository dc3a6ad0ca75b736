#include "screens/DocumentFiles.h"

#include "screens/Services.h"

#include <QEvent>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QObject>
#include <QRegularExpression>
#include <QWidget>

#include <utility>

namespace core {

namespace {

// Names the desktop would start rather than show, whatever their mode bits
// (a launcher needs none, and an installed Windows emulator runs .exe).
const QStringList kProgramSuffixes = {
    QStringLiteral("desktop"), QStringLiteral("sh"),   QStringLiteral("bash"),
    QStringLiteral("zsh"),     QStringLiteral("csh"),  QStringLiteral("ksh"),
    QStringLiteral("run"),     QStringLiteral("bin"),  QStringLiteral("appimage"),
    QStringLiteral("py"),      QStringLiteral("pl"),   QStringLiteral("rb"),
    QStringLiteral("jar"),     QStringLiteral("jnlp"), QStringLiteral("exe"),
    QStringLiteral("com"),     QStringLiteral("bat"),  QStringLiteral("cmd"),
    QStringLiteral("msi"),     QStringLiteral("scr"),  QStringLiteral("pif"),
    QStringLiteral("vbs"),     QStringLiteral("ps1"),  QStringLiteral("lnk"),
};

// Content types of programs, for names that do not tell (no extension).
const QStringList kProgramTypes = {
    QStringLiteral("application/x-executable"),
    QStringLiteral("application/x-pie-executable"),
    QStringLiteral("application/x-sharedlib"),
    QStringLiteral("application/x-shellscript"),
    QStringLiteral("application/x-desktop"),
    QStringLiteral("application/x-ms-dos-executable"),
    QStringLiteral("application/x-msdownload"),
    QStringLiteral("application/vnd.appimage"),
    QStringLiteral("application/x-java-archive"),
    QStringLiteral("text/x-python"),
    QStringLiteral("application/x-perl"),
};

class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject *parent, std::function<void()> action)
        : QObject(parent), m_action(std::move(action))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick)
            m_action();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

} // namespace

QString DocumentFile::path() const
{
    QString path = folder;
    for (const QString &part : parts)
        path += QLatin1Char('/') + part;
    return path;
}

bool reachesOutside(const QString &part)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    if (part.startsWith(QLatin1Char('/')) || part.startsWith(QLatin1Char('\\')) ||
        drive.match(part).hasMatch())
        return true;
    return part.split(separators).contains(QStringLiteral(".."));
}

bool isProgramFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return false;
    if (kProgramSuffixes.contains(info.suffix().trimmed().toLower()))
        return true;
    if (info.isExecutable())
        return true;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    for (const QString &program : kProgramTypes) {
        if (type.inherits(program))
            return true;
    }
    return false;
}

DocumentCheck checkDocument(const DocumentFile &file)
{
    for (const QString &part : file.parts) {
        if (reachesOutside(part))
            return DocumentCheck::OutsideFolder;
    }
    if (file.folder.trimmed().isEmpty())
        return DocumentCheck::Missing;
    const QString root = QFileInfo(file.folder).canonicalFilePath();
    if (root.isEmpty())
        return DocumentCheck::Missing;
    const QFileInfo target(file.path());
    if (!target.exists()) // a link to nothing counts as missing
        return DocumentCheck::Missing;
    const QString real = target.canonicalFilePath();
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (real != root && !real.startsWith(prefix))
        return DocumentCheck::OutsideFolder;
    if (isProgramFile(real))
        return DocumentCheck::Program;
    return DocumentCheck::Ok;
}

bool openDocument(const DocumentFile &file, FileOpener &opener, MessageService &messages,
                  QWidget *parent)
{
    const QString path = file.path();
    switch (checkDocument(file)) {
    case DocumentCheck::Ok:
        if (opener.open(path))
            return true;
        messages.show(kDocNotOpened.arg(leftToRight(path)), parent);
        return false;
    case DocumentCheck::OutsideFolder:
    {
        QStringList named = file.parts;
        named.removeAll(QString());
        messages.show(kDocOutsideFolder.arg(leftToRight(named.join(QLatin1Char('/')))), parent);
        return false;
    }
    case DocumentCheck::Program: {
        messages.show(kDocProgram.arg(leftToRight(path)), parent);
        // Its folder (inside the catalogue's folder, as checked) opens in
        // the file manager; that it may not open is not worth a second box.
        const QFileInfo real(QFileInfo(path).canonicalFilePath());
        opener.open(real.absolutePath());
        return false;
    }
    case DocumentCheck::Missing:
        messages.show(kDocMissing.arg(leftToRight(path)), parent);
        return false;
    }
    return false;
}

void onDoubleClick(QWidget *box, std::function<void()> action)
{
    box->installEventFilter(new DoubleClickFilter(box, std::move(action)));
}

} // namespace core
