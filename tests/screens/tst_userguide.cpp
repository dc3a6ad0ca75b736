#include "screens/ScreenKeys.h"
#include "screens/UserGuide.h"
#include "support/FakeServices.h"
#include "support/TestMain.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

using core::UserGuide;

namespace {

// The block of the guide that carries the anchor `name`.
QTextBlock anchorBlock(const QTextDocument &doc, const QString &name)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().anchorNames().contains(name))
                return block;
    return {};
}

// True when the browser shows the section `name` at its top (or, for a
// section near the end, scrolled as far as it goes with the section in view).
bool showsSection(QTextBrowser *browser, const QString &name)
{
    const QTextBlock block = anchorBlock(*browser->document(), name);
    if (!block.isValid())
        return false;
    const qreal top = browser->document()->documentLayout()->blockBoundingRect(block).top();
    const QScrollBar *bar = browser->verticalScrollBar();
    const qreal shown = top - bar->value();
    if (shown >= -2 && shown < 40)
        return true;
    return bar->value() == bar->maximum() && shown >= 0 && shown < browser->viewport()->height();
}

} // namespace

// The user guide: shipped in the program, right to left, one window shown
// again at the section asked for; a screen's keyboard help links to the
// screen's section.
class TstUserGuide : public QObject {
    Q_OBJECT

private slots:
    void theGuideIsShippedWithItsSections()
    {
        const QString html = UserGuide::html();
        QVERIFY(html.contains(QStringLiteral("dir=\"rtl\"")));
        const QStringList sections = UserGuide::sections();
        for (const char *topic : {"contents", "start", "keys", "frmTamrel", "followup", "reports", "backup",
                                  "frmRestore", "workstations"})
            QVERIFY2(sections.contains(QLatin1String(topic)), topic);
        QCOMPARE(QSet<QString>(sections.begin(), sections.end()).size(), sections.size());
        // Every link of the guide leads to one of its sections.
        static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
        for (const QRegularExpressionMatch &m : link.globalMatch(html))
            QVERIFY2(sections.contains(m.captured(1)), qPrintable(m.captured(1)));
    }

    void theGuideOpensAtTheSectionAskedFor_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("shown");
        QTest::newRow("beginning") << QString() << "contents";
        QTest::newRow("a screen") << "frmEvaluation" << "frmEvaluation";
        QTest::newRow("a topic") << "workstations" << "workstations";
        QTest::newRow("the last one") << "frmForms" << "frmForms";
        QTest::newRow("unknown") << "frmNowhere" << "contents";
    }
    void theGuideOpensAtTheSectionAskedFor()
    {
        QFETCH(QString, asked);
        QFETCH(QString, shown);
        QWidget frame;
        frame.show();
        UserGuide guide(&frame);
        guide.showGuide(QStringLiteral("backup"));
        guide.showGuide(asked);
        QWidget *window = guide.window();
        QVERIFY(window);
        QCOMPARE(window->objectName(), UserGuide::kWindowName);
        QVERIFY(window->isVisible());
        QCOMPARE(window->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(frame.findChildren<QWidget *>(UserGuide::kWindowName).size(), 1);
        auto *browser = window->findChild<QTextBrowser *>(UserGuide::kBrowserName);
        QTRY_VERIFY(showsSection(browser, shown));
    }

    // The contents lead to a section and back; closing is closing.
    void linksContentsAndBack()
    {
        QWidget frame;
        frame.show();
        UserGuide guide(&frame);
        guide.showGuide();
        auto *browser = guide.window()->findChild<QTextBrowser *>(UserGuide::kBrowserName);
        auto *back = guide.window()->findChild<QPushButton *>(QStringLiteral("cmdBack"));
        QVERIFY(!back->isEnabled());
        browser->setSource(QUrl(QStringLiteral("#backup"))); // as a click on the contents' link
        QTRY_VERIFY(showsSection(browser, QStringLiteral("backup")));
        QVERIFY(back->isEnabled());
        back->click();
        QTRY_VERIFY(showsSection(browser, QStringLiteral("contents")));
        browser->verticalScrollBar()->setValue(browser->verticalScrollBar()->maximum());
        guide.window()->findChild<QPushButton *>(QStringLiteral("cmdContents"))->click();
        QTRY_VERIFY(showsSection(browser, QStringLiteral("contents")));
        guide.window()->findChild<QPushButton *>(QStringLiteral("cmdClose"))->click();
        QTRY_VERIFY(!guide.window());
        guide.showGuide(QStringLiteral("keys")); // a new window after the close
        QVERIFY(guide.window() && guide.window()->isVisible());
    }

    // F1 on a screen: its keys, and a link to its part of the guide.
    void theKeyboardHelpLinksToTheScreensSection()
    {
        testsupport::RecordingGuideService guide;
        QWidget screen;
        screen.setObjectName(QStringLiteral("frmWitnesses"));
        auto *field = new QLineEdit(&screen);
        (new QVBoxLayout(&screen))->addWidget(field);
        auto *keys = new core::ScreenKeys(&screen);
        keys->setGuide(&guide);
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        QTest::keyClick(field, Qt::Key_F1);
        QDialog *help = keys->helpWindow();
        QVERIFY(help && help->isVisible());
        auto *link = help->findChild<QPushButton *>(core::ScreenKeys::kGuideLinkName);
        QVERIFY(link);
        link->click();
        QCOMPARE(guide.sections(), QStringList{QStringLiteral("frmWitnesses")});

        // Another section when told; no link without a guide.
        QWidget other;
        auto *otherKeys = new core::ScreenKeys(&other);
        otherKeys->setGuide(&guide, QStringLiteral("backup"));
        otherKeys->showHelp()->findChild<QPushButton *>(core::ScreenKeys::kGuideLinkName)->click();
        QCOMPARE(guide.sections().last(), QStringLiteral("backup"));
        QWidget plain;
        auto *plainKeys = new core::ScreenKeys(&plain);
        QVERIFY(!plainKeys->showHelp()->findChild<QPushButton *>(core::ScreenKeys::kGuideLinkName));
    }
};

VELM_TEST_MAIN(TstUserGuide)
#include "tst_userguide.moc"
