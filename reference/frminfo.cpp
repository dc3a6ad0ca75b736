#include "reference/frminfo.h"

#include "data/OpenDb.h"
#include "screens/RecordScreen.h"
#include "screens/ScreenHost.h"
#include "screens/ScreenKeys.h"
#include "engine/EngineError.h"
#include "engine/TableCursor.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace reference {

namespace {

constexpr int kLogoWidth = 200;
constexpr int kLogoHeight = 200;

} // namespace

// Table order; the boxes are read in this order and written in it, logo last
// and read-only.
const std::array<frminfo::Field, 12> frminfo::kFields{{
    {"res_publica", "txt_res_publica", "الدولة", 50},
    {"name_ of_institution", "txt_name_of_institution", "اسم المؤسسة", 120},
    {"direction", "txt_direction", "الجهة المشرفة ", 120},
    {"manager", "txt_manager", "مدير المؤسسة", 120},
    {"admin2", "txt_admin2", "منسق إداري2", 120},
    {"admin3", "txt_admin3", "منسق إداري3", 120},
    {"admin4", "txt_admin4", "منسق إداري4", 120},
    {"phone", "txt_phone", "التلفون ", 50},
    {"fax", "txt_fax", "ناسوخ", 50},
    {"website", "txt_website", "الموقع الإلكتروني", 80},
    {"email", "txt_email", "البريد الإلكتروني", 80},
    {"logo", "txt_logo", "شعار المؤسسة", 0},
}};

frminfo::frminfo(core::AppContext &ctx, QWidget *parent) : QWidget(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frminfo"));
    setWindowTitle(QStringLiteral("بيانات المؤسسة"));
    setLayoutDirection(Qt::RightToLeft);
    buildUi();

    m_ctx.cmn.msgs.LOADMSGS();
    loadRecord();
    loadLogo();
}

frminfo::~frminfo() = default;

QString frminfo::logoPath(const QString &programDir)
{
    return programDir + QLatin1Char('/') + QLatin1String(kLogoFile);
}

void frminfo::buildUi()
{
    auto *fields = new QGridLayout;
    for (int i = 0; i < int(kFields.size()); ++i) {
        const Field &f = kFields[i];
        auto *box = new QLineEdit(this);
        box->setObjectName(QLatin1String(f.control));
        if (f.limit > 0)
            box->setMaxLength(f.limit);
        else
            box->setReadOnly(true);
        box->setMinimumWidth(320);
        auto *label = new QLabel(QString::fromUtf8(f.caption), this);
        label->setBuddy(box);
        fields->addWidget(label, i, 0);
        fields->addWidget(box, i, 1);
        m_boxes[i] = box;
    }
    // Addresses read left to right even on this right-to-left form; numbers
    // keep to the right, where a box of digits alone would not put them.
    for (const char *name : {"txt_website", "txt_email", "txt_logo"})
        findChild<QLineEdit *>(QLatin1String(name))->setLayoutDirection(Qt::LeftToRight);
    for (const char *name : {"txt_phone", "txt_fax"})
        findChild<QLineEdit *>(QLatin1String(name))->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);

    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("Image2"));
    m_image->setFixedSize(kLogoWidth, kLogoHeight);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setFrameShape(QFrame::StyledPanel);

    // The same save button and exit caption as the record screens.
    m_update = new QPushButton(core::RecordScreen::kUpdateTip, this);
    m_update->setObjectName(QStringLiteral("update"));
    m_update->setToolTip(core::RecordScreen::kUpdateTip);
    m_update->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    m_update->setAutoDefault(false);
    m_close = new QPushButton(core::RecordScreen::kCloseCaption, this);
    m_close->setObjectName(QStringLiteral("close"));
    m_close->setToolTip(core::RecordScreen::kCloseCaption);
    m_close->setAutoDefault(false);
    connect(m_update, &QPushButton::clicked, this, &frminfo::onUpdate);
    connect(m_close, &QPushButton::clicked, this, [this] { core::unloadScreen(this); });
    // The same keys as on the record screens.
    auto *keys = new core::ScreenKeys(this);
    keys->setGuide(m_ctx.guide);
    keys->bind(core::keys::kUpdate, m_update);
    keys->bind(core::keys::kClose, m_close);

    auto *top = new QHBoxLayout;
    top->addLayout(fields, 1);
    auto *picture = new QVBoxLayout;
    picture->addWidget(m_image);
    picture->addStretch(1);
    top->addLayout(picture);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_update);
    buttons->addStretch(1);
    buttons->addWidget(m_close);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addLayout(buttons);
}

