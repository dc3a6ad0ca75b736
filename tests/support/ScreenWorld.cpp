#include "support/ScreenWorld.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace testsupport {

namespace {

core::DataStore &openWith(TempDataFolder &folder, const QStringList &dbPathLines)
{
    folder.writeDbPath(dbPathLines);
    return folder.openStore();
}

} // namespace

void click(const QObject *screen, const QString &name)
{
    control<QPushButton>(screen, name)->click();
}

void doubleClickRow(core::DataGrid *grid, int row)
{
    if (!grid->setCurrentRow(row))
        qFatal("no grid row %d", row);
    QWidget *viewport = grid->viewport();
    const QPoint at = grid->visualRect(grid->model()->index(row, 0)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    QMouseEvent twice(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &twice);
}

void pick(QComboBox *list, const QString &text)
{
    const int index = list->findText(text);
    if (index < 0)
        qFatal("%s offers no %s", qPrintable(list->objectName()), qPrintable(text));
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void typeIn(QComboBox *list, const QString &text)
{
    QLineEdit *edit = list->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void enterText(QComboBox *list, const QString &text)
{
    QLineEdit *edit = list->lineEdit();
    edit->setText(text);
    emit edit->textEdited(text); // the list takes it as the user's text
    QTest::keyClick(edit, Qt::Key_Return);
}

ScreenWorld::ScreenWorld()
    : store(folder.openStore()), cmn(store, messages), ctx{store, messages, input, files, logon, cmn, &reports}
{
}

ScreenWorld::ScreenWorld(const QStringList &dbPathLines)
    : store(openWith(folder, dbPathLines)), cmn(store, messages),
      ctx{store, messages, input, files, logon, cmn, &reports}
{
}

void ScreenWorld::press(const QObject *screen, const QString &name)
{
    QPushButton *button = control<QPushButton>(screen, name);
    messages.clear();
    button->click();
}

void ScreenWorld::addPerson(const QString &number, const QString &arabic, const QString &english)
{
    store.db().execute(
        QStringLiteral("INSERT INTO tamrel (tamrel_no, a_new_name, e_new_name) VALUES (?, ?, ?)"),
        {number, arabic, english});
}

QVariant ScreenWorld::scalar(const QString &sql, const QVariantList &values)
{
    return store.db().scalar(sql, values);
}

qint64 ScreenWorld::rowCount(const QString &table)
{
    return scalar(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)).toLongLong();
}

} // namespace testsupport
