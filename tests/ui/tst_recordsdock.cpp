// The Records dock and the window's Unit field, against a recorder on a
// scratch SQLite file whose sessions are driven through its tracker as the
// alignment service would drive them. Run under a German locale, so that a
// figure shown or exported with a decimal comma is caught.

#include "ccolor.h"
#include "cmonitor.h"
#include "linerecorder.h"
#include "mainwindow.h"
#include "measure.h"
#include "recordingmessenger.h"
#include "recordsdock.h"
#include "scripteddialogprovider.h"
#include "sessionreadingsdialog.h"
#include "sessiontracker.h"
#include "uitest.h"

#include <QComboBox>
#include <QDateEdit>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <memory>

namespace {

enum class Ending { Pass, Fail, Incomplete, Open };

struct Planned {
    QString unit;
    Ending ending;
    int requests;
};

// Oldest first; each with its own number of requests, so that a row showing
// another session's figures is caught.
const QVector<Planned> kSessions = {
    {QStringLiteral("U-1"), Ending::Pass, 4},
    {QStringLiteral("U-2"), Ending::Fail, 3},
    {QStringLiteral("U-3"), Ending::Incomplete, 5},
    {QStringLiteral("U-4"), Ending::Open, 2},
};

CColor fromXy(double x, double y, double luminance)
{
    return CColor(luminance * x / y, luminance, luminance * (1.0 - x - y) / y);
}

LineRecorder::Settings settingsIn(const QString& dir)
{
    LineRecorder::Settings settings;
    settings.location = RecordLocation::sqlite(QDir(dir).filePath(QStringLiteral("records.sqlite")));
    settings.spoolFile = QDir(dir).filePath(QStringLiteral("spool.sqlite"));
    settings.station = QStringLiteral("line-1");
    return settings;
}

// One display's session: the requests its ending needs, the white on target
// for a PASS and off it for a FAIL.
void drive(LineRecorder& recorder, const Planned& planned)
{
    SessionTracker* tracker = recorder.tracker();
    QSignalSpy stored(&recorder, &LineRecorder::sessionStored);
    if (!planned.unit.isEmpty())
        recorder.setUnit(planned.unit);
    tracker->takeRequest(CMonitor::StartMeasure, QStringLiteral("OK"), CColor(), CColor());
    const bool closes = planned.ending == Ending::Pass || planned.ending == Ending::Fail;
    const int values = planned.requests - 1 - (closes ? 1 : 0);
    const CColor white = planned.ending == Ending::Fail ? fromXy(0.3200, 0.3350, 180.0) : fromXy(0.3127, 0.3290, 180.0);
    for (int i = 0; i < values; ++i) {
        // A primary first, then the white the verdict judges.
        const CColor value = i + 1 < values ? fromXy(0.64, 0.33, 38.0) : white;
        tracker->takeRequest(CMonitor::SendValue, QStringLiteral("OK"), value, value);
    }
    switch (planned.ending) {
    case Ending::Pass:
    case Ending::Fail:
        tracker->takeRequest(CMonitor::StopMeasure, QStringLiteral("OK"), CColor(), CColor());
        break;
    case Ending::Incomplete:
        tracker->takeHangUp();
        break;
    case Ending::Open:
        return;
    }
    QVERIFY(stored.wait(5000));
}

QString cell(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

// One line of CSV: quoted fields may hold commas ("MES,1") and doubled quotes.
QStringList csvFields(const QString& line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
            fields.last() += c;
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            fields << QString();
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

QStringList unitsShown(const RecordsDock& dock)
{
    QStringList units;
    for (int row = 0; row < dock.table()->rowCount(); ++row)
        units << cell(dock.table(), row, RecordsDock::Unit);
    return units;
}

// Waits for the dock's answer to the question its filters ask now.
bool shown(RecordsDock& dock)
{
    QSignalSpy spy(&dock, &RecordsDock::sessionsShown);
    return spy.wait(5000);
}

} // namespace

class TestRecordsDock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rowsShowTheSessionsColouredByVerdict();
    void filtersNarrowTheRows_data();
    void filtersNarrowTheRows();
    void doubleClickShowsTheSessionsRequests();
    void exportWritesTheSelection_data();
    void exportWritesTheSelection();
    void unitFieldGivesTheUnitToASession_data();
    void unitFieldGivesTheUnitToASession();

private:
    ScratchHome m_home;
    std::unique_ptr<Measure> m_measure;
    std::unique_ptr<LineRecorder> m_recorder;
};

void TestRecordsDock::initTestCase()
{
    m_home.setUp();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    m_measure = std::make_unique<Measure>();
    m_recorder = std::make_unique<LineRecorder>(*m_measure, settingsIn(m_home.dir.path()));
    QString error;
    QVERIFY2(m_recorder->start(&error), qPrintable(error));
    for (const Planned& planned : kSessions)
        drive(*m_recorder, planned);
}

void TestRecordsDock::cleanupTestCase()
{
    m_recorder.reset();
    m_measure.reset();
    QLocale::setDefault(QLocale::c());
}

void TestRecordsDock::rowsShowTheSessionsColouredByVerdict()
{
    RecordsDock dock(m_recorder.get());
    QVERIFY(shown(dock));
    QTableWidget* table = dock.table();
    QCOMPARE(unitsShown(dock), (QStringList{"U-4", "U-3", "U-2", "U-1"}));
    for (int row = 0; row < table->rowCount(); ++row) {
        const Planned& planned = kSessions[kSessions.size() - 1 - row];
        QCOMPARE(cell(table, row, RecordsDock::Requests), QString::number(planned.requests));
        const QBrush background = table->item(row, RecordsDock::Unit)->background();
        const QColor c = background.color();
        switch (planned.ending) {
        case Ending::Pass:
            QCOMPARE(cell(table, row, RecordsDock::Verdict), QStringLiteral("PASS"));
            QVERIFY2(c.green() > c.red() && c.green() > c.blue(), qPrintable(c.name()));
            // On target, with a decimal point whatever the locale.
            QCOMPARE(cell(table, row, RecordsDock::WhiteX), QStringLiteral("0.3127"));
            QCOMPARE(cell(table, row, RecordsDock::WhiteY), QStringLiteral("0.3290"));
            QCOMPARE(cell(table, row, RecordsDock::WhiteLv), QStringLiteral("180.00"));
            break;
        case Ending::Fail:
            QCOMPARE(cell(table, row, RecordsDock::Verdict), QStringLiteral("FAIL"));
            QVERIFY2(c.red() > c.green() && c.red() > c.blue(), qPrintable(c.name()));
            QCOMPARE(cell(table, row, RecordsDock::WhiteX), QStringLiteral("0.3200"));
            break;
        case Ending::Incomplete:
            QCOMPARE(cell(table, row, RecordsDock::Verdict), QStringLiteral("INCOMPLETE"));
            QVERIFY2(c.red() > c.blue() && c.green() > c.blue() && c.red() > c.green(), qPrintable(c.name()));
            break;
        case Ending::Open:
            QCOMPARE(background.style(), Qt::NoBrush);
            QVERIFY2(cell(table, row, RecordsDock::WhiteX).isEmpty(),
                     qPrintable(cell(table, row, RecordsDock::WhiteX)));
            break;
        }
        // Pale: the dark text stays readable.
        if (background.style() != Qt::NoBrush)
            QVERIFY2(c.lightness() > 180, qPrintable(c.name()));
    }
}

void TestRecordsDock::filtersNarrowTheRows_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<int>("dayOffset");
    QTest::addColumn<QStringList>("units");

