// The line records' readers of text from outside: where the records are
// (--records, a settings entry), a time (--since, a time read back from a
// database), and what a unit command printed. The first byte picks the
// reader (0: the location, 1: the time, else: the unit).
//
// Beyond crashes: a location taken names a file, or a server with a database
// and a port in range, shown with its database; a time taken is written back as the same time; a unit
// is printable and bounded.
#include "recordlocation.h"
#include "sessionrecord.h"
#include "unitcommand.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    const QString text = QString::fromUtf8(bytes);
    switch (data[0] % 3) {
    case 0: {
        QString error;
        const RecordLocation location = RecordLocation::parse(text, &error);
        if (!location.isValid()) {
            if (error.isEmpty())
                std::abort();
            break;
        }
        if (location.isPostgreSQL()) {
            if (location.host().isEmpty() || location.database().isEmpty()
                || (location.port() != -1 && (location.port() < 1 || location.port() > 65535)))
                std::abort();
            if (!location.displayName().endsWith(QLatin1Char('/') + location.database()))
                std::abort();
        } else if (location.fileName() != text) {
            std::abort();
        }
        break;
    }
    case 1: {
        const QDateTime time = SessionRecord::parseTime(text);
        if (time.isValid()) {
            const QString written = SessionRecord::timeText(time);
            if (SessionRecord::parseTime(written) != time || SessionRecord::timeText(SessionRecord::parseTime(written)) != written)
                std::abort();
        }
        break;
    }
    default: {
        const QString unit = UnitCommand::unitFrom(bytes);
        if (unit.size() > UnitCommand::MaxUnitLength)
            std::abort();
        for (const QChar c : unit) {
            if (!c.isPrint())
                std::abort();
        }
        break;
    }
    }
    return 0;
}
