#include "sensorinstrument.h"

#include "calfile.h"
#include "csensor.h"
#include "matrixstore.h"
#include "sensortable.h"
#include "serialport.h"
#include "storedportsensor.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("SensorInstrument", text);
}

bool refuse(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

RepeatStatistics::Xyz failedReading()
{
    return {{noDataColor[0], noDataColor[1], noDataColor[2]}};
}

QString number(double value)
{
    return QLocale::c().toString(value, 'g', 10);
}

// The drivers and the stand-in libraries pass the matrix on as doubles, so it
// comes back exact; an instrument keeping single precision holds about seven
// digits. A millionth of the matrix's largest element tells rounding apart from
// a matrix that is not the one written.
constexpr double kReadBackTolerance = 1e-6;

} // namespace

SensorInstrument::SensorInstrument(int sensorType, QString port)
    : SensorInstrument(sensorType, std::move(port), DriverFactory())
{
}

SensorInstrument::SensorInstrument(int sensorType, QString port, DriverFactory makeDriver)
    : m_type(sensorType), m_port(std::move(port)), m_makeDriver(std::move(makeDriver))
{
}

SensorInstrument::~SensorInstrument()
{
    close();
}

bool SensorInstrument::hasDriver(int sensorType)
{
    const SensorTypeRow& row = SensorTable::row(sensorType);
    return sensorType > 0 && row.type == sensorType && row.create;
}

QString SensorInstrument::typeName() const
{
    const SensorTypeRow& row = SensorTable::row(m_type);
    if (m_type > 0 && row.type == m_type)
        return strSensors[size_t(m_type)];
    return tr("sensor of type %1").arg(m_type);
}

bool SensorInstrument::open(QString* error)
{
    if (m_sensor && m_sensor->getIsOpen())
        return true;
    close();
    const QString name = typeName();
    if (!m_makeDriver && !hasDriver(m_type))
        return refuse(error, tr("The program has no driver for the %1.").arg(name));

    const bool needsPort = SensorTable::row(m_type).connection == SensorConnection::SerialPort;
    QString path = m_port;
    if (needsPort) {
        if (m_port.isEmpty())
            return refuse(error, tr("The %1 needs a port.").arg(name));
        // Said plainly here; the driver would only say it cannot open it.
        path = SerialPort::devicePath(m_port);
        if (!QFileInfo::exists(path))
            return refuse(error, tr("The port %1 of the %2 does not exist.").arg(path, name));
    }

    CSensor* const driver = m_makeDriver ? m_makeDriver() : SensorTable::row(m_type).create();
    if (!driver)
        return refuse(error, tr("The program has no driver for the %1.").arg(name));
    // These drivers otherwise open the device of the remembered port number,
    // which the other instrument of the run may be on.
    if (auto* stored = dynamic_cast<StoredPortSensor*>(driver); stored && needsPort)
        stored->setDevicePath(path);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sensor.reset(driver);
        // Cancelled before it opened: its waits end at once, as every other.
        if (m_cancelled)
            driver->cancelWaits();
    }

    if (!driver->init(path)) {
        close();
        return refuse(error, path.isEmpty() ? tr("The %1 could not be opened.").arg(name)
                                            : tr("The %1 could not be opened on %2.").arg(name, path));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_serialNumber = driver->getSerialNumber();
    m_hasMatrixMemory = driver->matrixStore() != nullptr;
    return true;
}

void SensorInstrument::close()
{
    std::unique_ptr<CSensor> sensor;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sensor = std::move(m_sensor);
        m_hasMatrixMemory = false;
    }
    // The port or the library is given back even after a failed open.
    if (sensor)
        sensor->release();
}

bool SensorInstrument::waitUnlessCancelled(int msecs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(std::max(0, msecs)), [this] { return m_cancelled; });
}

