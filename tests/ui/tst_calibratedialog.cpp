#include "calibratedialog.h"
#include "mainwindow.h"
#include "measure.h"
#include "modaldialog.h"
#include "recordingmessenger.h"
#include "scriptedsensor.h"
#include "sensortable.h"
#include "uitest.h"

#include <QClipboard>
#include <QGroupBox>
#include <QImage>
#include <QStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <cmath>
#include <memory>

// A cell of one of the dialog's tables and the text typed into it.
struct Edit {
    const char* table;
    int row;
    int col;
    QString text;
};
using Edits = QVector<Edit>;
Q_DECLARE_METATYPE(Edits)

namespace {

// Rows red, green, blue, white; columns X, Y, Z: sRGB primaries and D65 white.
const double kPatches[4][3] = {
    {41.24, 21.26, 1.93},
    {35.76, 71.52, 11.92},
    {18.05, 7.22, 95.05},
    {95.05, 100.0, 108.9},
};

// The rows given as a spreadsheet copies them.
QString tabbed(const Matrix& rows)
{
    QString text;
    for (int r = 0; r < rows.GetRows(); ++r) {
        for (int c = 0; c < rows.GetColumns(); ++c)
            text += QString::number(rows(r, c), 'g', 17) + (c + 1 < rows.GetColumns() ? "\t" : "\n");
    }
    return text;
}

// A controller whose sensor is a scripted one.
struct Rig {
    Rig()
    {
        measure.setSensorFactory([this](int) -> CSensor* {
            sensor = new ScriptedSensor;
            return sensor;
        });
        measure.initSensor(7, QString());
        measure.SetMatrix(sampleMatrix());
        dialog = std::make_unique<CalibrateDialog>(&measure);
    }

    QTableWidget* table(const char* name) const
    {
        return dialog->findChild<QTableWidget*>(QString::fromLatin1(name));
    }
    QRadioButton* colour(const char* name) const
    {
        return dialog->findChild<QRadioButton*>(QString::fromLatin1(name));
    }
    QPushButton* button(const char* name) const
    {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QString cell(const char* tableName, int r, int c) const { return table(tableName)->item(r, c)->text(); }
    void setCell(const char* tableName, int r, int c, const QString& text) const
    {
        table(tableName)->item(r, c)->setText(text);
    }
    // Both tables with the given patch values; the reference scaled by factor.
    void fill(double referenceFactor) const
    {
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 3; ++c) {
                setCell("sensorTable", r, c, QString::number(kPatches[r][c]));
                setCell("referenceTable", r, c, QString::number(kPatches[r][c] * referenceFactor));
            }
        }
    }
    // A table's texts, row by row.
    QStringList texts(const char* tableName) const
    {
        QStringList texts;
        for (int r = 0; r < table(tableName)->rowCount(); ++r) {
            for (int c = 0; c < 3; ++c)
                texts << cell(tableName, r, c);
        }
        return texts;
    }
    void paste(const char* tableName, int r, int c, const QString& text) const
    {
        table(tableName)->setCurrentCell(r, c);
        QApplication::clipboard()->setText(text);
        QTest::keyClick(table(tableName), Qt::Key_V, Qt::ControlModifier);
    }

    RecordingMessenger messages;
    Measure measure;
    ScriptedSensor* sensor = nullptr; // owned by the controller
    std::unique_ptr<CalibrateDialog> dialog;
};

} // namespace

class TestCalibrateDialog : public QObject
{
    Q_OBJECT

private slots:
    void readingFillsTheCheckedColoursRowOnly();
    void readingGoesToTheColourChosenAtMeasure();
    void refusedInputs_data();
    void refusedInputs();
    void computesTheMatrix();
    void acceptedMatrixReachesTheController();
    void keyboardReachesEveryControlAndCell();
    void patchIsPaintedBelowTheControls();
    void everyValueIsShownWhole();
    void pasteFillsFromTheCurrentCell_data();
    void pasteFillsFromTheCurrentCell();
    void pasteOfTextChangesNothing();
};

