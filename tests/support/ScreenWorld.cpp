#include "support/ScreenWorld.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

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

QList<QPair<QString, bool>> contextMenu(QWidget *widget, const QString &action)
{
    QList<QPair<QString, bool>> seen;
    bool done = false;
    std::function<void()> answer = [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) {
            QTimer::singleShot(10, answer); // not shown yet
            return;
        }
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                seen.append({a->objectName(), a->isEnabled()});
        for (int i = 0; !action.isEmpty() && i <= menu->actions().size(); ++i) {
            if (menu->activeAction() && menu->activeAction()->objectName() == action)
                break;
            QTest::keyClick(menu, Qt::Key_Down);
        }
        const bool found = menu->activeAction() && menu->activeAction()->objectName() == action;
        QTest::keyClick(menu, found ? Qt::Key_Return : Qt::Key_Escape);
        done = true;
    };
    QTimer::singleShot(0, answer);
    QWidget *target = widget;
    if (auto *area = qobject_cast<QAbstractScrollArea *>(widget))
        target = area->viewport();
    const QPoint at(10, 10);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    if (!done)
        qFatal("no context menu on %s", qPrintable(widget->objectName()));
    return seen;
}

QList<QStringList> shownRows(const core::DataGrid *grid)
{
    QList<QStringList> rows;
    QStringList headings;
    for (int c = 0; c < grid->columnCount(); ++c)
        headings << grid->heading(c);
    rows << headings;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->columnCount(); ++c)
            row << grid->shownText(r, c);
        rows << row;
    }
    return rows;
}

bool exportGrid(core::DataGrid *grid, RecordingSaveFileChooser &chooser, const QString &path, const QString &action)
{
    QSignalSpy finished(&grid->exporter(), &core::GridExport::finished);
    chooser.queueAnswer(path);
    contextMenu(grid, action);
    if (finished.isEmpty() && !finished.wait(120000))
        return false;
    return finished.first().first().toBool();
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
    : store(folder.openStore()), cmn(store, messages), ctx{store, messages, input, files, logon, cmn, &reports, &guide, &saveFiles}
{
}

ScreenWorld::ScreenWorld(const QStringList &dbPathLines)
    : store(openWith(folder, dbPathLines)), cmn(store, messages),
      ctx{store, messages, input, files, logon, cmn, &reports, &guide, &saveFiles}
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