RepeatStatistics::Xyz SensorInstrument::read()
{
    CSensor* const sensor = m_sensor.get();
    if (!sensor || !sensor->getIsOpen() || !waitUnlessCancelled(0))
        return failedReading();
    sensor->startMeasure();
    // The instrument needs this long before the value can be collected.
    if (!waitUnlessCancelled(sensor->getMeasureDelay()))
        return failedReading();
    const CColor color = sensor->GetColor();
    // Cut short by a cancel: whatever came back is not a whole reading.
    if (!waitUnlessCancelled(0) || color.IsNoData())
        return failedReading();
    const RepeatStatistics::Xyz xyz{{color[0], color[1], color[2]}};
    for (const double v : xyz) {
        if (!std::isfinite(v))
            return failedReading();
    }
    return xyz;
}

void SensorInstrument::cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    if (m_sensor)
        m_sensor->cancelWaits();
    m_wake.notify_all();
}

void SensorInstrument::resume()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = false;
    if (m_sensor)
        m_sensor->resumeWaits();
}

MatchingSession::Instrument SensorInstrument::identity() const
{
    MatchingSession::Instrument instrument;
    instrument.typeName = typeName();
    instrument.typeNumber = m_type;
    instrument.port = m_port;
    std::lock_guard<std::mutex> lock(m_mutex);
    instrument.serialNumber = m_serialNumber;
    return instrument;
}

bool SensorInstrument::hasMatrixMemory() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hasMatrixMemory;
}

bool SensorInstrument::storeMatrix(int index, const QString& name, const Matrix3x3& matrix, QString* error)
{
    CSensor* const sensor = m_sensor.get();
    MatrixStore* const store = sensor ? sensor->matrixStore() : nullptr;
    if (!store) {
        // Not open, or an instrument without the memory.
        if (!sensor)
            return refuse(error, tr("The %1 is not open.").arg(typeName()));
        return MatchingInstrument::storeMatrix(index, name, matrix, error);
    }
    const QString instrument = typeName();
    if (!sensor->getIsOpen())
        return refuse(error, tr("The %1 is not open.").arg(instrument));
    if (!CorrectionMethod::isFinite(matrix))
        return refuse(error, tr("The matrix for the %1 is not finite; nothing was written.").arg(instrument));
    if (name.trimmed().isEmpty())
        return refuse(error, tr("A matrix written to the %1 needs a name.").arg(instrument));

    Calfile record;
    if (record.SetId(index) != 0)
        return refuse(error, tr("The %1 keeps no matrix at index %2.").arg(instrument).arg(index));
    record.SetName(name);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            record.SetData(r, c, matrix[size_t(r)][size_t(c)]);
    }
    if (store->SaveCalfile(record) != 0)
        return refuse(error, tr("The %1 refused to store the matrix at index %2.").arg(instrument).arg(index));

    // Read back the way the features dialog lists and reads them.
    const QStringList list = store->GetCalList();
    const QString entry = QStringLiteral("MAT[%1]_").arg(index);
    const auto found = std::find_if(list.begin(), list.end(),
                                    [&entry](const QString& item) { return item.startsWith(entry); });
    if (found == list.end())
        return refuse(error, tr("The %1 does not list the matrix written at index %2.").arg(instrument).arg(index));
    const Calfile back = store->GetCalfile(int(found - list.begin()));
    if (back.GetName().isEmpty() || back.GetId() != index)
        return refuse(error, tr("The matrix written at index %2 could not be read back from the %1.")
                                 .arg(instrument)
                                 .arg(index));

    double largest = 0.0;
    for (const auto& row : matrix) {
        for (const double v : row)
            largest = std::max(largest, std::fabs(v));
    }
    const double tolerance = kReadBackTolerance * std::max(largest, 1.0);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const double written = matrix[size_t(r)][size_t(c)];
            const double read = back(r, c);
            if (!(std::fabs(read - written) <= tolerance))
                return refuse(error, tr("The matrix read back from index %1 of the %2 differs from the one "
                                        "written: row %3, column %4 reads %5 instead of %6.")
                                         .arg(index)
                                         .arg(instrument)
                                         .arg(r + 1)
                                         .arg(c + 1)
                                         .arg(number(read), number(written)));
        }
    }
    // Instruments keep shorter names than they are given; what they keep must
    // still be the start of it.
    if (!name.startsWith(back.GetName()))
        return refuse(error, tr("The matrix read back from index %1 of the %2 is named %3, not %4.")
                                 .arg(index)
                                 .arg(instrument)
                                 .arg(back.GetName(), name));
    return true;
}