void TestCalibrateDialog::readingFillsTheCheckedColoursRowOnly()
{
    Rig rig;
    for (int r : {0, 2, 3}) {
        for (int c = 0; c < 3; ++c)
            rig.setCell("sensorTable", r, c, QStringLiteral("kept %1").arg(r));
    }
    const QStringList before = rig.texts("sensorTable");
    // Before a colour is chosen, readings reach no row.
    emit rig.measure.rawColorChanged(CColor(1.0, 2.0, 3.0));
    QCOMPARE(rig.texts("sensorTable"), before);

    rig.sensor->queueReading(CColor(12.345678, 0.5, 98.7654321));
    QTest::mouseClick(rig.colour("greenButton"), Qt::LeftButton);
    QVERIFY(rig.colour("greenButton")->isChecked());
    rig.button("measureButton")->click();
    QStringList read = before;
    read[3] = QStringLiteral("12.34568");
    read[4] = QStringLiteral("0.50000");
    read[5] = QStringLiteral("98.76543");
    QTRY_COMPARE_WITH_TIMEOUT(rig.texts("sensorTable"), read, 5000);
    QVERIFY(rig.messages.shown().isEmpty());

    // A failed reading leaves the row as it was.
    emit rig.measure.rawColorChanged(noDataColor);
    QCOMPARE(rig.texts("sensorTable"), read);
}

