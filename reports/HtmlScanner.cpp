#include "reports/HtmlScanner.h"

namespace reports::html {

Token Scanner::next()
{
    Token t;
    while (m_pos < m_html.size()) {
        if (m_html.at(m_pos) != QLatin1Char('<')) {
            const qsizetype start = m_pos;
            while (m_pos < m_html.size() && m_html.at(m_pos) != QLatin1Char('<'))
                ++m_pos;
            t.kind = Token::Text;
            t.text = m_html.mid(start, m_pos - start);
            t.begin = start;
            t.end = m_pos;
            return t;
        }
        if (m_html.mid(m_pos).startsWith(QLatin1String("<!--"))) {
            const qsizetype end = m_html.indexOf(QLatin1String("-->"), m_pos + 4);
            m_pos = end < 0 ? m_html.size() : end + 3;
            continue;
        }
        const qsizetype close = tagEnd(m_pos);
        if (close < 0) { // a lone '<' is text
            t.kind = Token::Text;
            t.text = m_html.mid(m_pos);
            t.begin = m_pos;
            t.end = m_html.size();
            m_pos = m_html.size();
            return t;
        }
        readTag(m_html.mid(m_pos + 1, close - m_pos - 1), t);
        t.text = m_html.mid(m_pos, close + 1 - m_pos);
        t.begin = m_pos;
        t.end = close + 1;
        m_pos = close + 1;
        return t;
    }
    t.begin = t.end = m_html.size();
    return t;
}

// The '>' closing the tag at `from`, quotes respected; -1 when none.
qsizetype Scanner::tagEnd(qsizetype from) const
{
    QChar quote;
    for (qsizetype i = from + 1; i < m_html.size(); ++i) {
        const QChar c = m_html.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('>')) {
            return i;
        }
    }
    return -1;
}

void Scanner::readTag(QStringView inside, Token &t)
{
    qsizetype i = 0;
    t.kind = Token::Start;
    if (i < inside.size() && inside.at(i) == QLatin1Char('/')) {
        t.kind = Token::End;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < inside.size() && (inside.at(i).isLetterOrNumber()))
        ++i;
    t.name = inside.mid(nameStart, i - nameStart).toString().toLower();
    while (i < inside.size()) {
        while (i < inside.size() && (inside.at(i).isSpace() || inside.at(i) == QLatin1Char('/')))
            ++i;
        const qsizetype keyStart = i;
        while (i < inside.size() && !inside.at(i).isSpace() && inside.at(i) != QLatin1Char('=')
               && inside.at(i) != QLatin1Char('/'))
            ++i;
        const QString key = inside.mid(keyStart, i - keyStart).toString().toLower();
        QString value;
        while (i < inside.size() && inside.at(i).isSpace())
            ++i;
        if (i < inside.size() && inside.at(i) == QLatin1Char('=')) {
            ++i;
            while (i < inside.size() && inside.at(i).isSpace())
                ++i;
            if (i < inside.size() && (inside.at(i) == QLatin1Char('"') || inside.at(i) == QLatin1Char('\''))) {
                const QChar quote = inside.at(i++);
                const qsizetype valueStart = i;
                while (i < inside.size() && inside.at(i) != quote)
                    ++i;
                value = inside.mid(valueStart, i - valueStart).toString();
                ++i;
            } else {
                const qsizetype valueStart = i;
                while (i < inside.size() && !inside.at(i).isSpace())
                    ++i;
                value = inside.mid(valueStart, i - valueStart).toString();
            }
        }
        if (!key.isEmpty())
            t.attributes.insert(key, value);
    }
}

} // namespace reports::html
