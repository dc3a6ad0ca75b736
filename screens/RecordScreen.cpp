#include "screens/RecordScreen.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "screens/EditWatch.h"
#include "screens/LookupCombo.h"
#include "screens/RequiredMark.h"
#include "data/OpenDb.h"
#include "screens/ScreenHost.h"
#include "screens/ScreenKeys.h"
#include "data/Schema.h"
#include "screens/TextArea.h"
#include "engine/EngineError.h"
#include "engine/TableCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

namespace core {

RecordScreen::RecordScreen(AppContext &ctx, const QString &formName, const QString &caption,
                           const QString &table, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_slot(&ctx.store.slot(table)), m_caption(caption)
{
    setObjectName(formName);
    setWindowTitle(caption);
    m_edits = new EditWatch(this);
    connect(m_edits, &EditWatch::unsavedChanged, this, &RecordScreen::showUnsavedMark);
    setLayoutDirection(Qt::RightToLeft);
    m_keys = new ScreenKeys(this);
    m_keys->setGuide(ctx.guide);
    buildLayout();
    m_keys->setFocusArea(m_formArea);
    bindKeys();
    m_grid->setHeadingProvider([this](const QString &field) { return headingFor(field); });
}

RecordScreen::~RecordScreen()
{
    // The grid outlives this part of the screen (QWidget's destructor hides
    // and deletes it later) and must not ask it for headings any more; nor
    // may the watch and the list call back into it.
    m_grid->setHeadingProvider({});
    m_edits->blockSignals(true);
    disconnect(m_followWhenRead);
}

CmnSub &RecordScreen::cmn() const
{
    return m_ctx.cmn;
}

QPushButton *RecordScreen::makeButton(const QString &name, const QString &tip, int icon)
{
    auto *b = new QPushButton(m_buttonBar);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    if (icon >= 0) {
        b->setIcon(style()->standardIcon(QStyle::StandardPixmap(icon)));
        b->setIconSize(QSize(20, 20));
        b->setMinimumSize(QSize(38, 32));
    }
    m_buttonRow->addWidget(b);
    return b;
}

void RecordScreen::buildLayout()
{
    auto *main = new QVBoxLayout(this);

    m_formArea = new QWidget(this);
    m_formArea->setObjectName(QStringLiteral("formArea"));
    main->addWidget(m_formArea, 1);

    m_buttonBar = new QFrame(this);
    m_buttonBar->setObjectName(QStringLiteral("buttonBar"));
    m_buttonBar->setFrameShape(QFrame::StyledPanel);
    auto *bar = new QHBoxLayout(m_buttonBar);
    bar->setContentsMargins(4, 4, 4, 4);
    m_buttonRow = new QHBoxLayout;
    bar->addLayout(m_buttonRow);
    bar->addStretch(1);
    main->addWidget(m_buttonBar);
    makeStandardButtons(bar);

    buildListPanel();
    // Hidden, the panel takes no room; the window grows when it is shown.
    m_frame1->hide();
    main->addWidget(m_frame1, 2);
    buildStatusBar(main);

    connectButtons();
}

// The screen's own line, and the unsaved mark at its end.
void RecordScreen::buildStatusBar(QVBoxLayout *main)
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusLine = new QLabel(m_statusBar);
    m_statusLine->setObjectName(QStringLiteral("lblStatus"));
    m_statusBar->addWidget(m_statusLine, 1);
    m_unsavedMark = new QLabel(kUnsavedText, m_statusBar);
    m_unsavedMark->setObjectName(QStringLiteral("lblUnsaved"));
    QFont bold = m_unsavedMark->font();
    bold.setBold(true);
    m_unsavedMark->setFont(bold);
    QPalette red = m_unsavedMark->palette();
    red.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    m_unsavedMark->setPalette(red);
    m_unsavedMark->hide();
    m_statusBar->addPermanentWidget(m_unsavedMark);
    main->addWidget(m_statusBar);
}

// The standard buttons in the button row; close stands apart at the end
// of the bar.
void RecordScreen::makeStandardButtons(QHBoxLayout *bar)
{
    // In a right-to-left row the first record sits on the right, so the
    // arrows point the way the records run.
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    QPushButton *add = makeButton(QStringLiteral("add"), kAddTip, QStyle::SP_FileIcon);
    add->setText(QStringLiteral("."));
    add->setMaximumWidth(52); // the caption is a dot: keep it as small as the icon buttons
    makeButton(QStringLiteral("update"), kUpdateTip, QStyle::SP_DialogSaveButton);
    makeButton(QStringLiteral("delete"), kDeleteTip, QStyle::SP_TrashIcon);
    makeButton(QStringLiteral("clear"), kClearTip, QStyle::SP_DialogResetButton);
    makeButton(QStringLiteral("find"), kFindTip, QStyle::SP_FileDialogContentsView);
    makeButton(QStringLiteral("firstrec"), kFirstTip,
               rtl ? QStyle::SP_MediaSkipForward : QStyle::SP_MediaSkipBackward);
    makeButton(QStringLiteral("prevrec"), kPrevTip,
               rtl ? QStyle::SP_MediaSeekForward : QStyle::SP_MediaSeekBackward);
    makeButton(QStringLiteral("nextrec"), kNextTip,
               rtl ? QStyle::SP_MediaSeekBackward : QStyle::SP_MediaSeekForward);
    makeButton(QStringLiteral("lastrec"), kLastTip,
               rtl ? QStyle::SP_MediaSkipBackward : QStyle::SP_MediaSkipForward);
    makeButton(QStringLiteral("list"), kListTip, QStyle::SP_FileDialogDetailedView);

    auto *close = new QPushButton(kCloseCaption, m_buttonBar);
    close->setObjectName(QStringLiteral("close"));
    close->setToolTip(kCloseCaption);
    close->setAutoDefault(false);
    bar->addWidget(close);
}

// Frame1: the list grid with list_ok and refresh under it.
void RecordScreen::buildListPanel()
{
    m_frame1 = new QFrame(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setFrameShape(QFrame::StyledPanel);
    auto *panel = new QVBoxLayout(m_frame1);
    m_listData = new DataSource(QString(), this);
    m_grid = new DataGrid(m_frame1);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setMessageService(&m_ctx.messages);
    m_grid->setSaveFileChooser(m_ctx.saveFiles);
    m_grid->setDataSource(m_listData);
    m_grid->setMinimumHeight(180);
    panel->addWidget(m_grid, 1);
    auto *panelButtons = new QHBoxLayout;
    auto *listOk = new QPushButton(kListOkCaption, m_frame1);
    listOk->setObjectName(QStringLiteral("list_ok"));
    listOk->setAutoDefault(false);
    auto *refresh = new QPushButton(kRefreshCaption, m_frame1);
    refresh->setObjectName(QStringLiteral("refresh"));
    refresh->setAutoDefault(false);
    panelButtons->addWidget(listOk);
    panelButtons->addWidget(refresh);
    panelButtons->addStretch(1);
    panel->addLayout(panelButtons);
}

void RecordScreen::connectButtons()
{
    const std::pair<const char *, void (RecordScreen::*)()> handlers[] = {
        {"add", &RecordScreen::addClicked},         {"update", &RecordScreen::updateClicked},
        {"delete", &RecordScreen::deleteClicked},   {"clear", &RecordScreen::clearClicked},
        {"find", &RecordScreen::findClicked},       {"firstrec", &RecordScreen::firstrecClicked},
        {"prevrec", &RecordScreen::prevrecClicked}, {"nextrec", &RecordScreen::nextrecClicked},
        {"lastrec", &RecordScreen::lastrecClicked}, {"list", &RecordScreen::listClicked},
        {"list_ok", &RecordScreen::listOkClicked},  {"refresh", &RecordScreen::refreshClicked},
        {"close", &RecordScreen::closeClicked},
    };
    // Through the virtual call, so a screen's own handler runs.
    for (const auto &[name, handler] : handlers)
        connect(button(QLatin1String(name)), &QPushButton::clicked, this,
                [this, handler = handler] { (this->*handler)(); });
    connect(m_grid, &DataGrid::rowChosen, this, [this] { gridDoubleClicked(); });
}

void RecordScreen::bindKeys()
{
    const std::pair<const QKeySequence &, const char *> standard[] = {
        {keys::kFind, "find"},       {keys::kUpdate, "update"},   {keys::kAdd, "add"},
        {keys::kDelete, "delete"},   {keys::kClear, "clear"},     {keys::kFirst, "firstrec"},
        {keys::kPrevious, "prevrec"}, {keys::kNext, "nextrec"},   {keys::kLast, "lastrec"},
        {keys::kList, "list"},       {keys::kRefresh, "refresh"}, {keys::kClose, "close"},
    };
    for (const auto &[key, name] : standard)
        m_keys->bind(key, button(QLatin1String(name)));
    m_keys->describe(QStringLiteral("Enter"), QStringLiteral("اختيار السطر المحدد من الجدول"));
    m_keys->describe(keys::kExportList.toString(QKeySequence::NativeText), QStringLiteral("تصدير الجدول إلى Excel أو CSV"));
}

void RecordScreen::setFirstFocus(QWidget *control)
{
    m_keys->setFirstFocus(control);
}

QSize RecordScreen::sizeHint() const
{
    // Wide enough for the button row; as high as the controls need.
    return QWidget::sizeHint().expandedTo(QSize(720, 0));
}

void RecordScreen::fitWindowToContents()
{
    QMdiSubWindow *window = nullptr;
    for (QWidget *w = parentWidget(); w && !window; w = w->parentWidget())
        window = qobject_cast<QMdiSubWindow *>(w);
    if (!window) {
        if (isWindow())
            resize(size().expandedTo(sizeHint()));
        return;
    }
    window->resize(window->size().expandedTo(window->sizeHint()));
    // Move up as far as needed to keep the grown window in the frame; a
    // window higher than the frame keeps its top, the frame scrolls.
    if (QMdiArea *area = window->mdiArea()) {
        const int room = area->viewport()->height() - window->height();
        if (window->y() > room)
            window->move(window->x(), qMax(0, room));
    }
}

void RecordScreen::addButton(QAbstractButton *b)
{
    b->setParent(m_buttonBar);
    m_buttonRow->addWidget(b);
}

QPushButton *RecordScreen::addInertListButton()
{
    QPushButton *list = button(QStringLiteral("list"));
    auto *list2 = new QPushButton(list->icon(), QString());
    list2->setObjectName(QStringLiteral("list2"));
    list2->setToolTip(kListTip);
    list2->setIconSize(list->iconSize());
    list2->setMinimumSize(list->minimumSize());
    addButton(list2);
    return list2;
}

QPushButton *RecordScreen::button(const QString &name) const
{
    return findChild<QPushButton *>(name);
}

void RecordScreen::loadForm()
{
    m_loading = true;
    cmn().msgs.LOADMSGS();
    CLEARFIELDS();
    m_listData->setDatabase(m_ctx.store);
    loadLookups();
    refreshList();
    m_loading = false;
    m_headingsKnown = false; // every label of the screen exists by now
    for (const FieldCheck &check : std::as_const(m_fieldChecks))
        if (check.required)
            markRequired(this, check.control);
    startWatchingEdits();
}

void RecordScreen::startWatchingEdits()
{
    const auto ignored = [this](QWidget *control) {
        for (const QPointer<QWidget> &w : std::as_const(m_ignored))
            if (w == control)
                return true;
        return false;
    };
    for (const FieldBinding &b : std::as_const(m_bindings))
        if (b.control && !ignored(b.control))
            m_edits->watch(b.control);
    for (const QPointer<QWidget> &w : std::as_const(m_extraWatched))
        if (w)
            m_edits->watch(w);
    m_edits->markClean();
}

void RecordScreen::watchEdits(QWidget *control)
{
    m_extraWatched << control;
    if (!m_loading && control)
        m_edits->watch(control);
}

void RecordScreen::ignoreEdits(QWidget *control)
{
    m_ignored << control;
}

void RecordScreen::markSaved()
{
    m_edits->markClean();
}

bool RecordScreen::hasUnsavedEdits() const
{
    return m_edits->unsaved();
}

void RecordScreen::showUnsavedMark(bool unsaved)
{
    setWindowTitle(unsaved ? m_caption + kUnsavedTitleMark : m_caption);
    m_unsavedMark->setVisible(unsaved);
}

void RecordScreen::showStatus(const QString &text)
{
    m_statusLine->setText(text);
    m_refusal.clear();
}

QString RecordScreen::refusalText(const QString &field, const QString &tab, const QString &message)
{
    if (tab.isEmpty())
        return QStringLiteral("لم يحفظ السجل: «%1» — %2").arg(field, message.trimmed());
    return QStringLiteral("لم يحفظ السجل: «%1» في صفحة «%2» — %3").arg(field, tab, message.trimmed());
}

void RecordScreen::setChecks(const QList<FieldCheck> &checks)
{
    m_fieldChecks = checks;
}

CheckResult RecordScreen::runChecks()
{
    for (const FieldCheck &check : std::as_const(m_fieldChecks)) {
        const CheckResult result = check.rule ? check.rule() : checkControl(check.control, check.required, check.numeric);
        if (result.valid)
            continue;
        // The focus is on the failing control now: its page comes to the front.
        QWidget *failing = focusWidget();
        if (!failing)
            failing = check.control;
        showTabOf(failing);
        failing->setFocus();
        QString field = captionText(captionOf(this, check.control));
        if (field.isEmpty()) {
            for (const FieldBinding &b : std::as_const(m_bindings))
                if (b.control == check.control)
                    field = headingFor(b.field);
        }
        if (field.isEmpty())
            field = check.control->objectName();
        showStatus(refusalText(field, tabCaptionOf(check.control), result.message));
        m_refusal = m_statusLine->text();
        return result;
    }
    if (!m_refusal.isEmpty() && m_statusLine->text() == m_refusal)
        showStatus(QString());
    return {};
}

void RecordScreen::SETINDEX()
{
    table().setIndex(kPrimaryKey);
}

void RecordScreen::DATATOTEXT()
{
    CLEARFIELDS();
    showFields();
}

void RecordScreen::texttodata()
{
    storeFields();
}

engine::TableCursor &RecordScreen::recordTable()
{
    return table();
}

engine::TableCursor &RecordScreen::table() const
{
    return m_slot->cursor();
}

void RecordScreen::message(const QString &text)
{
    m_ctx.messages.show(text, this);
}

bool RecordScreen::withCursor(const std::function<void()> &op)
{
    // Closes the cursor however the operation ends.
    struct Closer {
        CursorSlot *slot;
        ~Closer() { slot->close(); }
    } closer{m_slot};
    try {
        m_slot->open();
        op();
        return true;
    } catch (const engine::EngineError &) {
        message(cmn().msgs.MSG_DATAERROR);
        return false;
    }
}

CheckResult RecordScreen::checkControl(QWidget *control, bool required, bool numeric)
{
    const QString text = controlText(control);
    const CheckResult result = cmn().CHECKFIELD(text, required, numeric);
    if (!result.valid) {
        if (control)
            control->setFocus();
    } else if (text.isEmpty() && control) {
        setControlText(control, QStringLiteral(" "));
    }
    return result;
}

void RecordScreen::fitToField(QWidget *control, const QString &field, const QString &tableName) const
{
    const schema::Table *table = schema::findTable(tableName.isEmpty() ? m_slot->table() : tableName);
    const schema::Column *column = table ? table->column(field) : nullptr;
    if (!column || column->kind != schema::Kind::Text || column->maxLength <= 0)
        return;
    if (auto *box = qobject_cast<QLineEdit *>(control))
        box->setMaxLength(column->maxLength);
    else if (auto *list = qobject_cast<QComboBox *>(control); list && list->lineEdit())
        list->lineEdit()->setMaxLength(column->maxLength);
    else if (auto *area = qobject_cast<TextArea *>(control))
        area->setMaxLength(column->maxLength);
}

LookupCombo *RecordScreen::fieldList(const QString &objectName, const QString &field, int codeTable,
                                     const QString &table)
{
    auto *list = new LookupCombo(objectName, formArea());
    if (codeTable > 0)
        list->setListField(schema::codeFieldName(codeTable));
    fitToField(list, field, table);
    return list;
}

TextArea *RecordScreen::textBox(const QString &objectName, int lines, const QString &field)
{
    auto *box = new TextArea(objectName, formArea());
    if (lines > 0)
        box->setFixedHeight(box->fontMetrics().lineSpacing() * lines + 2 * box->frameWidth() + 8);
    if (!field.isEmpty())
        fitToField(box, field);
    return box;
}

void RecordScreen::showField(const QString &field, QWidget *control)
{
    try {
        const QVariant v = table().value(field);
        if (!v.isNull())
            setControlText(control, v.toString());
    } catch (const engine::EngineError &) {
        // One field that cannot be shown does not stop the others.
    }
}

void RecordScreen::storeField(QWidget *control, const QString &field)
{
    if (auto *check = qobject_cast<QCheckBox *>(control))
        table().setValue(field, checkBoxValue(check));
    else
        table().setValue(field, controlText(control));
}

void RecordScreen::bindField(const QString &field, QWidget *control, QLabel *label)
{
    m_bindings.append({field, control, label, QString()});
    m_headingsKnown = false;
}

void RecordScreen::bindField(const QString &field, QWidget *control, const QString &heading)
{
    m_bindings.append({field, control, nullptr, heading});
    m_headingsKnown = false;
}

void RecordScreen::showFields()
{
    for (const FieldBinding &b : std::as_const(m_bindings))
        showField(b.field, b.control);
}

void RecordScreen::storeFields()
{
    for (const FieldBinding &b : std::as_const(m_bindings))
        storeField(b.control, b.field);
}

namespace {

// A label's text as a column heading: "&Name:" -> "Name".
QString headingText(QString text)
{
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A)))
        text.chop(1);
    return text.trimmed();
}

} // namespace

