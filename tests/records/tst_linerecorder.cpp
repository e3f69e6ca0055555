// The recorder between the controller and the writer: what a session is told
// of the station when it begins (the profile only while its matrix serves,
// the unit typed in), and that a session is in the records by the time anyone
// hears that it began.

#include "ccolor.h"
#include "cmonitor.h"
#include "linerecorder.h"
#include "matrix.h"
#include "measure.h"
#include "sessiontracker.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void serveOne(LineRecorder& recorder)
{
    const CColor white(95.05, 100.0, 108.9);
    recorder.tracker()->takeRequest(CMonitor::StartMeasure, QStringLiteral("OK00,00100"), noDataColor, noDataColor);
    recorder.tracker()->takeRequest(CMonitor::SendValue, QStringLiteral("OK01"), white, white);
    recorder.tracker()->takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
}

} // namespace

class TestLineRecorder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void profileWhileItsMatrixServes();
    void unitForOpenOrNextSession();
    void sessionFoundAsItBegins();

private:
    SessionRecord lastStored(QSignalSpy& stored);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Measure> m_measure;
    std::unique_ptr<LineRecorder> m_recorder;
};

void TestLineRecorder::init()
{
    qRegisterMetaType<SessionRecord>();
    m_dir = std::make_unique<QTemporaryDir>();
    m_measure = std::make_unique<Measure>();
    LineRecorder::Settings settings;
    settings.location = RecordLocation::sqlite(m_dir->filePath(QStringLiteral("records.sqlite")));
    settings.station = QStringLiteral("line 5");
    m_recorder = std::make_unique<LineRecorder>(*m_measure, settings);
    QString error;
    QVERIFY2(m_recorder->start(&error), qPrintable(error));
}

void TestLineRecorder::cleanup()
{
    m_recorder.reset();
    m_measure.reset();
    m_dir.reset();
}

SessionRecord TestLineRecorder::lastStored(QSignalSpy& stored)
{
    if (stored.isEmpty() && !stored.wait(5000))
        return {};
    return stored.takeFirst().first().value<SessionRecord>();
}

void TestLineRecorder::profileWhileItsMatrixServes()
{
    QSignalSpy stored(m_recorder.get(), &LineRecorder::sessionStored);
    const double values[9] = {1.02, 0.01, 0.0, 0.0, 0.98, 0.0, 0.0, 0.01, 1.05};
    m_measure->SetMatrix(Matrix(values, 3, 3));
    m_recorder->setProfileName(QStringLiteral("ca410-51000001.alg"));
    serveOne(*m_recorder);
    SessionRecord session = lastStored(stored);
    QCOMPARE(session.profile, QStringLiteral("ca410-51000001.alg"));
    QCOMPARE(session.matrixSha256, LineRecorder::matrixSha256(Matrix(values, 3, 3)));
    QCOMPARE(session.station, QStringLiteral("line 5"));

    // Calibrated since: the matrix is no longer the profile's.
    m_measure->SetMatrix(Matrix::IdentityMatrix(3));
    serveOne(*m_recorder);
    session = lastStored(stored);
    QCOMPARE(session.profile, QString());
    QCOMPARE(session.matrixSha256, LineRecorder::matrixSha256(Matrix::IdentityMatrix(3)));
}

void TestLineRecorder::unitForOpenOrNextSession()
{
    QSignalSpy stored(m_recorder.get(), &LineRecorder::sessionStored);
    QSignalSpy taken(m_recorder.get(), &LineRecorder::unitTaken);
    // Scanned before the display starts: the next session takes it.
    m_recorder->setUnit(QStringLiteral("  U-1 "));
    QCOMPARE(m_recorder->pendingUnit(), QStringLiteral("U-1"));
    serveOne(*m_recorder);
    QCOMPARE(lastStored(stored).unit, QStringLiteral("U-1"));
    QCOMPARE(taken.count(), 1);
    QVERIFY(m_recorder->pendingUnit().isEmpty());

    // Scanned while a display is being served without one: that one.
    const CColor white(95.05, 100.0, 108.9);
    m_recorder->tracker()->takeRequest(CMonitor::SendValue, QStringLiteral("OK01"), white, white);
    m_recorder->setUnit(QStringLiteral("U-2"));
    QCOMPARE(taken.count(), 2);
    // A second scan goes to the next display, not over the first.
    m_recorder->setUnit(QStringLiteral("U-3"));
    m_recorder->tracker()->takeRequest(CMonitor::StopMeasure, QString(), noDataColor, noDataColor);
    QCOMPARE(lastStored(stored).unit, QStringLiteral("U-2"));
    serveOne(*m_recorder);
    QCOMPARE(lastStored(stored).unit, QStringLiteral("U-3"));
}

void TestLineRecorder::sessionFoundAsItBegins()
{
    QSignalSpy found(m_recorder.get(), &LineRecorder::sessionsFound);
    int ticket = 0;
    connect(m_recorder.get(), &LineRecorder::sessionStarted, this,
            [this, &ticket] { ticket = m_recorder->findSessions({}); });
    const CColor white(95.05, 100.0, 108.9);
    m_recorder->tracker()->takeRequest(CMonitor::SendValue, QStringLiteral("OK01"), white, white);
    QVERIFY(found.wait(5000));
    QCOMPARE(found.first().at(0).toInt(), ticket);
    const auto sessions = found.first().at(1).value<QVector<SessionRecord>>();
    QCOMPARE(sessions.size(), 1);
    QVERIFY(sessions.first().isOpen());
}

QTEST_GUILESS_MAIN(TestLineRecorder)
#include "tst_linerecorder.moc"