void frminfo::SETINDEX()
{
    recordTable().setIndex(QString());
}

engine::TableCursor &frminfo::recordTable()
{
    return m_ctx.store.slot(QLatin1String(kTable)).cursor();
}

void frminfo::DATATOTEXT()
{
    engine::TableCursor &cursor = recordTable();
    for (int i = 0; i < int(kFields.size()); ++i) {
        try {
            const QVariant value = cursor.value(QLatin1String(kFields[i].field));
            if (!value.isNull())
                core::setControlText(m_boxes[i], value.toString());
        } catch (const engine::EngineError &) {
            // A field that cannot be read leaves its box; the others go on.
        }
    }
}

void frminfo::texttodata()
{
    engine::TableCursor &cursor = recordTable();
    // Every box but the last: logo is shown, never written.
    for (int i = 0; i + 1 < int(kFields.size()); ++i)
        cursor.setValue(QLatin1String(kFields[i].field), m_boxes[i]->text());
}

void frminfo::loadRecord()
{
    core::CursorSlot &slot = m_ctx.store.slot(QLatin1String(kTable));
    try {
        engine::TableCursor &cursor = slot.open();
        SETINDEX();
        m_shown.clear();
        cursor.moveFirst(); // an empty table throws: nothing to show
        DATATOTEXT();
        m_shown.take(cursor);
    } catch (const engine::EngineError &) {
        // Loading shows what it can: no table or no record leaves the boxes empty.
    }
    slot.close();
}

void frminfo::loadLogo()
{
    const QString path = logoPath(m_ctx.store.programDir());
    if (!QFileInfo::exists(path))
        return;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return; // an unreadable picture leaves the box empty, like a missing one
    m_image->setPixmap(QPixmap::fromImage(image.scaled(m_image->size(), Qt::KeepAspectRatio,
                                                       Qt::SmoothTransformation)));
}

void frminfo::onUpdate()
{
    core::CursorSlot &slot = m_ctx.store.slot(QLatin1String(kTable));
    bool added = false;
    try {
        engine::TableCursor &cursor = slot.open();
        SETINDEX();
        // A table without its record gets one, so the typed values are kept.
        if (cursor.recordCount() > 0) {
            cursor.moveFirst();
            // A colleague saved (or made) the record since it was shown:
            // writing the boxes back would wipe that unseen.
            if (!m_shown.holds() || m_shown.changedSince(cursor)) {
                slot.close();
                m_ctx.messages.show(core::CmnSub::kNotUpdated, this);
                loadRecord();
                return;
            }
            cursor.edit();
        } else {
            cursor.addNew();
            added = true;
        }
        texttodata();
        cursor.update();
    } catch (const engine::EngineError &) {
        // The write runs in a transaction: nothing is stored, and the boxes
        // keep what was typed so the user can try again.
        slot.close();
        m_ctx.messages.show(core::CmnSub::kNotUpdated, this);
        return;
    }
    slot.close();
    loadRecord(); // the record as written is the one shown now
    m_ctx.messages.show(added ? m_ctx.cmn.msgs.MSG_ADDED : m_ctx.cmn.msgs.MSG_UPDATED, this);
}

} // namespace reference