QString RecordScreen::headingFor(const QString &field) const
{
    if (!m_headingsKnown) {
        m_headings.clear();
        const QList<QLabel *> labels = findChildren<QLabel *>();
        for (const FieldBinding &b : std::as_const(m_bindings)) {
            QString heading = b.heading;
            QLabel *label = b.label;
            for (int i = 0; !label && heading.isEmpty() && i < labels.size(); ++i) {
                // The caption of a compound control (a date selector) names
                // one of its parts as its buddy.
                const QWidget *buddy = labels.at(i)->buddy();
                if (b.control && buddy && (buddy == b.control || b.control->isAncestorOf(buddy)))
                    label = labels.at(i);
            }
            if (heading.isEmpty() && label)
                heading = headingText(label->text());
            const QString key = b.field.toCaseFolded();
            if (!heading.isEmpty() && !m_headings.contains(key))
                m_headings.insert(key, heading);
        }
        m_headingsKnown = true;
    }
    return m_headings.value(field.toCaseFolded(), field);
}

void RecordScreen::refreshList()
{
    m_listData->setDatabase(m_ctx.store);
    // A list that cannot be read keeps what it showed; while loading the
    // screen opens anyway, afterwards the user is told.
    if (!m_listData->tryRefresh()) {
        if (!m_loading)
            message(cmn().msgs.MSG_DATAERROR);
        return;
    }
    followShownRecordAgain();
}

