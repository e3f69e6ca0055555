#ifndef PDFPAGES_H
#define PDFPAGES_H

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

// A PDF's bytes as text, all of them: the QByteArray overload of fromLatin1
// stops at the first NUL, and a PDF's embedded fonts hold many.
inline QString pdfText(const QByteArray& pdf)
{
    return QString::fromLatin1(pdf.constData(), pdf.size());
}

// How many pages a PDF holds: its page objects, not the page tree's (/Pages).
inline int pdfPageCount(const QByteArray& pdf)
{
    int count = 0;
    auto it = QRegularExpression(QStringLiteral("/Type\\s*/Page(?![A-Za-z])")).globalMatch(pdfText(pdf));
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

#endif // PDFPAGES_H
