#ifndef SESSIONRECORD_H
#define SESSIONRECORD_H

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <optional>

// One alignment of one display as the line keeps it: who served it, with which
// sensor and matrix, every request and reply, where its white ended and
// whether that was on target. Times are kept in UTC.
struct SessionRecord {
    struct Xyz {
        double x = 0.0;
        double y = 0.0;
        double z = 0.0;
    };

    // One request of the display and what it was told.
    struct Reading {
        QDateTime time;
        QString request; // "MES,1", "MDR,1", "MES,0"
        QString reply;   // without its CR; empty when none was sent
        std::optional<Xyz> raw;
        std::optional<Xyz> corrected;
    };

    // The white the verdict judged: chromaticity and luminance.
    struct White {
        double x = 0.0;
        double y = 0.0;
        double lv = 0.0;
    };

    static QString pass() { return QStringLiteral("PASS"); }
    static QString fail() { return QStringLiteral("FAIL"); }
    static QString incomplete() { return QStringLiteral("INCOMPLETE"); }
    static bool isVerdict(const QString& text);

    // ISO 8601 in UTC with milliseconds, one width for every time, so that the
    // text sorts as the time does.
    static QString timeText(const QDateTime& time);
    // Null for anything but such a text (a time zone offset is taken too).
    static QDateTime parseTime(const QString& text);

    bool isOpen() const { return !ended.isValid(); }

    qint64 id = 0;
    // Unique across stations and databases: what makes sending a session a
    // second time harmless.
    QString uid;
    QString station;
    QString unit;
    QDateTime started;
    QDateTime ended; // null while the session is open
    QString sensorType;
    QString sensorSerial;
    QString profile;
    QString matrixSha256;
    std::optional<White> white;
    QString verdict; // empty while the session is open
    // The station's target and tolerance the verdict was given against.
    double targetX = 0.0;
    double targetY = 0.0;
    double tolerance = 0.0;
    int readingCount = 0;
    // Kept in the station's local file, not yet in the line's database.
    bool pending = false;
};

Q_DECLARE_METATYPE(SessionRecord)
Q_DECLARE_METATYPE(SessionRecord::Reading)
Q_DECLARE_METATYPE(QVector<SessionRecord>)
Q_DECLARE_METATYPE(QVector<SessionRecord::Reading>)

#endif // SESSIONRECORD_H
