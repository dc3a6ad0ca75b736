#include "screens/DocumentFiles.h"
#include "support/FakeServices.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using core::DocumentCheck;
using core::DocumentFile;

namespace {

// A catalogue folder "docs" with a document, a subfolder and some things
// that must never be started, beside a file outside it.
struct Tree {
    QTemporaryDir dir;
    QString folder = dir.path() + QStringLiteral("/docs");

    Tree()
    {
        QDir(dir.path()).mkpath(QStringLiteral("docs/English"));
        write(QStringLiteral("secret.txt"), "outside");
        write(QStringLiteral("docs/form.pdf"), "%PDF-1.4\n");
        write(QStringLiteral("docs/English/lesson 1.pdf"), "%PDF-1.4\n");
        write(QStringLiteral("docs/نموذج.txt"), "text");
        write(QStringLiteral("docs/run.sh"), "echo hi\n");
        write(QStringLiteral("docs/SETUP.DESKTOP"), "[Desktop Entry]\nExec=true\n");
        write(QStringLiteral("docs/tool.exe"), "MZ");
        write(QStringLiteral("docs/go-now"), "#!/bin/sh\necho hi\n"); // script without a name
        write(QStringLiteral("docs/marked.pdf"), "%PDF-1.4\n");
        QFile::setPermissions(folder + QStringLiteral("/marked.pdf"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::link(dir.path() + QStringLiteral("/secret.txt"), folder + QStringLiteral("/link.txt"));
        QFile::link(folder + QStringLiteral("/form.pdf"), folder + QStringLiteral("/inner.pdf"));
    }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        QFile file(dir.path() + QLatin1Char('/') + relative);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(relative));
    }
};

} // namespace

class TstDocumentFiles : public QObject {
    Q_OBJECT

private slots:
    void check_data()
    {
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<DocumentCheck>("expected");
        const auto row = [](const char *name, QStringList parts, DocumentCheck expected) {
            QTest::newRow(name) << parts << expected;
        };
        row("document", {"form.pdf"}, DocumentCheck::Ok);
        row("behind two separators", {"", "form.pdf"}, DocumentCheck::Ok);
        row("in a language folder", {"English", "lesson 1.pdf"}, DocumentCheck::Ok);
        row("arabic name", {"نموذج.txt"}, DocumentCheck::Ok);
        row("any parent step", {"English/../form.pdf"}, DocumentCheck::OutsideFolder);
        row("link staying inside", {"inner.pdf"}, DocumentCheck::Ok);
        row("empty name: the folder", {"", ""}, DocumentCheck::Ok);
        row("parent step", {"", "../secret.txt"}, DocumentCheck::OutsideFolder);
        row("parent step in the language", {"..", "secret.txt"}, DocumentCheck::OutsideFolder);
        row("deeper parent steps", {"English", "x/../../../secret.txt"}, DocumentCheck::OutsideFolder);
        row("backslash parent step", {"..\\secret.txt"}, DocumentCheck::OutsideFolder);
        row("absolute", {"/etc/passwd"}, DocumentCheck::OutsideFolder);
        row("drive letter", {"C:\\forms\\a.doc"}, DocumentCheck::OutsideFolder);
        row("link leading out", {"link.txt"}, DocumentCheck::OutsideFolder);
        row("script by name", {"run.sh"}, DocumentCheck::Program);
        row("launcher in capitals", {"SETUP.DESKTOP"}, DocumentCheck::Program);
        row("windows program", {"tool.exe"}, DocumentCheck::Program);
        row("script by content", {"go-now"}, DocumentCheck::Program);
        row("executable bit", {"marked.pdf"}, DocumentCheck::Program);
        row("missing", {"English", "lesson 2.pdf"}, DocumentCheck::Missing);
        row("trailing blank kept", {"", "form.pdf "}, DocumentCheck::Missing);
        row("missing language folder", {"Urdu", "lesson 1.pdf"}, DocumentCheck::Missing);
    }
    void check()
    {
        QFETCH(QStringList, parts);
        QFETCH(DocumentCheck, expected);
        Tree tree;
        QCOMPARE(core::checkDocument({tree.folder, parts}), expected);
    }

    void missingOrUnsetFolderIsMissing()
    {
        Tree tree;
        QCOMPARE(core::checkDocument({tree.folder + QStringLiteral("x"), {"form.pdf"}}),
                 DocumentCheck::Missing);
        // No folder configured never means the root folder.
        QCOMPARE(core::checkDocument({QString(), {"etc", "hostname"}}), DocumentCheck::Missing);
        QCOMPARE(DocumentFile({QStringLiteral("/f"), {"", " a.pdf"}}).path(), QStringLiteral("/f// a.pdf"));
    }

    // What the user is told, and what the desktop is handed, per outcome.
    void openTellsOrHandsOver()
    {
        Tree tree;
        testsupport::RecordingFileOpener files;
        testsupport::RecordingMessageService messages;
        const auto open = [&](QStringList parts) {
            files.clear();
            messages.clear();
            return core::openDocument({tree.folder, parts}, files, messages);
        };

        QVERIFY(open({"", "form.pdf"}));
        QCOMPARE(files.paths(), QStringList{tree.folder + QStringLiteral("//form.pdf")});
        QCOMPARE(messages.shownCount(), 0);

        files.setResult(false); // the desktop has nothing for this type
        QVERIFY(!open({"English", "lesson 1.pdf"}));
        QCOMPARE(messages.shownCount(), 1);
        QVERIFY(messages.lastShown().startsWith(core::kDocNotOpened.section('\n', 0, 0)));
        QVERIFY(messages.lastShown().contains(tree.folder + QStringLiteral("/English/lesson 1.pdf")));
        files.setResult(true);

        QVERIFY(!open({"English", "lesson 2.pdf"}));
        QCOMPARE(files.openCount(), 0);
        QCOMPARE(messages.shownCount(), 1);
        QVERIFY(messages.lastShown().startsWith(core::kDocMissing.section('\n', 0, 0)));
        QVERIFY(messages.lastShown().contains(QStringLiteral("lesson 2.pdf")));

        QVERIFY(!open({"", "../secret.txt"}));
        QCOMPARE(files.openCount(), 0);
        QCOMPARE(messages.shownCount(), 1);
        QVERIFY(messages.lastShown().startsWith(core::kDocOutsideFolder.section('\n', 0, 0)));
        QVERIFY(messages.lastShown().contains(QStringLiteral("../secret.txt")));

        // A program is never handed over: its folder is shown instead.
        QVERIFY(!open({"", "run.sh"}));
        QCOMPARE(files.paths(), QStringList{QFileInfo(tree.folder).canonicalFilePath()});
        QCOMPARE(messages.shownCount(), 1);
        QVERIFY(messages.lastShown().startsWith(core::kDocProgram.section('\n', 0, 0)));
        QVERIFY(messages.lastShown().contains(QStringLiteral("run.sh")));
    }
};

VELM_TEST_MAIN(TstDocumentFiles)
#include "tst_documentfiles.moc"
