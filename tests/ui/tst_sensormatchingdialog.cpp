#include "alignmentprofile.h"
#include "certificatefiles.h"
#include "chromaticityplot.h"
#include "chromaticityview.h"
#include "mainwindow.h"
#include "matchinginstrument.h"
#include "measure.h"
#include "modaldialog.h"
#include "portlister.h"
#include "recordingmessenger.h"
#include "requestedpatchsource.h"
#include "screenpatchwindow.h"
#include "scripteddialogprovider.h"
#include "scriptedsensor.h"
#include "sensormatchingdialog.h"
#include "sensortable.h"
#include "uitest.h"
#include "windowprobe.h"

#include <QComboBox>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Xyz = RepeatStatistics::Xyz;

// Ports that lead nowhere: the run never opens them, the fakes stand behind.
const QString kPortA = QStringLiteral("ttyMATCHA");
const QString kPortB = QStringLiteral("ttyMATCHB");
const QString kPortC = QStringLiteral("ttyMATCHC");

// What is in front of both instruments: the test puts up the patch the
// operator was asked for, as an operator would.
struct Bench {
    std::mutex mutex;
    std::condition_variable changed;
    int rgb[3] = {0, 0, 0};
    // Reads wait (for a cancel) instead of answering.
    bool holdReads = false;
    // Where the pattern command writes the levels it shows, when it is used.
    QString patternFile;
    // Why the instrument on failingPort does not open; it does when empty.
    QString openError;
    QString failingPort;
    // What was written to the sensor's memory.
    int storedIndex = -1;
    QString storedName;
    Matrix3x3 storedMatrix{};
    std::atomic<int> readsWaiting{0};

    void show(int r, int g, int b)
    {
        std::lock_guard<std::mutex> lock(mutex);
        rgb[0] = r;
        rgb[1] = g;
        rgb[2] = b;
    }
};

double linear(int level)
{
    return std::pow(level / 255.0, 2.2);
}

// A display with sRGB primaries, 200 cd/m² white, as each instrument reads
// it: rows = the instrument's own response to each primary.
using Response = std::array<Xyz, 3>;
const Response kTrue = {{{82.48, 42.52, 3.86}, {71.52, 143.04, 23.84}, {36.10, 14.44, 190.10}}};
// A colorimeter a little off in every channel, and with some crosstalk.
const Response kOff = {{{79.9, 43.6, 4.3}, {73.0, 139.1, 25.0}, {35.2, 15.2, 196.4}}};

class FakeInstrument final : public MatchingInstrument
{
public:
    FakeInstrument(std::shared_ptr<Bench> bench, Response response, int type, QString port, bool memory)
        : m_bench(std::move(bench)), m_response(response), m_type(type), m_port(std::move(port)), m_memory(memory)
    {
    }

    bool open(QString* error) override
    {
        if (m_bench->openError.isEmpty() || m_port != m_bench->failingPort)
            return true;
        *error = m_bench->openError;
        return false;
    }
    void close() override {}
    Xyz read() override
    {
        std::unique_lock<std::mutex> lock(m_bench->mutex);
        if (!m_bench->patternFile.isEmpty()) {
            // What the pattern command put up last.
            QFile shown(m_bench->patternFile);
            if (shown.open(QIODevice::ReadOnly)) {
                const QList<QByteArray> levels = shown.readAll().simplified().split(' ');
                for (int c = 0; c < 3 && c < levels.size(); ++c)
                    m_bench->rgb[c] = levels.at(c).toInt();
            }
        }
        if (m_bench->holdReads) {
            ++m_bench->readsWaiting;
            // Bounded: a cancel that never comes fails the test, not the suite.
            m_bench->changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_cancelled; });
            --m_bench->readsWaiting;
        }
        if (m_cancelled)
            return {qQNaN(), qQNaN(), qQNaN()};
        Xyz xyz{0.0, 0.0, 0.0};
        for (int p = 0; p < 3; ++p) {
            for (int c = 0; c < 3; ++c)
                xyz[size_t(c)] += m_response[size_t(p)][size_t(c)] * linear(m_bench->rgb[p]);
        }
        return xyz;
    }
    void cancel() override
    {
        std::lock_guard<std::mutex> lock(m_bench->mutex);
        m_cancelled = true;
        m_bench->changed.notify_all();
    }
    void resume() override
    {
        std::lock_guard<std::mutex> lock(m_bench->mutex);
        m_cancelled = false;
    }
    MatchingSession::Instrument identity() const override
    {
        MatchingSession::Instrument id;
        id.typeName = QString::fromLatin1(SensorTable::row(m_type).name);
        id.typeNumber = m_type;
        id.serialNumber = QStringLiteral("SN-") + m_port;
        id.port = m_port;
        return id;
    }
    bool hasMatrixMemory() const override { return m_memory; }
    bool storeMatrix(int index, const QString& name, const Matrix3x3& matrix, QString*) override
    {
        std::lock_guard<std::mutex> lock(m_bench->mutex);
        m_bench->storedIndex = index;
        m_bench->storedName = name;
        m_bench->storedMatrix = matrix;
        return true;
    }