// The reading is taken on the instrument thread; the dialog stays usable
// meanwhile, but the colour cannot change under it.
void TestCalibrateDialog::readingGoesToTheColourChosenAtMeasure()
{
    Rig rig;
    rig.sensor->setColorDuration(200);
    rig.sensor->queueReading(CColor(4.0, 5.0, 6.0));
    QTest::mouseClick(rig.colour("blueButton"), Qt::LeftButton);
    const QStringList before = rig.texts("sensorTable");
    QSignalSpy finished(&rig.measure, &Measure::requestFinished);
    rig.button("measureButton")->click();
    QVERIFY(rig.measure.isInstrumentBusy());
    QVERIFY(!rig.button("measureButton")->isEnabled());
    for (const char* name : {"redButton", "greenButton", "blueButton", "whiteButton"})
        QVERIFY2(!rig.colour(name)->isEnabled(), name);
    QTest::mouseClick(rig.colour("redButton"), Qt::LeftButton);
    QVERIFY(rig.colour("blueButton")->isChecked());
    // Chosen by other means meanwhile: the reading still is blue's.
    rig.colour("redButton")->setChecked(true);

    QVERIFY(finished.wait(3000));
    QStringList read = before;
    read[6] = QStringLiteral("4.00000");
    read[7] = QStringLiteral("5.00000");
    read[8] = QStringLiteral("6.00000");
    QCOMPARE(rig.texts("sensorTable"), read);
    QVERIFY(rig.button("measureButton")->isEnabled());
    for (const char* name : {"redButton", "greenButton", "blueButton", "whiteButton"})
        QVERIFY2(rig.colour(name)->isEnabled(), name);
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestCalibrateDialog::refusedInputs_data()
{
    QTest::addColumn<Edits>("edits"); // made to tables filled with the patches
    QTest::addColumn<QString>("box");

    const QString invalid = QStringLiteral("Critical Error: Invalid value at %1 row %2col!");
    QTest::newRow("reference blue Z empty") << Edits{{"referenceTable", 2, 2, QString()}} << invalid.arg(3).arg(3);
    QTest::newRow("sensor white Y empty") << Edits{{"sensorTable", 3, 1, QString()}} << invalid.arg(4).arg(2);
    QTest::newRow("sensor red Y decimal comma") << Edits{{"sensorTable", 0, 1, "21,26"}} << invalid.arg(1).arg(2);
    QTest::newRow("reference white X a word") << Edits{{"referenceTable", 3, 0, "white"}} << invalid.arg(4).arg(1);

    const QString abnormal = QStringLiteral("Critical Error: Abnormal matrix!");
    // Primaries fine, but a white of zero makes the balanced sensor matrix singular.
    QTest::newRow("sensor white zero") << Edits{{"sensorTable", 3, 0, "0"}, {"sensorTable", 3, 1, "0"},
                                                {"sensorTable", 3, 2, "0"}}
                                       << abnormal;

    // Blue read as a mix of red and green, off by far less than any reading: the
    // determinant is not zero, but the primaries span no volume worth the name.
    // Were sensor and reference alike, the matrix itself would look harmless;
    // the command line refuses such primaries, and so does the dialog.
    const auto mixedBlue = [](const char* table) {
        Edits edits;
        for (int c = 0; c < 3; ++c) {
            const double mixed = 0.5 * kPatches[0][c] + 0.5 * kPatches[1][c] + (c == 2 ? 1e-9 : 0.0);
            edits << Edit{table, 2, c, QString::number(mixed, 'f', 12)};
        }
        return edits;
    };
    QTest::newRow("sensor blue nearly red and green") << mixedBlue("sensorTable") << abnormal;
    QTest::newRow("reference blue nearly red and green") << mixedBlue("referenceTable") << abnormal;

    // The white given a share of one primary more (or less) than the primaries
    // add up to: the matrix keeps white exact and misses that primary by the
    // share, weighed against the length of the reference white (1.8 times blue's).
    const auto white = [](const char* table, int primary, double share) {
        Edits edits;
        for (int c = 0; c < 3; ++c)
            edits << Edit{table, 3, c, QString::number(kPatches[3][c] + share * kPatches[primary][c], 'g', 17)};
        return edits;
    };
    const QString misses = QStringLiteral("Critical Error: The matrix does not bring %1 onto its reference value; "
                                          "check the sensor and reference values.");
    QTest::newRow("reference white with 25% more blue") << white("referenceTable", 2, 0.25) << misses.arg("Blue");
    // Next to no green in the sensor's white: entries around a billion.
    QTest::newRow("sensor white without its green") << white("sensorTable", 1, -(1.0 - 1e-9)) << misses.arg("Green");
}

// Refused, the calibrate matrix and what the dialog shows of it stay as they were.
void TestCalibrateDialog::refusedInputs()
{
    QFETCH(Edits, edits);
    QFETCH(QString, box);

    Rig rig;
    rig.fill(1.0);
    for (const Edit& edit : edits)
        rig.setCell(edit.table, edit.row, edit.col, edit.text);
    const QStringList shownBefore = rig.texts("matrixTable");
    rig.button("calibrateButton")->click();
    QCOMPARE(rig.messages.boxes(), QStringList{box});
    QVERIFY(rig.dialog->calibrateMatrix() == sampleMatrix());
    QCOMPARE(rig.texts("matrixTable"), shownBefore);
}

// The reference reads every patch as relation x sensor; the matrix found must
// be that relation, element for element. Not symmetric, so a matrix read,
// stored or shown transposed is caught.
void TestCalibrateDialog::computesTheMatrix()
{
    const double mixing[] = {1.05, 0.08, -0.02, -0.03, 0.97, 0.06, 0.01, -0.05, 1.12};
    const Matrix relation(mixing, 3, 3);
    Rig rig;
    Matrix reference(0.0, 4, 3);
    for (int r = 0; r < 4; ++r) {
        const Matrix patch = relation * CColor(kPatches[r][0], kPatches[r][1], kPatches[r][2]);
        for (int c = 0; c < 3; ++c) {
            rig.setCell("sensorTable", r, c, QString::number(kPatches[r][c], 'f', 4));
            reference(r, c) = patch(c, 0);
        }
    }
    // Typed with surrounding blanks, as a paste from elsewhere may bring.
    rig.setCell("sensorTable", 0, 0, QStringLiteral(" 41.24 "));
    // The reference values copied all at once.
    rig.paste("referenceTable", 0, 0, tabbed(reference));
    rig.button("calibrateButton")->click();
    QVERIFY2(rig.messages.shown().isEmpty(), qPrintable(rig.messages.shown().value(0).text));

    const Matrix computed = rig.dialog->calibrateMatrix();
    QVERIFY(computed.GetRows() == 3 && computed.GetColumns() == 3);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QString where = QStringLiteral("(%1, %2)").arg(r).arg(c);
            QVERIFY2(std::fabs(computed(r, c) - relation(r, c)) <= 1e-9, qPrintable(where));
            const QString shown = rig.cell("matrixTable", r, c);
            QVERIFY2(std::fabs(shown.toDouble() - relation(r, c)) <= 0.5e-5, qPrintable(where + " " + shown));
            // Five decimals, as every value the dialog shows.
            QCOMPARE(shown.section(QLatin1Char('.'), 1).size(), 5);
        }
    }
}

