#include "printabletext.h"

namespace {

bool needsEscape(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

QString PrintableText::from(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A well-formed pair is one printable character, not two halves.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            const uint code = QChar::surrogateToUcs4(c, text.at(i + 1));
            if (QChar::category(code) == QChar::Other_Format) {
                shown += QStringLiteral("\\U%1").arg(code, 8, 16, QLatin1Char('0'));
            } else {
                shown += c;
                shown += text.at(i + 1);
            }
            ++i;
            continue;
        }
        switch (c.unicode()) {
        case '\\':
            shown += QLatin1String("\\\\");
            continue;
        case '\n':
            shown += QLatin1String("\\n");
            continue;
        case '\r':
            shown += QLatin1String("\\r");
            continue;
        case '\t':
            shown += QLatin1String("\\t");
            continue;
        default:
            break;
        }
        if (!needsEscape(c))
            shown += c;
        else if (c.unicode() < 0x100)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return shown;
}
