#pragma once

#include "screens/AppContext.h"
#include "screens/CmnSub.h"
#include "screens/DataGrid.h"
#include "support/FakeServices.h"
#include "data/OpenDb.h"
#include "support/TempDataFolder.h"
#include "support/WorkingDate.h"

#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <memory>

namespace testsupport {

// The child of `parent` of type T named `name`; stops the test program
// when there is none, since every later step would be meaningless.
template <typename T>
T *control(const QObject *parent, const QString &name)
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

// The text box `name` of `screen`.
inline QLineEdit *box(const QObject *screen, const QString &name)
{
    return control<QLineEdit>(screen, name);
}
// Clicks the push button `name` of `screen`.
void click(const QObject *screen, const QString &name);
// Double-clicks row `row` of a shown grid as the mouse would (press,
// release, double click); QTest::mouseDClick does not reach item views.
void doubleClickRow(core::DataGrid *grid, int row);
// Opens the context menu of a grid (or any widget) as the menu key does
// and chooses the action named `action` with the arrow keys and Enter, or
// closes it with Esc when `action` is empty. Gives the menu's actions as
// objectName and whether each was enabled.
QList<QPair<QString, bool>> contextMenu(QWidget *widget, const QString &action = {});
// What a grid shows, heading row first, every cell as shownText() gives it.
QList<QStringList> shownRows(const core::DataGrid *grid);
// Exports the grid as a clerk does (context menu, a file typed in the
// dialog), waits for the export and gives whether the file was written.
bool exportGrid(core::DataGrid *grid, RecordingSaveFileChooser &chooser, const QString &path,
                const QString &action = QStringLiteral("exportXlsx"));

// Chooses the entry `text` of a drop-down list as the user does (the list
// announces the pick); stops the test program when the list lacks it.
void pick(QComboBox *list, const QString &text);
// Types a text (Latin characters only) into an editable list as the user
// does, replacing what it held, and ends with Enter.
void typeIn(QComboBox *list, const QString &text);
// Puts a text into an editable list's box past its keys (a digits-only box
// takes it as it stands), as the user's edit, and ends with Enter: what
// the screen must withstand even where the keys could not type it.
void enterText(QComboBox *list, const QString &text);

// A program folder with an open first database, the recording services and
// the context a screen is handed.
struct ScreenWorld {
    // The default db_path, or the given lines written before opening.
    ScreenWorld();
    explicit ScreenWorld(const QStringList &dbPathLines);

    ScreenWorld(const ScreenWorld &) = delete;
    ScreenWorld &operator=(const ScreenWorld &) = delete;

    TempDataFolder folder;
    core::DataStore &store;
    RecordingMessageService messages;
    RecordingInputService input;
    RecordingFileOpener files;
    RecordingReportService reports;
    RecordingGuideService guide;
    RecordingSaveFileChooser saveFiles;
    core::LogonState logon;
    core::CmnSub cmn;
    core::AppContext ctx;

    // The working date a logon would have left.
    void setWorkingDate(const WorkingDate &date) { date.setIn(logon); }

    // The last shown message without surrounding blanks.
    QString lastShown() const { return messages.lastShown().trimmed(); }
    // Forgets the recorded messages, then clicks the button.
    void press(const QObject *screen, const QString &name);

    // A person of the register with these new names (other fields empty).
    void addPerson(const QString &number, const QString &arabic = {}, const QString &english = {});

    // Reads through the screen's own connection.
    QVariant scalar(const QString &sql, const QVariantList &values = {});
    qint64 rowCount(const QString &table);
};

// A ScreenWorld with one screen of type Screen, which the test creates
// (after filling the tables it needs at loading).
template <typename Screen>
struct ScreenFixture : ScreenWorld {
    using ScreenWorld::ScreenWorld;

    std::unique_ptr<Screen> screen;

    template <typename T>
    T *find(const QString &name) const
    {
        return control<T>(screen.get(), name);
    }
    QLineEdit *box(const QString &name) const { return testsupport::box(screen.get(), name); }
    core::DataGrid *grid() const { return find<core::DataGrid>(QStringLiteral("DBGrid1")); }

    // Forgets the recorded messages, then clicks the button.
    void press(const QString &name) { ScreenWorld::press(screen.get(), name); }
    // Clicks the button; the messages recorded so far stay.
    void click(const QString &name) const { testsupport::click(screen.get(), name); }
};

} // namespace testsupport