private:
    std::shared_ptr<Bench> m_bench;
    const Response m_response;
    const int m_type;
    const QString m_port;
    const bool m_memory;
    bool m_cancelled = false; // under the bench's mutex
};

// A type offered for both instruments that is reached through a port.
int serialType()
{
    for (int type : SensorMatchingDialog::offeredTypes()) {
        if (SensorTable::row(type).connection == SensorConnection::SerialPort)
            return type;
    }
    return 0;
}

} // namespace

class TestSensorMatchingDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void offersEveryTypeWithADriver();
    void refusesPortsInUse_data();
    void refusesPortsInUse();
    void operatorRunFillsBothTables();
    void screenRunPaintsEveryPatch();
    void patternCommandShowsEveryPatch();
    void cancelEndsTheRunAtOnce_data();
    void cancelEndsTheRunAtOnce();
    void stoppedRunSaysWhy_data();
    void stoppedRunSaysWhy();
    void closingCancelsFirst();
    void patchWindowPaintsThenAnswers_data();
    void patchWindowPaintsThenAnswers();
    void openedFromTheAdvanceMenu();

private:
    // A dialog on a controller of its own whose instruments are fakes on bench.
    std::unique_ptr<SensorMatchingDialog> makeDialog(Measure* measure);
    template <typename T>
    T* child(const char* name) const
    {
        return m_dialog->findChild<T*>(QString::fromLatin1(name));
    }
    void choose(const char* comboName, const QString& text) const
    {
        auto* combo = child<QComboBox>(comboName);
        QVERIFY(combo);
        const int index = combo->findText(text);
        QVERIFY2(index >= 0, qPrintable(text));
        combo->setCurrentIndex(index);
    }
    // makeDialog() on m_measure, both instruments of the serial fake type on these ports.
    void makeDialogOnPorts(const QString& sensorPort, const QString& referencePort)
    {
        m_dialog = makeDialog(m_measure.get());
        const QString type = QString::fromLatin1(SensorTable::row(serialType()).name);
        choose("sensorTypeCombo", type);
        choose("referenceTypeCombo", type);
        choose("sensorPortCombo", sensorPort);
        choose("referencePortCombo", referencePort);
    }
    void useOperator(const QString& outputDir) const
    {
        choose("sourceCombo", QStringLiteral("Operator confirms each patch"));
        child<QLineEdit>("outputEdit")->setText(outputDir);
    }
    // Answers the next patch prompt as an operator: puts the patch up, then OK.
    bool answerPrompt();

    QString devicePath() const { return home.dir.filePath(QStringLiteral("ttyDEVICE")); }
    QString linkPath() const { return home.dir.filePath(QStringLiteral("ttyLINK")); }

    ScratchHome home;
    std::shared_ptr<Bench> m_bench;
    std::atomic<int> m_made{0};
    std::unique_ptr<RecordingMessenger> m_messages;
    std::unique_ptr<Measure> m_measure;
    std::unique_ptr<SensorMatchingDialog> m_dialog;
};

void TestSensorMatchingDialog::initTestCase()
{
    home.setUp();
    // For the spies on the dialog's runFinished.
    qRegisterMetaType<MatchingRun::Outcome>();
    // One device under two names: a link to it, as a udev rule keeps.
    QFile device(devicePath());
    QVERIFY(device.open(QIODevice::WriteOnly));
    device.close();
    QVERIFY(QFile::link(devicePath(), linkPath()));
    PortLister::setExtraPorts({kPortA, kPortB, kPortC, devicePath(), linkPath()});
    QVERIFY(serialType() != 0);
}

