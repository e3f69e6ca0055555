#include "csensor.h"

#include <QSettings>
#include <QTimer>

namespace {
const QString kOrganisation = QStringLiteral("NVX");
const QString kApplication = QStringLiteral("Brightfold-alignment");
const QString kPortKey = QStringLiteral("sensor/port");
} // namespace

CSensor::CSensor(QObject* parent)
    : QObject(parent), name(tr("Unknow sensor")), color(1.0, 2.0, 3.0)
{
}

CSensor::~CSensor() = default;

bool CSensor::init(QString port)
{
    isOpen = true;
    portName = port;
    return isOpen;
}

void CSensor::release()
{
    isOpen = false;
}

int CSensor::startMeasure()
{
    return 500;
}

void CSensor::stopMeasure()
{
}

CColor CSensor::GetColor()
{
    color[0] = color[1] + color[2];
    color[1] = color[2] + color[0];
    emit colorChanged(color);
    return color;
}

void CSensor::MeasureColor()
{
    // A child timer, so that the reading dies with the sensor and can be
    // cancelled before the alignment service takes the instrument over.
    if (!readingTimer) {
        readingTimer = new QTimer(this);
        readingTimer->setSingleShot(true);
        connect(readingTimer, &QTimer::timeout, this, [this] {
            collecting = true;
            GetColor();
            collecting = false;
        });
    }
    readingTimer->start(measureDelay);
}

bool CSensor::isReadingPending() const
{
    return readingTimer && readingTimer->isActive();
}

void CSensor::cancelPendingReading()
{
    if (readingTimer)
        readingTimer->stop();
}

void CSensor::cancelWaits()
{
}

void CSensor::resumeWaits()
{
}

int CSensor::getComPort()
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication);
    return settings.value(kPortKey, 0).toInt();
}

void CSensor::setComPort(int port)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication);
    settings.setValue(kPortKey, port);
}