void RecordScreen::afterAdd(bool)
{
    refreshList();
}

void RecordScreen::afterUpdate(bool) {}

void RecordScreen::afterDelete(bool)
{
    refreshList();
}

void RecordScreen::addClicked()
{
    const CheckResult check = VALIDATE();
    if (!check.valid) {
        message(check.message);
        return;
    }
    bool added = false;
    withCursor([&] { added = cmn().ADDREC(*this, SETKEY()); });
    afterAdd(added);
}

void RecordScreen::updateClicked()
{
    if (!beforeUpdate())
        return;
    const CheckResult check = VALIDATE();
    if (!check.valid) {
        message(check.message);
        return;
    }
    bool updated = false;
    withCursor([&] { updated = cmn().UPDATEREC(*this, SETKEY()); });
    afterUpdate(updated);
}

void RecordScreen::deleteClicked()
{
    bool deleted = false;
    withCursor([&] { deleted = cmn().DELETEREC(*this, SETKEY()); });
    afterDelete(deleted);
}

void RecordScreen::clearClicked()
{
    // A key typed into a cleared screen saves as it stands.
    shownRecord().clear();
    m_shownKey.clear();
    CLEARFIELDS();
    markSaved();
}

void RecordScreen::recordInControls()
{
    markSaved();
    if (!m_refusal.isEmpty() && m_statusLine->text() == m_refusal)
        showStatus(QString());
    QVariantList key;
    try {
        if (const schema::Table *t = schema::findTable(m_slot->table()))
            for (const QString &field : t->key)
                key << table().value(field);
    } catch (const engine::EngineError &) {
        key.clear(); // the list keeps its row
    }
    followRecord(key);
}