void TestCalibrateDialog::acceptedMatrixReachesTheController()
{
    RecordingMessenger messages;
    MainWindow window;
    window.controller()->setSensorFactory(&SensorTable::createForWindow);
    Measure* measure = window.controller();
    measure->SetMatrix(sampleMatrix());
    QSignalSpy changes(measure, &Measure::matrixChanged);
    // The dialog as the window opens it, edited, then left with OK or closed;
    // whether it was accepted.
    const auto calibrate = [&window](const Edits& edits, bool ok) {
        bool accepted = false;
        whenModal<CalibrateDialog>([&](CalibrateDialog* dialog) {
            for (const Edit& edit : edits) {
                auto* table = dialog->findChild<QTableWidget*>(QLatin1String(edit.table));
                table->item(edit.row, edit.col)->setText(edit.text);
            }
            if (ok)
                dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            else
                dialog->reject();
            accepted = dialog->result() == QDialog::Accepted;
        });
        window.doCalibrate();
        return accepted;
    };

    // A letter in the table: the dialog closes as accepted and the controller
    // keeps the matrix that was shown before the edit.
    QVERIFY(calibrate({{"matrixTable", 1, 1, "0.7x"}}, true));
    QVERIFY(measure->correctionMatrix() == sampleMatrix());

    // An edited number is adopted and handed over.
    changes.clear();
    QVERIFY(calibrate({{"matrixTable", 1, 1, "1.5"}, {"matrixTable", 2, 0, "-0.25"}}, true));
    Matrix expected = sampleMatrix();
    expected(1, 1) = 1.5;
    expected(2, 0) = -0.25;
    QVERIFY(measure->correctionMatrix() == expected);
    QCOMPARE(changes.size(), 1);

    // Closed without OK: the controller is not touched.
    changes.clear();
    QVERIFY(!calibrate({{"matrixTable", 0, 0, "9"}}, false));
    QCOMPARE(changes.size(), 0);
    QVERIFY(measure->correctionMatrix() == expected);
    QVERIFY(messages.shown().isEmpty());
}

// A keyboard user reaches every control with Tab, in the order the dialog
// shows them, left to right; no table keeps the focus to itself, from its last
// cell or any other. The colour choice is one stop, as for any group of
// exclusive buttons.
void TestCalibrateDialog::keyboardReachesEveryControlAndCell()
{
    Rig rig;
    rig.dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(rig.dialog.get()));
    const QWidgetList colours = {rig.colour("redButton"), rig.colour("greenButton"), rig.colour("blueButton"),
                                 rig.colour("whiteButton")};
    const QList<QWidgetList> stops = {{rig.table("sensorTable")},    colours,
                                      {rig.table("referenceTable")}, {rig.table("matrixTable")},
                                      {rig.button("measureButton")}, {rig.button("calibrateButton")},
                                      {rig.button("okButton")}};
    for (const QWidgetList& stop : stops) {
        for (const QWidget* widget : stop)
            QVERIFY(widget);
    }
    const auto name = [](const QWidget* w) { return w ? w->objectName() : QStringLiteral("(none)"); };

    // From the last cell of the first table onwards, and round to the start.
    rig.table("sensorTable")->setCurrentCell(3, 2);
    rig.table("sensorTable")->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), rig.table("sensorTable"));
    for (int step = 1; step <= stops.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* const focus = QApplication::focusWidget();
        const QWidgetList& stop = stops.at(step % stops.size());
        QVERIFY2(stop.contains(focus), qPrintable(QStringLiteral("Tab %1 went to %2, not %3")
                                                      .arg(step)
                                                      .arg(name(focus), name(stop.first()))));
    }
}

void TestCalibrateDialog::patchIsPaintedBelowTheControls()
{
    Rig rig;
    rig.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));
    QWidget* controls = rig.dialog->findChild<QWidget*>(QStringLiteral("container"));
    const int below = controls->geometry().bottom() + 20;
    QVERIFY(below < rig.dialog->height() - 20);
    const QList<QPoint> points = {QPoint(5, below), QPoint(rig.dialog->width() / 2, rig.dialog->height() / 2),
                                  QPoint(rig.dialog->width() - 5, rig.dialog->height() - 5)};
    const QList<QPair<const char*, QColor>> patches = {{"whiteButton", QColor(127, 127, 127)},
                                                       {"redButton", QColor(127, 0, 0)},
                                                       {"blueButton", QColor(0, 0, 127)}};

    // Nothing chosen, nothing painted.
    const QImage before = rig.dialog->grab().toImage();
    for (const auto& patch : patches) {
        for (const QPoint& p : points)
            QVERIFY(before.pixelColor(p) != patch.second);
    }
    for (const auto& patch : patches) {
        QTest::mouseClick(rig.colour(patch.first), Qt::LeftButton);
        const QImage after = rig.dialog->grab().toImage();
        for (const QPoint& p : points)
            QCOMPARE(after.pixelColor(p), patch.second);
        // The controls themselves stay unpainted.
        QVERIFY2(after.pixelColor(controls->geometry().center()) != patch.second, patch.first);
    }
}

