#include "screens/RequiredMark.h"

#include "screens/GridDelegate.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>

#include <functional>

namespace core {

namespace {

const QColor kStarColour(0xb0, 0x00, 0x20);
constexpr int kGap = 2;

// The star at the end of a caption's text. The caption keeps its text and
// gets room for the star on that side; the star follows the text when the
// caption is laid out again.
class CaptionStar : public QObject {
public:
    explicit CaptionStar(QLabel *caption) : QObject(caption), m_caption(caption)
    {
        m_star = new QLabel(QStringLiteral("*"), caption);
        m_star->setObjectName(QLatin1String(kRequiredMarkName));
        m_star->setToolTip(kRequiredTip);
        QFont bold = m_star->font();
        bold.setBold(true);
        m_star->setFont(bold);
        QPalette red = m_star->palette();
        red.setColor(QPalette::WindowText, kStarColour);
        m_star->setPalette(red);
        m_star->adjustSize();
        m_atLeft = GridDelegate::textDirection(caption->text()) == Qt::RightToLeft;
        QMargins room = caption->contentsMargins();
        const int width = m_star->width() + kGap;
        if (m_atLeft)
            room.setLeft(room.left() + width);
        else
            room.setRight(room.right() + width);
        caption->setContentsMargins(room);
        caption->installEventFilter(this);
        place();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_caption) {
            switch (event->type()) {
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::FontChange:
            case QEvent::LayoutDirectionChange:
                place();
                break;
            default:
                break;
            }
        }
        return false;
    }

private:
    // Where the caption's text stands in its room, and the star beside it.
    void place()
    {
        const QRect room = m_caption->contentsRect();
        const int text = qMin(room.width(), m_caption->fontMetrics().horizontalAdvance(m_caption->text()));
        const Qt::Alignment align = QStyle::visualAlignment(m_caption->layoutDirection(), m_caption->alignment());
        int left = room.left();
        if (align & Qt::AlignRight)
            left = room.right() + 1 - text;
        else if (align & Qt::AlignHCenter)
            left = room.left() + (room.width() - text) / 2;
        const int x = m_atLeft ? left - kGap - m_star->width() : left + text + kGap;
        m_star->move(x, room.top() + (room.height() - m_star->height()) / 2);
    }

    QLabel *m_caption;
    QLabel *m_star = nullptr;
    bool m_atLeft = true;
};

QIcon starIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    QFont font;
    font.setBold(true);
    font.setPixelSize(size);
    p.setFont(font);
    p.setPen(kStarColour);
    p.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("*"));
    return QIcon(pixmap);
}

QLineEdit *boxOf(const QWidget *control)
{
    if (auto *box = qobject_cast<const QLineEdit *>(control))
        return const_cast<QLineEdit *>(box);
    if (auto *list = qobject_cast<const QComboBox *>(control))
        return list->lineEdit();
    return nullptr;
}

QAction *boxStar(const QWidget *control)
{
    QLineEdit *box = boxOf(control);
    return box ? box->findChild<QAction *>(QLatin1String(kRequiredMarkName)) : nullptr;
}

void addTip(QWidget *widget)
{
    const QString tip = widget->toolTip();
    if (!tip.contains(kRequiredTip))
        widget->setToolTip(tip.isEmpty() ? kRequiredTip : tip + QLatin1Char('\n') + kRequiredTip);
}

QString withoutMnemonics(QString text)
{
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

} // namespace

QLabel *captionOf(const QWidget *screen, const QWidget *control)
{
    if (!screen || !control)
        return nullptr;
    const QList<QLabel *> labels = screen->findChildren<QLabel *>();
    // The closest tie first: the control itself, one of its parts, the
    // row that holds it.
    const std::function<bool(const QWidget *)> ties[] = {
        [control](const QWidget *buddy) { return buddy == control; },
        [control](const QWidget *buddy) { return control->isAncestorOf(buddy); },
        [control](const QWidget *buddy) { return buddy->isAncestorOf(control); },
    };
    for (const auto &tie : ties)
        for (QLabel *label : labels)
            if (label->buddy() && tie(label->buddy()))
                return label;
    return nullptr;
}

QString captionText(const QLabel *caption)
{
    if (!caption)
        return {};
    QString text = withoutMnemonics(caption->text()).simplified();
    while (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

QString tabCaptionOf(const QWidget *control)
{
    for (const QWidget *w = control; w; w = w->parentWidget()) {
        auto *stack = qobject_cast<const QStackedWidget *>(w->parentWidget());
        auto *tabs = stack ? qobject_cast<const QTabWidget *>(stack->parentWidget()) : nullptr;
        if (tabs && tabs->indexOf(const_cast<QWidget *>(w)) >= 0)
            return withoutMnemonics(tabs->tabText(tabs->indexOf(const_cast<QWidget *>(w)))).simplified();
    }
    return {};
}

void showTabOf(QWidget *control)
{
    for (QWidget *w = control; w; w = w->parentWidget()) {
        auto *stack = qobject_cast<QStackedWidget *>(w->parentWidget());
        if (auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr) {
            const int page = tabs->indexOf(w);
            if (page >= 0)
                tabs->setCurrentIndex(page);
        }
    }
}

void markRequired(const QWidget *screen, QWidget *control)
{
    if (!control || isMarkedRequired(screen, control))
        return;
    addTip(control);
    if (QLabel *caption = captionOf(screen, control)) {
        addTip(caption);
        new CaptionStar(caption);
    } else if (QLineEdit *box = boxOf(control)) {
        QAction *star = box->addAction(starIcon(box->fontMetrics().height()), QLineEdit::TrailingPosition);
        star->setObjectName(QLatin1String(kRequiredMarkName));
        star->setToolTip(kRequiredTip);
    }
}

bool isMarkedRequired(const QWidget *screen, const QWidget *control)
{
    if (const QLabel *caption = captionOf(screen, control))
        return caption->findChild<QLabel *>(QLatin1String(kRequiredMarkName), Qt::FindDirectChildrenOnly);
    return boxStar(control) != nullptr;
}

} // namespace core