void RecordScreen::followRecord(const QVariantList &key)
{
    m_shownKey = key;
    followShownRecordAgain();
}

// The record's row in the list as it is now; a list still being read is
// looked at again once it is complete.
void RecordScreen::followShownRecordAgain()
{
    disconnect(m_followWhenRead);
    const schema::Table *t = schema::findTable(m_slot->table());
    if (m_shownKey.isEmpty() || !t || t->key.size() != m_shownKey.size())
        return;
    const int row = m_listData->rowOf(t->key, m_shownKey);
    if (row >= 0) {
        if (row != m_grid->currentRow())
            m_grid->setCurrentRow(row);
        return;
    }
    m_grid->setCurrentIndex(QModelIndex());
    m_grid->clearSelection();
    if (m_listData->isRunning())
        m_followWhenRead = connect(m_listData, &DataSource::workFinished, this,
                                   [this] { followShownRecordAgain(); }, Qt::SingleShotConnection);
}

void RecordScreen::findClicked()
{
    withCursor([&] { cmn().FINDREC(*this, SETKEY()); });
}

void RecordScreen::firstrecClicked()
{
    withCursor([&] { cmn().GOFIRST(*this); });
}

void RecordScreen::lastrecClicked()
{
    withCursor([&] { cmn().GOLAST(*this); });
}