// Within the dialog's fixed size, every cell of the three tables shows its
// widest value whole: no elision, no cut-off row, no scroll bar.
void TestCalibrateDialog::everyValueIsShownWhole()
{
    Rig rig;
    const QStringList widest = {QStringLiteral("100.00000"), QStringLiteral("-0.00012")};
    for (const char* name : {"sensorTable", "referenceTable", "matrixTable"}) {
        QTableWidget* table = rig.table(name);
        for (int r = 0; r < table->rowCount(); ++r) {
            for (int c = 0; c < table->columnCount(); ++c)
                table->item(r, c)->setText(widest[(r + c) % 2]);
        }
    }
    rig.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));

    QWidget* container = rig.dialog->findChild<QWidget*>(QStringLiteral("container"));
    QVERIFY(container->height() <= 172);
    QVERIFY(container->width() <= 895);
    const QList<QGroupBox*> groups = container->findChildren<QGroupBox*>();
    QCOMPARE(groups.size(), 4);
    for (const QGroupBox* group : groups) {
        QVERIFY2(container->rect().contains(group->geometry()), qPrintable(group->title()));
        QCOMPARE(group->y(), groups.first()->y());
    }

    for (const char* name : {"sensorTable", "referenceTable", "matrixTable"}) {
        QTableWidget* table = rig.table(name);
        const auto* group = qobject_cast<const QGroupBox*>(table->parentWidget());
        QVERIFY(group);
        QVERIFY2(group->contentsRect().contains(table->geometry()), name);
        // The delegate's margin on each side of the text.
        const int textMargin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
        for (int r = 0; r < table->rowCount(); ++r) {
            for (int c = 0; c < table->columnCount(); ++c) {
                const QString where = QStringLiteral("%1 (%2, %3)").arg(QLatin1String(name)).arg(r).arg(c);
                QCOMPARE(table->columnWidth(c), 80);
                const QTableWidgetItem* item = table->item(r, c);
                const QRect cell = table->visualItemRect(item);
                QVERIFY2(table->viewport()->rect().contains(cell), qPrintable(where));
                // The item's own font if it has one, else the table's.
                const QVariant itemFont = item->data(Qt::FontRole);
                const QFontMetrics metrics(itemFont.isValid() ? itemFont.value<QFont>() : table->font());
                QVERIFY2(metrics.horizontalAdvance(item->text()) + 2 * textMargin <= cell.width(), qPrintable(where));
                QVERIFY2(metrics.height() <= cell.height(), qPrintable(where));
            }
        }
    }

    // Measure, Calibrate and OK sit under the matrix.
    const QTableWidget* matrix = rig.table("matrixTable");
    for (const char* name : {"measureButton", "calibrateButton", "okButton"})
        QVERIFY2(rig.button(name)->y() >= matrix->geometry().bottom(), name);
}

void TestCalibrateDialog::pasteFillsFromTheCurrentCell_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("expected"); // reference table, row by row, "-" unchanged

    QTest::newRow("commas with blanks, one row") << " 1.5 , 2.25 " << "- - - - 1.5 2.25 - - - - - -";
    // Rows of four from cell (1, 1): what falls past the table's right and
    // bottom edges is dropped.
    QTest::newRow("block clipped at the edges") << "1\t2\t3\n4\t5\t6\n7\t8\t9\n10\t11\t12\n"
                                                << "- - - - 1 2 - 4 5 - 7 8";
}

void TestCalibrateDialog::pasteFillsFromTheCurrentCell()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, expected);
    Rig rig;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            rig.setCell("referenceTable", r, c, QStringLiteral("-"));
    }
    rig.paste("referenceTable", 1, 1, clipboard);
    QCOMPARE(rig.texts("referenceTable"), expected.split(QLatin1Char(' ')));
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestCalibrateDialog::pasteOfTextChangesNothing()
{
    Rig rig;
    rig.fill(1.0);
    const QStringList before = rig.texts("sensorTable");
    // A header line copied with the numbers, "nan", an empty field: the whole
    // paste is refused, not half taken.
    for (const QString& text : {QStringLiteral("X\tY\tZ\n1\t2\t3"), QStringLiteral("7\tnan\t1"),
                                QStringLiteral("1.5\t\t3")}) {
        rig.paste("sensorTable", 0, 0, text);
        QCOMPARE(rig.texts("sensorTable"), before);
    }
    const QList<RecordingMessenger::Shown> shown = rig.messages.shown();
    QCOMPARE(shown.size(), 3);
    QVERIFY(shown.at(0).text.contains(QStringLiteral("\"X\"")));
    QVERIFY(shown.at(1).text.contains(QStringLiteral("\"nan\"")));
}

LUMASERVE_UI_TEST_MAIN(TestCalibrateDialog)

#include "tst_calibratedialog.moc"
