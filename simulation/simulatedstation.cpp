#include "simulatedstation.h"

#include "ca410emulator.h"
#include "crxxxemulator.h"
#include "cs2000emulator.h"
#include "idleport.h"
#include "portlister.h"
#include "sensorlibrary.h"
#include "sensortable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

using Instrument = SimulatedWorld::Instrument;

// The K-10 reads as fast as the real one, not at the stand-in's leisurely
// default; the display waits what the program announces on top of it.
constexpr const char* kK10ReadingCommand = "reading 100";
// One reply of the K-10 on its line, at wire rate: a list of 99 stored
// matrices takes about 7 s, as on the instrument.
constexpr const char* kK10WireReplyCommand = "reply 70";
constexpr const char* kK10InstantReplyCommand = "reply 0";
using PatchSource = void (*)(void* context, double* xyz);
using SetPatchSource = int32_t (*)(PatchSource source, void* context);

QString portName(const PtyDevice& device)
{
    return QString::fromStdString(device.portName());
}

} // namespace

SimulatedStation::SimulatedStation(const QString& standinDirectory, QObject* parent)
    : QObject(parent)
    , m_standinDirectory(standinDirectory)
    , m_firmware(std::make_unique<AligningFirmware>(m_world))
    , m_ca410(std::make_unique<Ca410Emulator>())
    , m_cr100(std::make_unique<CrxxxEmulator>(CrxxxEmulator::cr100()))
    , m_cr250(std::make_unique<CrxxxEmulator>(CrxxxEmulator::cr250()))
    , m_k10Port(std::make_unique<IdlePort>())
    , m_cs2000(std::make_unique<Cs2000Emulator>())
{
    qRegisterMetaType<AligningFirmware::Progress>();
    m_ca410->setReadingSource([this] { return m_world.sensorReading(Instrument::CA410); });
    m_cr100->setReadingSource([this] { return m_world.sensorReading(Instrument::CR100); });
    m_cr250->setReadingSource([this] { return m_world.sensorReading(Instrument::CR250); });
    m_cs2000->setReadingSource([this] { return m_world.referenceReading(); });
    // The firmware reports on its own thread; the window hears of it on the main one.
    m_firmware->setProgressObserver([this](const AligningFirmware::Progress& progress) {
        QMetaObject::invokeMethod(
            this, [this, progress] { emit alignmentProgress(progress); }, Qt::QueuedConnection);
    });
}

SimulatedStation::~SimulatedStation()
{
    m_firmware->setProgressObserver(nullptr);
    m_firmware->cancelAlignment();
    if (m_started) {
        PortLister::setExtraPorts(m_portsBefore);
        SensorLibrary::setExtraDirectories(m_directoriesBefore);
    }
    unhookStandin(m_i1d3Library, "i1d3SimSetPatchSource");
    unhookStandin(m_k10Library, "k10SimSetPatchSource");
}

void SimulatedStation::readWorld(void* context, double* xyz)
{
    const auto* source = static_cast<const SourceContext*>(context);
    const Xyz reading = source->world->sensorReading(source->instrument);
    for (size_t i = 0; i < 3; ++i)
        xyz[i] = reading[i];
}

QString SimulatedStation::defaultStandinDirectory()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    // Built, the stand-ins are beside the program; installed, below the prefix's lib/.
    if (programDir.exists(QStringLiteral("standins")))
        return programDir.filePath(QStringLiteral("standins"));
    return programDir.filePath(QStringLiteral("../lib/lumaserve/standins"));
}

QString SimulatedStation::sensorTypeName(Instrument instrument)
{
    switch (instrument) {
    case Instrument::CA410:
        return strSensors[7];
    case Instrument::CR100:
    case Instrument::CR250:
        return strSensors[13];
    case Instrument::I1DisplayPro:
        return strSensors[4];
    case Instrument::K10:
        return strSensors[5];
    }
    return QString();
}

bool SimulatedStation::hookStandin(QLibrary& library, const QString& baseName, const char* symbol,
                                   Instrument instrument, QString* error)
{
    const QString path = QDir(m_standinDirectory).filePath(SensorLibrary::fileName(baseName));
    library.setFileName(path);
    if (!QFileInfo::exists(path) || !library.load()) {
        *error = tr("The stand-in library %1 cannot be loaded: %2").arg(path, library.errorString());
        return false;
    }
    auto setSource = reinterpret_cast<SetPatchSource>(library.resolve(symbol));
    if (!setSource) {
        *error = tr("%1 is no stand-in library: it lacks %2.").arg(path, QLatin1String(symbol));
        return false;
    }
    void* context = instrument == Instrument::K10 ? static_cast<void*>(&m_k10Context)
                                                  : static_cast<void*>(&m_i1d3Context);
    setSource(readWorld, context);
    return true;
}

void SimulatedStation::unhookStandin(QLibrary& library, const char* symbol)
{
    if (!library.isLoaded())
        return;
    if (auto setSource = reinterpret_cast<SetPatchSource>(library.resolve(symbol)))
        setSource(nullptr, nullptr);
    library.unload();
}

