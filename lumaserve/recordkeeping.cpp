#include "recordkeeping.h"

#include "messenger.h"

#include <QSettings>

namespace {

// Settings files are written by hand: a number is read with a decimal point
// whatever the locale, and one that is not a number keeps the default.
double number(const QSettings& settings, const QString& key, double fallback)
{
    bool ok = false;
    const double value = settings.value(key).toDouble(&ok);
    return ok ? value : fallback;
}

} // namespace

bool RecordKeeping::read(QSettings& settings, LineRecorder::Settings* recorder, QString* error)
{
    settings.beginGroup(QStringLiteral("Records"));
    const QString database
        = settings.value(QStringLiteral("database"), RecordLocation::defaultFileName()).toString().trimmed();
    recorder->location = RecordLocation::parse(database, error);
    recorder->spoolFile = settings.value(QStringLiteral("spool"), recorder->spoolFile).toString();
    recorder->station = settings.value(QStringLiteral("station"), LineRecorder::defaultStation()).toString().trimmed();
    if (recorder->station.isEmpty())
        recorder->station = LineRecorder::defaultStation();
    recorder->verdict = SessionVerdict(number(settings, QStringLiteral("targetX"), SessionVerdict::D65X),
                                       number(settings, QStringLiteral("targetY"), SessionVerdict::D65Y),
                                       number(settings, QStringLiteral("tolerance"), SessionVerdict::DefaultTolerance));
    recorder->unitCommand = settings.value(QStringLiteral("unitCommand")).toString();
    settings.endGroup();
    return recorder->location.isValid();
}

std::unique_ptr<LineRecorder> RecordKeeping::start(Measure& measure, QWidget* parent)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                       QStringLiteral("Brightfold-alignment"));
    LineRecorder::Settings recorderSettings;
    QString error;
    std::unique_ptr<LineRecorder> recorder;
    if (read(settings, &recorderSettings, &error)) {
        recorder = std::make_unique<LineRecorder>(measure, recorderSettings);
        if (!recorder->start(&error))
            recorder.reset();
    }
    if (!recorder) {
        Messenger::warning(parent, tr("Records"),
                           tr("The alignments will not be recorded: %1\nCheck \"database\" in the [Records] group "
                              "of %2.")
                               .arg(error, settings.fileName()));
    }
    return recorder;
}