    QTest::newRow("passed") << QString() << QStringLiteral("PASS") << 0 << QStringList{"U-1"};
    QTest::newRow("failed") << QString() << QStringLiteral("FAIL") << 0 << QStringList{"U-2"};
    QTest::newRow("incomplete") << QString() << QStringLiteral("INCOMPLETE") << 0 << QStringList{"U-3"};
    QTest::newRow("one unit") << QStringLiteral("U-3") << QString() << 0 << QStringList{"U-3"};
    QTest::newRow("unit and another verdict") << QStringLiteral("U-3") << QStringLiteral("PASS") << 0 << QStringList();
    QTest::newRow("yesterday") << QString() << QString() << -1 << QStringList();
    QTest::newRow("tomorrow") << QString() << QString() << 1 << QStringList();
}

void TestRecordsDock::filtersNarrowTheRows()
{
    QFETCH(QString, unit);
    QFETCH(QString, verdict);
    QFETCH(int, dayOffset);
    QFETCH(QStringList, units);

    RecordsDock dock(m_recorder.get());
    QVERIFY(shown(dock));
    QCOMPARE(dock.table()->rowCount(), kSessions.size());
    // As the user sets them: each change asks again, and only the last
    // answer counts.
    auto* unitEdit = dock.findChild<QLineEdit*>(QStringLiteral("unitFilterEdit"));
    auto* verdictCombo = dock.findChild<QComboBox*>(QStringLiteral("verdictFilterCombo"));
    auto* dateEdit = dock.findChild<QDateEdit*>(QStringLiteral("dateFilterEdit"));
    QVERIFY(unitEdit && verdictCombo && dateEdit);
    QCOMPARE(dateEdit->date(), QDate::currentDate());
    QSignalSpy answered(&dock, &RecordsDock::sessionsShown);
    unitEdit->setText(unit);
    verdictCombo->setCurrentIndex(verdictCombo->findData(verdict));
    dateEdit->setDate(QDate::currentDate().addDays(dayOffset));
    QVERIFY(shown(dock));
    QCOMPARE(unitsShown(dock), units);
    // Answers to the questions before the last one were not shown.
    QCOMPARE(answered.count(), 1);
}