// No position survives between buttons: the record on the screen is found
// again and the move starts from there.
void RecordScreen::nextrecClicked()
{
    withCursor([&] {
        cmn().FINDREC(*this, SETKEY());
        cmn().GONEXT(*this);
    });
}

void RecordScreen::prevrecClicked()
{
    withCursor([&] {
        cmn().FINDREC(*this, SETKEY());
        cmn().GOPREV(*this);
    });
}

void RecordScreen::listClicked()
{
    if (!m_frame1->isHidden())
        return;
    m_frame1->show();
    fitWindowToContents();
}

void RecordScreen::setListChoice(const ListChoice &choice)
{
    m_secondKeyControl = choice.secondKey;
    m_skipEmptyKey = choice.skipEmptyKey;
    m_chooseOnDoubleClick = choice.onDoubleClick;
}

void RecordScreen::listOkClicked()
{
    if (m_grid->currentRow() < 0)
        return;
    if (m_skipEmptyKey && m_grid->columnValue(0).trimmed().isEmpty())
        return;
    chooseGridRow();
}

// Enter or a double click on a row: screens whose double click chooses the
// row without list_ok's emptiness test do so; the others press list_ok.
void RecordScreen::gridDoubleClicked()
{
    if (m_chooseOnDoubleClick) {
        if (m_grid->currentRow() >= 0)
            chooseGridRow();
        return;
    }
    ScreenKeys::press(button(QStringLiteral("list_ok")), this);
}

void RecordScreen::chooseGridRow()
{
    setControlText(m_keyControl, m_grid->columnValue(0));
    if (m_secondKeyControl)
        setControlText(m_secondKeyControl, m_grid->columnValue(1));
    findClicked();
}

void RecordScreen::refreshClicked()
{
    refreshList();
}

void RecordScreen::closeClicked()
{
    unloadScreen(this);
}

} // namespace core