void TestSensorMatchingDialog::init()
{
    m_dialog.reset();
    m_measure.reset();
    // The one before restores what it replaced: gone first.
    m_messages.reset();
    m_messages = std::make_unique<RecordingMessenger>();
    m_bench = std::make_shared<Bench>();
    m_made = 0;
    home.enterWorkDir();
}

std::unique_ptr<SensorMatchingDialog> TestSensorMatchingDialog::makeDialog(Measure* measure)
{
    auto dialog = std::make_unique<SensorMatchingDialog>(measure);
    std::shared_ptr<Bench> bench = m_bench;
    dialog->setInstrumentFactory([this, bench](int type, QString port) -> std::unique_ptr<MatchingInstrument> {
        ++m_made;
        // The sensor is the one on the first port chosen; both read the bench.
        const bool reference = port == kPortB;
        return std::make_unique<FakeInstrument>(bench, reference ? kTrue : kOff, type, port, !reference);
    });
    m_made = 0;
    return dialog;
}

bool TestSensorMatchingDialog::answerPrompt()
{
    QMessageBox* box = nullptr;
    const bool asked = QTest::qWaitFor([&] {
        box = m_dialog->findChild<QMessageBox*>(QStringLiteral("patchPrompt"));
        return (box && box->isVisible()) || !m_dialog->isRunning();
    }, 5000);
    if (!asked || !box || !m_dialog->isRunning())
        return false;
    static const QRegularExpression levels(QStringLiteral("\\((\\d+), (\\d+), (\\d+)\\)"));
    const QRegularExpressionMatch match = levels.match(box->text());
    if (!match.hasMatch())
        return false;
    m_bench->show(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    const QPointer<QMessageBox> answered = box;
    box->button(QMessageBox::Ok)->click();
    // Gone before the next one is asked for.
    return QTest::qWaitFor([&] { return !answered || !answered->isVisible(); }, 5000);
}

void TestSensorMatchingDialog::offersEveryTypeWithADriver()
{
    m_measure = std::make_unique<Measure>();
    m_dialog = makeDialog(m_measure.get());
    QStringList expected;
    for (const SensorTypeRow& row : SensorTable::rows()) {
        if (row.create)
            expected << QString::fromLatin1(row.name);
    }
    // The spectroradiometers are references first of all.
    QVERIFY(expected.contains(QStringLiteral("CS-2000")));
    QVERIFY(expected.contains(QStringLiteral("PR-6xx")));
    for (const char* name : {"sensorTypeCombo", "referenceTypeCombo"}) {
        auto* combo = child<QComboBox>(name);
        QVERIFY(combo);
        QStringList offered;
        for (int i = 0; i < combo->count(); ++i)
            offered << combo->itemText(i);
        QCOMPARE(offered, expected);
    }
}

void TestSensorMatchingDialog::refusesPortsInUse_data()
{
    QTest::addColumn<QString>("sensorPort");
    QTest::addColumn<QString>("referencePort");
    QTest::addColumn<QString>("windowSensorPort");
    QTest::addColumn<QString>("named");

    QTest::newRow("reference on the sensor's port") << kPortA << kPortA << QString() << kPortA;
    QTest::newRow("one device by two names") << devicePath() << linkPath() << QString() << linkPath();
    QTest::newRow("sensor on the window's sensor's port") << kPortC << kPortB << kPortC << kPortC;
    QTest::newRow("reference on the window's sensor's port") << kPortA << kPortC << kPortC << kPortC;
}

void TestSensorMatchingDialog::refusesPortsInUse()
{
    QFETCH(QString, sensorPort);
    QFETCH(QString, referencePort);
    QFETCH(QString, windowSensorPort);
    QFETCH(QString, named);

    m_measure = std::make_unique<Measure>();
    if (!windowSensorPort.isEmpty()) {
        m_measure->setSensorFactory([](int) -> CSensor* {
            auto* sensor = new ScriptedSensor;
            sensor->setHasComPort(true);
            return sensor;
        });
        QVERIFY(m_measure->initSensor(serialType(), windowSensorPort));
    }
    makeDialogOnPorts(sensorPort, referencePort);
    useOperator(home.work);

    child<QPushButton>("startButton")->click();
    QCOMPARE(m_messages->texts().size(), 1);
    QVERIFY2(m_messages->texts().first().contains(named), qPrintable(m_messages->texts().first()));
    // Refused before either instrument was made, let alone opened.
    QCOMPARE(m_made.load(), 0);
    QVERIFY(!m_dialog->run());
    QVERIFY(child<QPushButton>("startButton")->isEnabled());
}

void TestSensorMatchingDialog::operatorRunFillsBothTables()
{
    m_measure = std::make_unique<Measure>();
    makeDialogOnPorts(kPortA, kPortB);
    const QString outputDir = QDir(home.work).filePath(QStringLiteral("out"));
    useOperator(outputDir);
    child<QSpinBox>("repeatsSpin")->setValue(2);
    // Offered for a sensor whose driver keeps matrices, not for one whose does not.
    auto* memory = child<QCheckBox>("memoryCheck");
    choose("sensorTypeCombo", QStringLiteral("CS-2000"));
    QVERIFY(!memory->isEnabled());
    choose("sensorTypeCombo", QString::fromLatin1(SensorTable::row(serialType()).name));
    QVERIFY(memory->isEnabled());
    memory->setChecked(true);
    child<QSpinBox>("memorySpin")->setValue(7);
    m_dialog->show();

    QSignalSpy finished(m_dialog.get(), &SensorMatchingDialog::runFinished);
    child<QPushButton>("startButton")->click();
    QVERIFY(m_dialog->isRunning());
    QVERIFY(!child<QPushButton>("startButton")->isEnabled());
    QVERIFY(child<QPushButton>("cancelButton")->isEnabled());
    auto* patches = child<QTableWidget>("patchTable");
    const int patchCount = patches->rowCount();
    QVERIFY(patchCount >= 4);
    auto* view = child<ChromaticityView>("matchingDiagram");
    QVERIFY(view);
    QVERIFY(view->diagram().vectors().empty());
    // The diagram follows the certificate as patches come in: a certificate
    // worked out before a patch is asked for is on it by the time it is.
    std::size_t shownDuringRun = 0;
    for (int i = 0; i < patchCount; ++i) {
        QVERIFY(QTest::qWaitFor([&] {
            auto* box = m_dialog->findChild<QMessageBox*>(QStringLiteral("patchPrompt"));
            return (box && box->isVisible()) || !m_dialog->isRunning();
        }, 5000));
        if (const std::optional<Certificate> sofar = m_dialog->run()->certificate()) {
            if (const Certificate::MethodResult* method = sofar->method(sofar->recommended())) {
                QCOMPARE(view->diagram().vectors().size(), method->patches.size());
                shownDuringRun = std::max(shownDuringRun, view->diagram().vectors().size());
            }
        }
        QVERIFY2(answerPrompt(), qPrintable(QStringLiteral("patch %1 of %2").arg(i + 1).arg(patchCount)));
    }
    QVERIFY(shownDuringRun > 0);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(finished.first().first().value<MatchingRun::Outcome>(), MatchingRun::Outcome::Completed);
    QVERIFY2(m_messages->texts().isEmpty(), qPrintable(m_messages->texts().join('\n')));

    // Every patch shows its readings counted to the end.
    const int progressColumn = patches->columnCount() - 1;
    for (int row = 0; row < patchCount; ++row) {
        const QString progress = patches->item(row, progressColumn)->text();
        QVERIFY2(progress.startsWith(QStringLiteral("Done")) && progress.contains(QStringLiteral("2/2")),
                 qPrintable(progress));
    }
    // Every method, one of them recommended, its validation figures within tolerance.
    auto* methods = child<QTableWidget>("methodTable");
    QCOMPARE(methods->rowCount(), int(Certificate::standardMethods().size()));
    const std::optional<Certificate> certificate = m_dialog->run()->certificate();
    QVERIFY(certificate);
    int recommendedRow = -1;
    for (int row = 0; row < methods->rowCount(); ++row) {
        QCOMPARE(methods->item(row, 0)->text(), certificate->methods()[size_t(row)].name);
        if (!methods->item(row, methods->columnCount() - 1)->text().isEmpty()) {
            QCOMPARE(recommendedRow, -1);
            recommendedRow = row;
        }
    }
    QVERIFY(recommendedRow >= 0);
    QCOMPARE(methods->item(recommendedRow, 0)->text(), certificate->recommended());
    bool isNumber = false;
    const double mean = methods->item(recommendedRow, 1)->text().toDouble(&isNumber);
    QVERIFY(isNumber);
    QVERIFY(mean >= 0.0 && mean < Certificate::kDefaultTolerance);
    QCOMPARE(methods->item(recommendedRow, 4)->text(), QStringLiteral("Pass"));

    // Beside the patches, the errors of the recommended method until another
    // is chosen: one arrow a patch, reference to corrected, lengthened as the
    // certificate's are.
    const auto showsMethod = [&](const QString& name) {
        const Certificate::MethodResult* method = certificate->method(name);
        if (!method || method->patches.empty())
            return false;
        const std::vector<ChromaticityDiagram::Vector>& vectors = view->diagram().vectors();
        if (vectors.size() != method->patches.size())
            return false;
        for (std::size_t i = 0; i < vectors.size(); ++i) {
            const Certificate::PatchFigures& f = method->patches[i];
            if (vectors[i].label != f.name || vectors[i].from[0] != f.referenceXyY[0]
                || vectors[i].from[1] != f.referenceXyY[1] || vectors[i].to[0] != f.correctedXyY[0]
                || vectors[i].to[1] != f.correctedXyY[1])
                return false;
        }
        return view->diagram().vectorScale() == ChromaticityPlot::ofMethod(method).magnification()
               && child<QLabel>("diagramLabel")->text().contains(name);
    };
    QVERIFY(showsMethod(certificate->recommended()));
    QVERIFY(view->diagram().vectorScale() > 1.0);
    int otherRow = -1;
    for (int row = 0; row < methods->rowCount(); ++row) {
        const Certificate::MethodResult& r = certificate->methods()[size_t(row)];
        if (row != recommendedRow && !r.refused && !r.patches.empty())
            otherRow = row;
    }
    QVERIFY(otherRow >= 0);
    methods->selectRow(otherRow);
    QVERIFY(showsMethod(certificate->methods()[size_t(otherRow)].name));
    QVERIFY(!showsMethod(certificate->recommended()));
    methods->clearSelection();
    QVERIFY(showsMethod(certificate->recommended()));

    // The recommended matrix went to the sensor's memory where the user said.
    QCOMPARE(m_bench->storedIndex, 7);
    QVERIFY(!m_bench->storedName.isEmpty());
    QVERIFY(m_bench->storedMatrix == certificate->method(certificate->recommended())->matrix);

    // The session and the certificate are kept where the user said.
    QVERIFY(QFileInfo(QDir(outputDir).filePath(QStringLiteral("session.json"))).isFile());
    QVERIFY(QFileInfo(QDir(outputDir).filePath(CertificateFiles::jsonFileName())).isFile());
    QVERIFY(QFileInfo(QDir(outputDir).filePath(CertificateFiles::csvFileName())).isFile());
    QVERIFY(QFileInfo(QDir(outputDir).filePath(CertificateFiles::pdfFileName())).isFile());

    // Back to idle, the result ready to keep as a profile of the sensor.
    QVERIFY(!m_dialog->isRunning());
    QVERIFY(child<QPushButton>("startButton")->isEnabled());
    QVERIFY(!child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(child<QPushButton>("saveButton")->isEnabled());
    ScriptedDialogProvider dialogs;
    const QString profileFile = QDir(home.work).filePath(QStringLiteral("matched.alg"));
    dialogs.queueFileName(profileFile);
    child<QPushButton>("saveButton")->click();
    AlignmentProfile profile;
    QCOMPARE(profile.read(profileFile), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.sensorType(), serialType());
    QCOMPARE(profile.serialNumber(), QStringLiteral("SN-") + kPortA);
    const Matrix3x3& matrix = certificate->method(certificate->recommended())->matrix;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            QCOMPARE(profile.matrix()(r, c), matrix[size_t(r)][size_t(c)]);
    }
}

void TestSensorMatchingDialog::screenRunPaintsEveryPatch()
{
    m_measure = std::make_unique<Measure>();
    makeDialogOnPorts(kPortA, kPortB);
    choose("sourceCombo", QStringLiteral("Screen"));
    child<QComboBox>("screenCombo")->setCurrentIndex(QGuiApplication::screens().size() - 1);
    child<QDoubleSpinBox>("settleSpin")->setValue(0.0);
    child<QSpinBox>("repeatsSpin")->setValue(1);
    child<QLineEdit>("outputEdit")->setText(home.work);

    // What the window paints is what both instruments read: put on the bench
    // as the paint begins, before the window says the patch is up.
    struct Screen : QObject {
        Bench* bench = nullptr;
        QList<QColor> painted;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                const QColor colour = static_cast<ScreenPatchWindow*>(watched)->colour();
                bench->show(colour.red(), colour.green(), colour.blue());
                if (painted.isEmpty() || painted.constLast() != colour)
                    painted << colour;
            }
            return false;
        }
    } screen;
    screen.bench = m_bench.get();
    QSignalSpy finished(m_dialog.get(), &SensorMatchingDialog::runFinished);
    child<QPushButton>("startButton")->click();
    ScreenPatchWindow* window = m_dialog->patchWindow();
    QVERIFY(window);
    window->installEventFilter(&screen);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(finished.first().first().value<MatchingRun::Outcome>(), MatchingRun::Outcome::Completed);
    QVERIFY2(m_messages->texts().isEmpty(), qPrintable(m_messages->texts().join('\n')));

    // Every patch in turn, over the whole of the screen chosen, gone at the end.
    auto* patches = child<QTableWidget>("patchTable");
    QList<QColor> expected;
    for (int row = 0; row < patches->rowCount(); ++row)
        expected << QColor(patches->item(row, 1)->text().toInt(), patches->item(row, 2)->text().toInt(),
                           patches->item(row, 3)->text().toInt());
    QCOMPARE(screen.painted, expected);
    QCOMPARE(window->geometry(), QGuiApplication::screens().constLast()->geometry());
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(m_dialog->run()->certificate());
}