void TestRecordsDock::doubleClickShowsTheSessionsRequests()
{
    RecordsDock dock(m_recorder.get());
    dock.resize(900, 400);
    dock.show();
    QVERIFY(shown(dock));
    QTableWidget* table = dock.table();
    // U-3's row: the one with five requests.
    const int row = unitsShown(dock).indexOf(QStringLiteral("U-3"));
    QVERIFY(row >= 0);
    const QPoint at = table->visualItemRect(table->item(row, RecordsDock::Verdict)).center();
    // The press a double click begins with, then the double click.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    SessionReadingsDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = dock.findChild<SessionReadingsDialog*>()) != nullptr);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->session().unit, QStringLiteral("U-3"));
    QTRY_COMPARE(dialog->table()->rowCount(), 5);
    QTableWidget* readings = dialog->table();
    QCOMPARE(cell(readings, 0, SessionReadingsDialog::Request), QStringLiteral("MES,1"));
    QCOMPARE(cell(readings, 1, SessionReadingsDialog::Request), QStringLiteral("MDR,1"));
    // The start carries no reading.
    QCOMPARE(cell(readings, 0, SessionReadingsDialog::RawX), QString());
    // The white, corrected: Y as sent, with a decimal point.
    QCOMPARE(cell(readings, 4, SessionReadingsDialog::Y), QStringLiteral("180.0000"));
    QCOMPARE(cell(readings, 4, SessionReadingsDialog::RawY), QStringLiteral("180.0000"));
    dialog->close();
}

void TestRecordsDock::exportWritesTheSelection_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("json");
    QTest::addColumn<QStringList>("selected");

    QTest::newRow("csv of two") << QStringLiteral("two.csv") << QString() << false << QStringList{"U-1", "U-3"};
    QTest::newRow("json of one") << QStringLiteral("one.json") << QString() << true << QStringList{"U-2"};
    QTest::newRow("json by the filter") << QStringLiteral("chosen") << QStringLiteral("JSON files (*.json)") << true
                                        << QStringList{"U-1", "U-2"};
    QTest::newRow("csv of all shown") << QStringLiteral("all.csv") << QString() << false << QStringList{};
}

