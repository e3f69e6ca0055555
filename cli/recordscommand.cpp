#include "recordscommand.h"

#include "exitcode.h"
#include "plainfile.h"
#include "recordexport.h"
#include "recordlocation.h"

#include <QCommandLineParser>
#include <QFileInfo>

QString RecordsCommand::summary() const
{
    return QStringLiteral("List, show or export the line's records of aligned displays.");
}

QDateTime RecordsCommand::parseSince(const QString& text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10)
        return QDateTime(date, QTime(0, 0), Qt::LocalTime).toUTC();
    return SessionRecord::parseTime(text);
}

QString RecordsCommand::listLine(const SessionRecord& s)
{
    const QString white = s.white ? QStringLiteral("%1 %2").arg(QString::number(s.white->x, 'f', 4),
                                                                 QString::number(s.white->y, 'f', 4))
                                  : QStringLiteral("-");
    return QStringLiteral("%1  %2  %3  %4  %5 %6  %7  %8  %9 requests")
        .arg(QString::number(s.id), SessionRecord::timeText(s.started), s.station,
             s.unit.isEmpty() ? QStringLiteral("-") : s.unit, s.sensorType.isEmpty() ? QStringLiteral("-") : s.sensorType,
             s.sensorSerial.isEmpty() ? QStringLiteral("-") : s.sensorSerial,
             s.verdict.isEmpty() ? QStringLiteral("OPEN") : s.verdict, white)
        .arg(s.readingCount);
}

int RecordsCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption recordsOption(
        QStringLiteral("records"),
        QStringLiteral("The records: an SQLite file (default records.sqlite) or postgresql://HOST/DB."),
        QStringLiteral("FILE|URL"), RecordLocation::defaultFileName());
    const QCommandLineOption unitOption(QStringLiteral("unit"), QStringLiteral("Only this unit."),
                                        QStringLiteral("UNIT"));
    const QCommandLineOption sinceOption(
        QStringLiteral("since"),
        QStringLiteral("Only sessions started at or after this date (local midnight) or ISO 8601 time."),
        QStringLiteral("DATE"));
    const QCommandLineOption verdictOption(QStringLiteral("verdict"),
                                           QStringLiteral("Only this verdict: PASS, FAIL or INCOMPLETE."),
                                           QStringLiteral("VERDICT"));
    const QCommandLineOption serialOption(QStringLiteral("sensor-serial"),
                                          QStringLiteral("Only sessions served by the sensor with this serial number."),
                                          QStringLiteral("SERIAL"));
    const QCommandLineOption stationOption(QStringLiteral("station"), QStringLiteral("Only this station."),
                                           QStringLiteral("NAME"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("export: csv (one row a request) or json."),
                                          QStringLiteral("FORMAT"), QStringLiteral("csv"));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("export: the file to write, whole or not at all; - for "
                                                      "standard output."),
                                       QStringLiteral("FILE"));
    parser.addOptions({recordsOption, unitOption, sinceOption, verdictOption, serialOption, stationOption,
                       formatOption, outOption});
    parser.addPositionalArgument(QStringLiteral("action"), QStringLiteral("list, show ID or export [ID...]"));
    const int parsed = parse(parser, arguments,
                             QStringLiteral("Reads the records the alignment service keeps: each session is one "
                                            "display's alignment with its requests, final white and verdict.\n"
                                            "  list            the sessions that match, newest first\n"
                                            "  show ID         one session and every request and reply\n"
                                            "  export [ID...]  the sessions named, or those that match, with "
                                            "their requests, as CSV or JSON"));
    if (parsed >= 0)
        return parsed;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("records needs an action: list, show or export"));
    const QString action = positional.first();
    if (action != QLatin1String("list") && action != QLatin1String("show") && action != QLatin1String("export"))
        return usageError(QStringLiteral("unknown records action '%1': use list, show or export").arg(action));

    RecordStore::Filter filter;
    filter.unit = parser.value(unitOption);
    filter.sensorSerial = parser.value(serialOption);
    filter.station = parser.value(stationOption);
    if (parser.isSet(sinceOption)) {
        filter.since = parseSince(parser.value(sinceOption));
        if (!filter.since.isValid())
            return usageError(QStringLiteral("--since takes a date (2026-12-01) or an ISO 8601 time, not '%1'")
                                  .arg(parser.value(sinceOption)));
    }
    if (parser.isSet(verdictOption)) {
        filter.verdict = parser.value(verdictOption).toUpper();
        if (!SessionRecord::isVerdict(filter.verdict))
            return usageError(QStringLiteral("--verdict takes PASS, FAIL or INCOMPLETE, not '%1'")
                                  .arg(parser.value(verdictOption)));
    }
    QVector<qint64> ids;
    for (const QString& text : positional.mid(1)) {
        bool ok = false;
        const qint64 id = text.toLongLong(&ok);
        if (!ok || id <= 0)
            return usageError(QStringLiteral("'%1' is no session id").arg(text));
        ids << id;
    }
    if (action == QLatin1String("list") && !ids.isEmpty())
        return usageError(QStringLiteral("list takes no session id; use show ID"));
    if (action == QLatin1String("show") && ids.size() != 1)
        return usageError(QStringLiteral("show takes one session id"));
    const QString format = parser.value(formatOption).toLower();
    if (action == QLatin1String("export")) {
        if (format != QLatin1String("csv") && format != QLatin1String("json"))
            return usageError(QStringLiteral("--format takes csv or json, not '%1'").arg(parser.value(formatOption)));
        if (!parser.isSet(outOption) || parser.value(outOption).isEmpty())
            return usageError(QStringLiteral("export needs --out FILE (- for standard output)"));
    }

    QString error;
    const RecordLocation location = RecordLocation::parse(parser.value(recordsOption), &error);
    if (!location.isValid())
        return usageError(error);
    // Reading must not make a file where there was none.
    if (!location.isPostgreSQL() && !QFileInfo::exists(location.fileName())) {
        printError(QStringLiteral("There are no records in %1: the file does not exist.").arg(location.fileName()));
        return ExitFile;
    }
    RecordStore store(QStringLiteral("records-command"));
    if (!store.open(location, &error)) {
        printError(error);
        return ExitFile;
    }

    QVector<SessionRecord> sessions;
    if (ids.isEmpty()) {
        sessions = store.sessions(filter, &error);
    } else {
        for (const qint64 id : qAsConst(ids)) {
            SessionRecord session;
            if (!store.session(id, &session, &error)) {
                printError(error.isEmpty() ? QStringLiteral("There is no session %1 in %2.").arg(id).arg(location.displayName())
                                           : error);
                return ExitFile;
            }
            sessions << session;
        }
    }
    if (!error.isEmpty()) {
        printError(error);
        return ExitFile;
    }

    if (action == QLatin1String("list")) {
        for (const SessionRecord& session : qAsConst(sessions))
            printLine(listLine(session));
        return ExitDone;
    }
    QVector<RecordExport::Entry> entries;
    for (const SessionRecord& session : qAsConst(sessions)) {
        RecordExport::Entry entry{session, store.readings(session.id, &error)};
        if (!error.isEmpty()) {
            printError(error);
            return ExitFile;
        }
        entries << entry;
    }
    if (action == QLatin1String("show")) {
        const SessionRecord& s = entries.first().session;
        printLine(listLine(s));
        printLine(QStringLiteral("  ended %1, profile %2, matrix SHA-256 %3, target %4 %5 +- %6")
                      .arg(s.ended.isValid() ? SessionRecord::timeText(s.ended) : QStringLiteral("-"),
                           s.profile.isEmpty() ? QStringLiteral("-") : s.profile,
                           s.matrixSha256.isEmpty() ? QStringLiteral("-") : s.matrixSha256,
                           QString::number(s.targetX, 'f', 4), QString::number(s.targetY, 'f', 4),
                           QString::number(s.tolerance, 'f', 4)));
        for (const SessionRecord::Reading& r : qAsConst(entries.first().readings)) {
            QString line = QStringLiteral("  %1 %2 -> %3").arg(SessionRecord::timeText(r.time), r.request,
                                                                r.reply.isEmpty() ? QStringLiteral("(no reply)") : r.reply);
            if (r.raw)
                line += QStringLiteral("  raw %1 %2 %3").arg(QString::number(r.raw->x, 'f', 4),
                                                              QString::number(r.raw->y, 'f', 4),
                                                              QString::number(r.raw->z, 'f', 4));
            if (r.corrected)
                line += QStringLiteral("  corrected %1 %2 %3").arg(QString::number(r.corrected->x, 'f', 4),
                                                                    QString::number(r.corrected->y, 'f', 4),
                                                                    QString::number(r.corrected->z, 'f', 4));
            printLine(line);
        }
        return ExitDone;
    }
    const QByteArray bytes = format == QLatin1String("json") ? RecordExport::json(entries) : RecordExport::csv(entries);
    const QString out = parser.value(outOption);
    if (out == QLatin1String("-")) {
        printLine(QString::fromUtf8(bytes).chopped(1));
        return ExitDone;
    }
    if (!PlainFile::writeWhole(out, bytes, &error)) {
        printError(QStringLiteral("Cannot write %1: %2").arg(out, error));
        return ExitFile;
    }
    printLine(QStringLiteral("%1 sessions written to %2").arg(entries.size()).arg(out));
    return ExitDone;
}