bool SimulatedStation::start(QString* error)
{
    if (m_started)
        return true;
    QString reason;
    for (PtyDevice* device : std::initializer_list<PtyDevice*>{m_firmware.get(), m_ca410.get(), m_cr100.get(),
                                                              m_cr250.get(), m_k10Port.get(), m_cs2000.get()}) {
        if (!device->start()) {
            reason = tr("No pseudo-terminal could be opened for the simulated devices.");
            break;
        }
    }
    // The station holds its own load of each stand-in, so the program's drivers
    // find the same library, already reading the world.
    if (reason.isEmpty())
        hookStandin(m_i1d3Library, QStringLiteral("libmlink_i1d3"), "i1d3SimSetPatchSource",
                    Instrument::I1DisplayPro, &reason);
    if (reason.isEmpty()
        && hookStandin(m_k10Library, QStringLiteral("libmlink_k10"), "k10SimSetPatchSource", Instrument::K10,
                       &reason))
        controlK10(kK10ReadingCommand);
    if (!reason.isEmpty()) {
        if (error)
            *error = reason;
        return false;
    }

    m_portsBefore = PortLister::extraPorts();
    m_directoriesBefore = SensorLibrary::extraDirectories();
    QStringList ports = m_portsBefore;
    for (const Device& device : devices())
        ports << device.port;
    ports.removeDuplicates();
    PortLister::setExtraPorts(ports);
    SensorLibrary::setExtraDirectories(QStringList{m_standinDirectory} + m_directoriesBefore);
    m_started = true;
    applyWireRate();
    return true;
}

bool SimulatedStation::controlK10(const char* command)
{
    using Control = int32_t (*)(const char*);
    const auto control = reinterpret_cast<Control>(m_k10Library.resolve("k10SimControl"));
    return control && control(command) == 0;
}

void SimulatedStation::setWireRate(bool on)
{
    m_wireRate = on;
    if (m_started)
        applyWireRate();
}

void SimulatedStation::applyWireRate()
{
    for (PtyDevice* device : std::initializer_list<PtyDevice*>{m_firmware.get(), m_ca410.get(), m_cr100.get(),
                                                              m_cr250.get(), m_cs2000.get()})
        device->setPaced(m_wireRate);
    // The spectroradiometer takes its measuring time only when calls are to
    // cost what they do on the instrument; otherwise it is done at once.
    Cs2000Emulator::Config reference = m_cs2000->config();
    reference.measureMs = m_wireRate ? -1 : 0;
    m_cs2000->setConfig(reference);
    controlK10(m_wireRate ? kK10WireReplyCommand : kK10InstantReplyCommand);
}

QList<SimulatedStation::Device> SimulatedStation::devices() const
{
    return {
        {tr("Display under alignment"), portName(*m_firmware), tr("aligning firmware on a pseudo-terminal")},
        {QStringLiteral("CA410"), portName(*m_ca410), tr("libmlink_ca410 and the CA-410 emulator")},
        {QStringLiteral("CR-100"), portName(*m_cr100), tr("CR-100 emulator")},
        {QStringLiteral("CR-250"), portName(*m_cr250), tr("CR-250 emulator")},
        {QStringLiteral("K-10"), portName(*m_k10Port), tr("stand-in libmlink_k10")},
        {QStringLiteral("i1Display Pro"), QString(), tr("stand-in libmlink_i1d3 (no port)")},
        {tr("CS-2000 (reference)"), portName(*m_cs2000), tr("CS-2000 emulator")},
    };
}

QString SimulatedStation::sensorPort(Instrument instrument) const
{
    switch (instrument) {
    case Instrument::CA410:
        return portName(*m_ca410);
    case Instrument::CR100:
        return portName(*m_cr100);
    case Instrument::CR250:
        return portName(*m_cr250);
    case Instrument::K10:
        return portName(*m_k10Port);
    case Instrument::I1DisplayPro:
        break;
    }
    return QString();
}

QString SimulatedStation::displayPort() const
{
    return portName(*m_firmware);
}

QString SimulatedStation::referencePort() const
{
    return portName(*m_cs2000);
}

AligningFirmware::Progress SimulatedStation::progress() const
{
    return m_firmware->progress();
}

QString SimulatedStation::referenceReadingText() const
{
    const Xyz xyz = m_world.referenceReading();
    // Tabs and decimal points, as a spreadsheet copies and the dialog pastes.
    QStringList fields;
    for (double value : xyz)
        fields << QString::number(value, 'f', 4);
    return fields.join(QLatin1Char('\t'));
}

bool SimulatedStation::looksAtScreenPatch() const
{
    return m_world.screenPatch().has_value();
}

void SimulatedStation::startDisplayAlignment()
{
    m_firmware->startAlignment();
}

void SimulatedStation::cancelDisplayAlignment()
{
    m_firmware->cancelAlignment();
}