void TestRecordsDock::exportWritesTheSelection()
{
    QFETCH(QString, fileName);
    QFETCH(QString, filter);
    QFETCH(bool, json);
    QFETCH(QStringList, selected);

    ScriptedDialogProvider dialogs;
    RecordingMessenger messages;
    RecordsDock dock(m_recorder.get());
    QVERIFY(shown(dock));
    QTableWidget* table = dock.table();
    const QStringList shownUnits = unitsShown(dock);
    for (const QString& unit : selected)
        table->selectionModel()->select(table->model()->index(shownUnits.indexOf(unit), 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString path = QDir(m_home.dir.path()).filePath(fileName);
    dialogs.queueFileName(path);
    dialogs.queueFilter(filter);
    QSignalSpy finished(&dock, &RecordsDock::exportFinished);
    dock.findChild<QPushButton*>(QStringLiteral("exportButton"))->click();
    QVERIFY(finished.wait(5000));
    QVERIFY2(finished.at(0).at(1).toBool(), qPrintable(messages.texts().join('\n')));
    const QString written = finished.at(0).at(0).toString();
    QCOMPARE(QFileInfo(written).suffix(), json ? QStringLiteral("json") : QStringLiteral("csv"));

    QFile file(written);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Unit -> requests exported, in the file's order.
    QStringList units;
    QHash<QString, int> requests;
    QStringList whiteXs;
    if (json) {
        const QJsonArray sessions = QJsonDocument::fromJson(bytes).object().value(QStringLiteral("sessions")).toArray();
        for (const QJsonValue& value : sessions) {
            const QJsonObject session = value.toObject();
            const QString unit = session.value(QStringLiteral("unit")).toString();
            units << unit;
            requests[unit] = session.value(QStringLiteral("readings")).toArray().size();
        }
    } else {
        const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 1);
        const QStringList header = lines.first().split(QLatin1Char(','));
        const int unitColumn = header.indexOf(QStringLiteral("unit"));
        const int whiteXColumn = header.indexOf(QStringLiteral("white_x"));
        QVERIFY(unitColumn >= 0 && whiteXColumn >= 0);
        for (const QString& line : lines.mid(1)) {
            const QStringList fields = csvFields(line);
            QCOMPARE(fields.size(), header.size());
            const QString unit = fields[unitColumn];
            if (!units.contains(unit))
                units << unit;
            ++requests[unit];
            if (!fields[whiteXColumn].isEmpty())
                whiteXs << fields[whiteXColumn];
        }
        QVERIFY(!whiteXs.isEmpty());
        for (const QString& x : whiteXs) {
            bool ok = false;
            QLocale::c().toDouble(x, &ok);
            QVERIFY2(ok, qPrintable(x));
        }
    }
    // The selection in the table's order; all shown when none is selected.
    QStringList expected;
    for (const QString& unit : shownUnits) {
        if (selected.isEmpty() || selected.contains(unit))
            expected << unit;
    }
    QCOMPARE(units, expected);
    for (const Planned& planned : kSessions) {
        if (expected.contains(planned.unit))
            QCOMPARE(requests.value(planned.unit), planned.requests);
    }
    QVERIFY(messages.texts().isEmpty());
}

void TestRecordsDock::unitFieldGivesTheUnitToASession_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::newRow("for the next display") << false;
    QTest::newRow("to the display being aligned") << true;
}

void TestRecordsDock::unitFieldGivesTheUnitToASession()
{
    QFETCH(bool, openFirst);

    m_home.enterWorkDir();
    MainWindow window;
    QVERIFY(!window.findChild<QLineEdit*>(QStringLiteral("unitEdit")));
    QVERIFY(!window.findChild<RecordsDock*>());
    // A file of each row's own: the other row's session is not this one's.
    const QString dir = QDir(m_home.work).filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(dir));
    LineRecorder recorder(*window.controller(), settingsIn(dir));
    QString error;
    QVERIFY2(recorder.start(&error), qPrintable(error));
    window.setLineRecorder(&recorder);
    window.show();
    auto* unitEdit = window.findChild<QLineEdit*>(QStringLiteral("unitEdit"));
    QVERIFY(unitEdit);
    QVERIFY(window.findChild<RecordsDock*>(QStringLiteral("recordsDock")));

    QSignalSpy started(&recorder, &LineRecorder::sessionStarted);
    QSignalSpy stored(&recorder, &LineRecorder::sessionStored);
    SessionTracker* tracker = recorder.tracker();
    RecordsDock* dock = window.recordsWindow();
    if (openFirst) {
        tracker->takeRequest(CMonitor::StartMeasure, QStringLiteral("OK"), CColor(), CColor());
        // The display being aligned is listed as it begins.
        QTRY_COMPARE(dock->table()->rowCount(), 1);
        QCOMPARE(cell(dock->table(), 0, RecordsDock::Verdict), QStringLiteral("open"));
    }
    QTest::keyClicks(unitEdit, QStringLiteral("SN-0042"));
    QTest::keyClick(unitEdit, Qt::Key_Return);
    // Kept until a session takes it.
    QCOMPARE(unitEdit->text(), openFirst ? QString() : QStringLiteral("SN-0042"));
    if (!openFirst) {
        tracker->takeRequest(CMonitor::StartMeasure, QStringLiteral("OK"), CColor(), CColor());
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(0).value<SessionRecord>().unit, QStringLiteral("SN-0042"));
        QVERIFY(unitEdit->text().isEmpty());
    }
    tracker->takeRequest(CMonitor::StopMeasure, QStringLiteral("OK"), CColor(), CColor());
    QVERIFY(stored.wait(5000));
    QCOMPARE(stored.at(0).at(0).value<SessionRecord>().unit, QStringLiteral("SN-0042"));
    // The dock shows it.
    QTRY_COMPARE(unitsShown(*dock), QStringList{"SN-0042"});
}

LUMASERVE_UI_TEST_MAIN(TestRecordsDock)
#include "tst_recordsdock.moc"
