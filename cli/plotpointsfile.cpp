#include "plotpointsfile.h"

#include "plainfile.h"

#include <QList>
#include <QLocale>
#include <QStringList>

#include <cmath>

namespace {

QString onLine(int line, const QString& what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

// A number as the C locale writes it, whatever the user's: "0,31" in a
// German list would otherwise be read as 31 or as 0.31 depending on who runs it.
bool plainNumber(const QString& text, double* value)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    *value = c.toDouble(text, &ok);
    return ok;
}

// The fields of one CSV line, trimmed; a field in double quotes may hold
// commas, and "" within it stands for one quote. False on an unclosed quote.
bool splitFields(const QString& line, QStringList* fields)
{
    fields->clear();
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != QLatin1Char('"')) {
                field += c;
            } else if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            field.clear();
        } else if (c == QLatin1Char(',')) {
            *fields << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else if (!wasQuoted || !c.isSpace()) {
            field += c;
        }
    }
    if (quoted)
        return false;
    *fields << (wasQuoted ? field : field.trimmed());
    return true;
}

} // namespace

bool PlotPointsFile::read(const QString& fileName, QString* error)
{
    QByteArray text;
    QString why;
    if (PlainFile::read(fileName, &text, &why, kMaxBytes) != PlainFile::ReadResult::Read
        || !parse(text, &why)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName, why);
        return false;
    }
    return true;
}

bool PlotPointsFile::parse(const QByteArray& text, QString* error)
{
    const auto fail = [this, error](const QString& why) {
        m_points.clear();
        if (error)
            *error = why;
        return false;
    };
    m_points.clear();
    QList<QByteArray> lines = text.split('\n');
    // The newline ending the last line starts no line of its own.
    if (text.endsWith('\n'))
        lines.removeLast();
    if (lines.size() > kMaxLines)
        return fail(QStringLiteral("more than %1 lines; a list of points is shorter").arg(kMaxLines));
    bool first = true;
    int lineNumber = 0;
    QStringList fields;
    for (const QByteArray& raw : qAsConst(lines)) {
        ++lineNumber;
        // Much of the decoding stops at a NUL, so "0.3<NUL>9" could pass as 0.3.
        if (raw.contains('\0'))
            return fail(onLine(lineNumber, QStringLiteral("a NUL byte; the file is damaged")));
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty())
            continue;
        const bool header = first;
        first = false;
        if (!splitFields(line, &fields))
            return fail(onLine(lineNumber, QStringLiteral("a quote is not closed")));
        if (fields.size() != 3)
            return fail(onLine(lineNumber, QStringLiteral("%1 fields; expected name,x,y").arg(fields.size())));
        Point point;
        point.name = fields.at(0);
        const bool xRead = plainNumber(fields.at(1), &point.x);
        const bool yRead = plainNumber(fields.at(2), &point.y);
        // Column names, "name,x,y" or any other, are words where the numbers go.
        if (header && !xRead && !yRead)
            continue;
        for (int i : {1, 2}) {
            if (!(i == 1 ? xRead : yRead))
                return fail(onLine(lineNumber, QStringLiteral("%1 '%2' is not a number with a decimal point")
                                                   .arg(i == 1 ? QStringLiteral("x") : QStringLiteral("y"),
                                                        fields.at(i))));
        }
        if (!std::isfinite(point.x) || !std::isfinite(point.y))
            return fail(onLine(lineNumber, QStringLiteral("x and y must be finite numbers")));
        // A colour's x, y: both from 0 to 1, y above 0 (it carries the
        // luminance) and x + y at most 1 (z is what is left).
        if (point.x < 0.0 || point.x > 1.0 || point.y <= 0.0 || point.y > 1.0 || point.x + point.y > 1.0)
            return fail(onLine(lineNumber, QStringLiteral("x %1, y %2 is no chromaticity: x from 0 to 1, y above 0, "
                                                          "x + y at most 1")
                                               .arg(fields.at(1), fields.at(2))));
        m_points.push_back(point);
    }
    if (m_points.empty())
        return fail(QStringLiteral("no points; expected lines name,x,y"));
    return true;
}
