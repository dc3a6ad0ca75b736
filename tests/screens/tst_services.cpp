#include "support/FakeServices.h"
#include "screens/AppContext.h"
#include "screens/Services.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

using core::MessageService;
using testsupport::RecordingFileOpener;
using testsupport::RecordingInputService;
using testsupport::RecordingMessageService;

namespace {

// Runs `handle` on the next modal dialog as soon as it is up (the real
// services block in exec()).
template <class Dialog>
void whenModal(std::function<void(Dialog *)> handle)
{
    QTimer::singleShot(0, [handle] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            handle(dialog);
            // A failed check returns early: never leave the test blocked.
            if (dialog->isVisible())
                dialog->reject();
        } else
            whenModal<Dialog>(handle);
    });
}

} // namespace

class TstServices : public QObject {
    Q_OBJECT

private slots:
    void messageFakeAnswersFromQueueThenDefault()
    {
        RecordingMessageService msgs;
        msgs.queueAnswers({true, false});
        QVERIFY(msgs.confirm("a", "t1", true, MessageService::Icon::Critical));
        QVERIFY(!msgs.confirm("b", "t2", false, MessageService::Icon::None));
        QVERIFY(!msgs.confirm("c", "t3", true, MessageService::Icon::None)); // default: No
        msgs.setDefaultAnswer(true);
        QVERIFY(msgs.confirm("d", "t4", true, MessageService::Icon::Information));

        QCOMPARE(msgs.confirmCount(), 4);
        const auto first = msgs.confirmations().first();
        QCOMPARE(first.text, QStringLiteral("a"));
        QCOMPARE(first.title, QStringLiteral("t1"));
        QVERIFY(first.defaultNo);
        QCOMPARE(first.icon, MessageService::Icon::Critical);
        QCOMPARE(msgs.lastConfirmation().icon, MessageService::Icon::Information);
        QCOMPARE(msgs.shownCount(), 0);
    }

    void messageFakeRecordsShownTextsInOrder()
    {
        RecordingMessageService msgs;
        QVERIFY(msgs.lastShown().isEmpty());
        msgs.show("one");
        msgs.show("two");
        QCOMPARE(msgs.shown(), QStringList({"one", "two"}));
        QCOMPARE(msgs.lastShown(), QStringLiteral("two"));

        // clear() forgets the records but not the scripted answers.
        msgs.queueAnswer(true);
        msgs.clear();
        QCOMPARE(msgs.shownCount(), 0);
        QCOMPARE(msgs.pendingAnswers(), 1);
        QVERIFY(msgs.confirm("q", "t", true, MessageService::Icon::None));
        QCOMPARE(msgs.pendingAnswers(), 0);
    }

    void inputFakeAndFileOpenerFake()
    {
        RecordingInputService input;
        input.queueAnswer(QStringLiteral("12"));
        input.queueAnswer(std::nullopt);
        QCOMPARE(input.ask("p1", "t1"), QStringLiteral("12"));
        QCOMPARE(input.ask("p2", "t2", "x"), std::nullopt);
        QCOMPARE(input.ask("p3", "t3"), std::nullopt); // default: cancel
        QCOMPARE(input.askCount(), 3);
        QCOMPARE(input.questions().at(1).initial, QStringLiteral("x"));
        QCOMPARE(input.lastPrompt(), QStringLiteral("p3"));
        QCOMPARE(input.lastTitle(), QStringLiteral("t3"));

        RecordingFileOpener files;
        QVERIFY(files.open("/a/b.doc"));
        files.setResult(false);
        QVERIFY(!files.open("/c.pdf"));
        QCOMPARE(files.paths(), QStringList({"/a/b.doc", "/c.pdf"}));
    }

