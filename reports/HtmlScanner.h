#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

namespace reports::html {

// One piece of a layout's HTML: a run of text or a tag.
struct Token {
    enum Kind { Text, Start, End, EndOfInput } kind = EndOfInput;
    QString name;     // tags: lower case
    QStringView text; // the text, or the whole tag
    qsizetype begin = 0; // where it stands in the scanned HTML
    qsizetype end = 0;
    QHash<QString, QString> attributes; // names lower case
};

// Reads HTML as a run of tokens. Comments are passed over, a '>' inside a
// quoted attribute value does not end its tag, and a '<' that opens no tag
// is text.
class Scanner {
public:
    explicit Scanner(QStringView html) : m_html(html) {}

    Token next();
    qsizetype position() const { return m_pos; }

private:
    qsizetype tagEnd(qsizetype from) const;
    static void readTag(QStringView inside, Token &t);

    QStringView m_html;
    qsizetype m_pos = 0;
};

} // namespace reports::html
