#include "sessionrecord.h"

#include <QRegularExpression>

bool SessionRecord::isVerdict(const QString& text)
{
    return text == pass() || text == fail() || text == incomplete();
}

QString SessionRecord::timeText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QDateTime SessionRecord::parseTime(const QString& text)
{
    // Qt's own ISO reader also takes forms no one writes (a week date, a time
    // without a date); only what this program and a person would write passes.
    static const QRegularExpression form(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2}(T\d{2}:\d{2}(:\d{2}(\.\d{1,3})?)?(Z|[+-]\d{2}:\d{2})?)?$)"));
    if (!form.match(text).hasMatch())
        return {};
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return {};
    // A date or time without a zone is the user's local time.
    return time.toUTC();
}