    void qtShowIsAPlainBoxWithTheApplicationTitle()
    {
        core::QtMessageService service(QStringLiteral("العنوان"));
        bool seen = false;
        whenModal<QMessageBox>([&seen](QMessageBox *box) {
            seen = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("العنوان"));
            QCOMPARE(box->text(), QStringLiteral("نص"));
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->layoutDirection(), Qt::RightToLeft);
            box->button(QMessageBox::Ok)->click();
        });
        service.show(QStringLiteral("نص"));
        QVERIFY(seen);
    }

    void qtConfirm_data()
    {
        QTest::addColumn<bool>("defaultNo");
        QTest::addColumn<bool>("clickYes");
        QTest::newRow("default No, Yes clicked") << true << true;
        QTest::newRow("default Yes, No clicked") << false << false;
    }

    void qtConfirm()
    {
        QFETCH(bool, defaultNo);
        QFETCH(bool, clickYes);
        core::QtMessageService service(QStringLiteral("app"));
        bool seen = false;
        whenModal<QMessageBox>([&](QMessageBox *box) {
            seen = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("حذف"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->defaultButton(),
                     box->button(defaultNo ? QMessageBox::No : QMessageBox::Yes));
            QCOMPARE(box->layoutDirection(), Qt::RightToLeft);
            box->button(clickYes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QCOMPARE(service.confirm("?", QStringLiteral("حذف"), defaultNo, MessageService::Icon::Critical),
                 clickYes);
        QVERIFY(seen);
    }

    // Every caption shows whole on its button, in the program's Arabic face.
    void boxButtonsFitTheirArabicCaptions()
    {
        QFont arabic(QStringLiteral("Noto Naskh Arabic"));
        arabic.setPointSize(11);
        const QFont before = QApplication::font();
        QApplication::setFont(arabic);
        const QString title = QString::fromUtf8(core::kProductTitle);
        const auto plain = core::makeMessageBox(title, QStringLiteral("تم"));
        const auto question = core::makeConfirmBox(QStringLiteral("CONFIRM ACTION BOX"), QStringLiteral("هل ترغب في الاستمرار"),
                                                   true, MessageService::Icon::Critical);
        for (QMessageBox *box : {plain.get(), question.get()}) {
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box));
            // The title too has room, beside the title bar's buttons.
            QFont bold = box->font();
            bold.setBold(true);
            QVERIFY(box->width() >= QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 150);
            for (QAbstractButton *button : box->buttons()) {
                const QFontMetrics metrics = button->fontMetrics();
                QVERIFY2(button->width() >= metrics.horizontalAdvance(button->text()) + 24,
                         qPrintable(button->text()));
                QVERIFY(button->height() >= metrics.height() + 6);
            }
        }
        QCOMPARE(plain->windowTitle(), title);
        QCOMPARE(plain->button(QMessageBox::Ok)->text(), QStringLiteral("موافق"));
        QCOMPARE(question->button(QMessageBox::Yes)->text(), QStringLiteral("نعم"));
        QCOMPARE(question->button(QMessageBox::No)->text(), QStringLiteral("لا"));
        QCOMPARE(question->text(), QStringLiteral("هل ترغب في الاستمرار")); // the text as given
        QApplication::setFont(before);
    }

    // The save dialog: right to left, room for its Arabic buttons and long names.
    void saveDialogFitsItsArabicButtons()
    {
        QFont arabic(QStringLiteral("Noto Naskh Arabic"));
        arabic.setPointSize(11);
        const QFont before = QApplication::font();
        QApplication::setFont(arabic);
        const auto dialog = core::makeSaveDialog(QStringLiteral("حفظ التقرير بصيغة PDF"),
                                                 QDir::temp().filePath(QStringLiteral("tamrel.pdf")),
                                                 QStringLiteral("PDF (*.pdf)"));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QCOMPARE(dialog->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(dialog->width() >= 760);
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        QVERIFY(buttons);
        QStringList captions;
        for (QAbstractButton *button : buttons->buttons()) {
            captions << button->text();
            const QFontMetrics metrics = button->fontMetrics();
            QVERIFY2(button->width() >= metrics.horizontalAdvance(button->text()) + 24, qPrintable(button->text()));
        }
        captions.sort();
        QCOMPARE(captions, (QStringList{QStringLiteral("إلغاء"), QStringLiteral("حفظ")}));
        QApplication::setFont(before);
    }

    void qtConfirmEscapeIsNo()
    {
        core::QtMessageService service(QStringLiteral("app"));
        whenModal<QMessageBox>([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); });
        QVERIFY(!service.confirm("?", "t", false, MessageService::Icon::None));
    }

    void qtInputReturnsTextOrNothing()
    {
        core::QtInputService service;
        whenModal<QInputDialog>([](QInputDialog *dialog) {
            QCOMPARE(dialog->labelText(), QStringLiteral("الرقم"));
            QCOMPARE(dialog->textValue(), QStringLiteral("5"));
            dialog->setTextValue(QStringLiteral("42"));
            dialog->accept();
        });
        QCOMPARE(service.ask(QStringLiteral("الرقم"), "t", "5"), QStringLiteral("42"));

        whenModal<QInputDialog>([](QInputDialog *dialog) { dialog->reject(); });
        QCOMPARE(service.ask("p", "t", "5"), std::nullopt);
    }

    void qtFileOpenerRefusesMissingFiles()
    {
        QTemporaryDir dir;
        core::QtFileOpener opener;
        QVERIFY(!opener.open(QString()));
        QVERIFY(!opener.open(dir.filePath("missing.doc")));
    }
};

VELM_TEST_MAIN(TstServices)
#include "tst_services.moc"