void TestSensorMatchingDialog::patternCommandShowsEveryPatch()
{
    m_measure = std::make_unique<Measure>();
    makeDialogOnPorts(kPortA, kPortB);
    choose("sourceCombo", QStringLiteral("Pattern command"));
    child<QDoubleSpinBox>("settleSpin")->setValue(0.0);
    child<QSpinBox>("repeatsSpin")->setValue(1);
    child<QLineEdit>("outputEdit")->setText(home.work);

    // No command: refused before anything is made.
    child<QPushButton>("startButton")->click();
    QCOMPARE(m_messages->texts().size(), 1);
    QVERIFY(!m_dialog->run());
    m_messages->clear();

    m_bench->patternFile = QDir(home.work).filePath(QStringLiteral("shown.txt"));
    child<QLineEdit>("commandEdit")->setText(QStringLiteral("/bin/sh -c \"echo %r %g %b > %1\"").arg(m_bench->patternFile));
    QSignalSpy finished(m_dialog.get(), &SensorMatchingDialog::runFinished);
    child<QPushButton>("startButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(finished.first().first().value<MatchingRun::Outcome>(), MatchingRun::Outcome::Completed);
    QVERIFY2(m_messages->texts().isEmpty(), qPrintable(m_messages->texts().join('\n')));
    // Each patch was read as the command put it up: the readings fit.
    const std::optional<Certificate> certificate = m_dialog->run()->certificate();
    QVERIFY(certificate);
    QVERIFY(certificate->passes());
    const MatchingSession session = m_dialog->run()->session();
    const MatchingSession::PatchRecord& last = session.patches().back();
    Xyz expected{0.0, 0.0, 0.0};
    for (int p = 0; p < 3; ++p) {
        const int level = p == 0 ? last.patch.r : p == 1 ? last.patch.g : last.patch.b;
        for (int c = 0; c < 3; ++c)
            expected[size_t(c)] += kTrue[size_t(p)][size_t(c)] * linear(level);
    }
    QCOMPARE(last.reference.back().xyz, expected);
}

void TestSensorMatchingDialog::cancelEndsTheRunAtOnce_data()
{
    QTest::addColumn<bool>("whileReading");
    QTest::newRow("while the operator is asked") << false;
    QTest::newRow("while both instruments read") << true;
}

void TestSensorMatchingDialog::cancelEndsTheRunAtOnce()
{
    QFETCH(bool, whileReading);
    m_measure = std::make_unique<Measure>();
    makeDialogOnPorts(kPortA, kPortB);
    useOperator(home.work);
    m_dialog->show();
    m_bench->holdReads = whileReading;

    QSignalSpy finished(m_dialog.get(), &SensorMatchingDialog::runFinished);
    child<QPushButton>("startButton")->click();
    QVERIFY(m_dialog->isRunning());
    if (whileReading) {
        QVERIFY(answerPrompt());
        QTRY_VERIFY_WITH_TIMEOUT(m_bench->readsWaiting.load() > 0, 5000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(m_dialog->findChild<QMessageBox*>(QStringLiteral("patchPrompt")), 5000);
    }
    QElapsedTimer clock;
    clock.start();
    child<QPushButton>("cancelButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
    // Not the bench's 20 s read, not the operator's hour.
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(finished.first().first().value<MatchingRun::Outcome>(), MatchingRun::Outcome::Cancelled);
    QVERIFY(!m_dialog->isRunning());
    QVERIFY(child<QPushButton>("startButton")->isEnabled());
    QVERIFY(!child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(child<QComboBox>("sensorTypeCombo")->isEnabled());
    QTRY_VERIFY(!m_dialog->findChild<QMessageBox*>(QStringLiteral("patchPrompt")));
    // A cancel is the user's own doing: no box about it.
    QVERIFY2(m_messages->texts().isEmpty(), qPrintable(m_messages->texts().join('\n')));
}

void TestSensorMatchingDialog::stoppedRunSaysWhy_data()
{
    QTest::addColumn<QString>("openError");
    QTest::addColumn<QString>("said");
    QTest::newRow("an instrument does not open") << QStringLiteral("no answer on the port")
                                                 << QStringLiteral("no answer on the port");
    QTest::newRow("the operator does not show the patch") << QString() << QStringLiteral("did not show the patch");
}

void TestSensorMatchingDialog::stoppedRunSaysWhy()
{
    QFETCH(QString, openError);
    QFETCH(QString, said);
    m_measure = std::make_unique<Measure>();
    makeDialogOnPorts(kPortA, kPortB);
    useOperator(home.work);
    m_bench->openError = openError;
    m_bench->failingPort = kPortA;

    QSignalSpy finished(m_dialog.get(), &SensorMatchingDialog::runFinished);
    child<QPushButton>("startButton")->click();
    if (openError.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(m_dialog->findChild<QMessageBox*>(QStringLiteral("patchPrompt")), 5000);
        m_dialog->findChild<QMessageBox*>(QStringLiteral("patchPrompt"))->button(QMessageBox::Cancel)->click();
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
    QCOMPARE(finished.first().first().value<MatchingRun::Outcome>(), MatchingRun::Outcome::Stopped);
    // Said in a box, and the dialog ready for another try.
    QCOMPARE(m_messages->texts().size(), 1);
    QVERIFY2(m_messages->texts().first().contains(said), qPrintable(m_messages->texts().first()));
    QVERIFY(child<QPushButton>("startButton")->isEnabled());
    QVERIFY(!child<QPushButton>("cancelButton")->isEnabled());
    QVERIFY(!child<QPushButton>("saveButton")->isEnabled());
    // The instrument at fault, and only that one, keeps saying what went wrong with it.
    if (!openError.isEmpty()) {
        const QString state = child<QLabel>("sensorStateLabel")->text();
        QVERIFY2(state.contains(openError) && state.contains(QStringLiteral("Failed")), qPrintable(state));
        QVERIFY(!child<QLabel>("referenceStateLabel")->text().contains(openError));
    }
}

void TestSensorMatchingDialog::closingCancelsFirst()
{
    m_measure = std::make_unique<Measure>();
    makeDialogOnPorts(kPortA, kPortB);
    useOperator(home.work);
    m_bench->holdReads = true;
    m_dialog->show();

    QSignalSpy finished(m_dialog.get(), &SensorMatchingDialog::runFinished);
    child<QPushButton>("startButton")->click();
    QVERIFY(answerPrompt());
    QTRY_VERIFY_WITH_TIMEOUT(m_bench->readsWaiting.load() > 0, 5000);
    child<QPushButton>("closeButton")->click();
    // Open until the run has let go of both instruments, then closed.
    QVERIFY(m_dialog->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
    QCOMPARE(finished.first().first().value<MatchingRun::Outcome>(), MatchingRun::Outcome::Cancelled);
    QTRY_VERIFY(!m_dialog->isVisible());
    QCOMPARE(m_bench->readsWaiting.load(), 0);
}

void TestSensorMatchingDialog::patchWindowPaintsThenAnswers_data()
{
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    QTest::newRow("red") << 255 << 0 << 0;
    QTest::newRow("mid colour") << 12 << 200 << 77;
    QTest::newRow("grey 10 %") << 26 << 26 << 26;
}

void TestSensorMatchingDialog::patchWindowPaintsThenAnswers()
{
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    QScreen* screen = QGuiApplication::screens().constLast();
    ScreenPatchWindow window(screen);
    RequestedPatchSource source(0);
    window.attach(&source);

    // The window's own paints of the patch asked for (a grab paints too, and
    // is not counted), at the moment the window said it was up.
    struct PaintCounter : QObject {
        const ScreenPatchWindow* window = nullptr;
        QColor asked;
        int paints = 0;
        bool grabbing = false;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && !grabbing && window->colour() == asked)
                ++paints;
            return false;
        }
    } counter;
    counter.window = &window;
    window.installEventFilter(&counter);
    int paintsWhenAnswered = -1;
    QColor shownWhenAnswered;
    connect(&window, &ScreenPatchWindow::patchPainted, this, [&] {
        paintsWhenAnswered = counter.paints;
        counter.grabbing = true;
        shownWhenAnswered = window.grab().toImage().pixelColor(window.width() / 2, window.height() / 2);
        counter.grabbing = false;
    });
    const auto showOnTheRunsThread = [&](const MatchingPatch& patch) {
        counter.paints = 0;
        counter.asked = QColor(patch.r, patch.g, patch.b);
        paintsWhenAnswered = -1;
        std::atomic<int> shown{-1};
        std::thread run([&] {
            QString error;
            shown = source.show(patch, &error) ? 1 : 0;
        });
        const bool answered = QTest::qWaitFor([&] { return shown.load() >= 0; }, 5000);
        run.join();
        return answered && shown.load() == 1;
    };

    // The window is up already with another patch: the new one comes with a
    // repaint of its own, not with the show.
    MatchingPatch before;
    before.name = QStringLiteral("before");
    QVERIFY(showOnTheRunsThread(before));
    MatchingPatch patch;
    patch.name = QStringLiteral("patch");
    patch.r = r;
    patch.g = g;
    patch.b = b;
    QVERIFY(showOnTheRunsThread(patch));
    QVERIFY(paintsWhenAnswered > 0);
    QCOMPARE(shownWhenAnswered, QColor(r, g, b));
    // Over the whole of the chosen screen, without a frame.
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), screen->geometry());
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    const QImage picture = window.grab().toImage();
    for (const QPoint& at : {QPoint(0, 0), QPoint(picture.width() - 1, picture.height() - 1)})
        QCOMPARE(picture.pixelColor(at), QColor(r, g, b));

    source.finish();
    QTRY_VERIFY(!window.isVisible());
}

void TestSensorMatchingDialog::openedFromTheAdvanceMenu()
{
    WindowProbe probe;
    probe.openWindow();
    QAction* action = probe.action(QStringLiteral("Sensor matching"));
    QVERIFY(action);
    bool inAdvanceMenu = false;
    for (QAction* menu : probe.window->menuBar()->actions()) {
        if (menu->text() == QStringLiteral("A&dvance"))
            inAdvanceMenu = menu->menu()->actions().contains(action);
    }
    QVERIFY(inAdvanceMenu);
    bool opened = false;
    const QPointer<QTimer> watch = whenModal<SensorMatchingDialog>([&](SensorMatchingDialog* dialog) {
        opened = dialog->parentWidget() == probe.window.get();
    });
    action->trigger();
    QVERIFY(opened);
    QTRY_VERIFY(!watch);
}

LUMASERVE_UI_TEST_MAIN(TestSensorMatchingDialog)
#include "tst_sensormatchingdialog.moc"
