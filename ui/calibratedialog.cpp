#include "calibratedialog.h"

#include "correctionmatrix.h"
#include "instrumentwaitbar.h"
#include "matrixcheck.h"
#include "measure.h"
#include "messenger.h"
#include "plainnumber.h"
#include "tablepaste.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <iterator>

namespace {

constexpr int kColumnWidth = 80;
// The patch is shown at half level so the sensor reads it within its range.
constexpr int kHalfLevel = 127;
// Narrow group margins: three tables of three whole columns and the colour
// choice share the dialog's fixed width.
constexpr int kGroupMargin = 4;

// The widest values the cells show: five decimals of a reading up to 999 and
// a small negative matrix coefficient.
const char* const kWidestValues[] = {"100.00000", "-0.00012"};

// The cell font: the table's own, made smaller until every value fits a column
// whole, so nothing is elided within the dialog's fixed width.
QFont cellFont(const QTableWidget* table)
{
    // The item delegate keeps a focus-frame margin plus one pixel on each
    // side of the text, and the grid line takes the last pixel of the column.
    const int textMargin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
    const int room = kColumnWidth - 1 - 2 * textMargin;
    QFont font = table->font();
    const auto fits = [room](const QFont& f) {
        const QFontMetrics metrics(f);
        for (const char* value : kWidestValues) {
            if (metrics.horizontalAdvance(QLatin1String(value)) > room)
                return false;
        }
        return true;
    };
    if (font.pointSizeF() > 0) {
        while (!fits(font) && font.pointSizeF() > 5.0)
            font.setPointSizeF(font.pointSizeF() - 0.5);
    } else {
        while (!fits(font) && font.pixelSize() > 7)
            font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

QTableWidget* makeTable(int rows, int cols, const QString& objectName, QWidget* parent)
{
    auto* table = new QTableWidget(rows, cols, parent);
    table->setObjectName(objectName);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->setFont(cellFont(table));
    // Rows as high as the text plus the grid line, so every row is in view
    // within the dialog's fixed height without scroll bars taking the room of
    // a column.
    const int rowHeight = table->fontMetrics().height() + 3;
    table->verticalHeader()->setMinimumSectionSize(rowHeight);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes on to the next control, the arrows move between the cells: a
    // table that kept Tab for its cells would keep the keyboard in it for good.
    table->setTabKeyNavigation(false);
    table->setTextElideMode(Qt::ElideNone);
    table->setWordWrap(false);
    // Exactly the cells, neither squeezed by the layout nor stretched into an
    // empty fourth column.
    const int frame = 2 * table->frameWidth();
    table->setFixedSize(cols * kColumnWidth + frame, rows * rowHeight + frame);
    return table;
}

void fillWithEmptyItems(QTableWidget* table)
{
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < table->columnCount(); ++c)
            table->setItem(r, c, new QTableWidgetItem(QString()));
    }
    for (int c = 0; c < 3; ++c)
        table->setColumnWidth(c, kColumnWidth);
}

QString fixed5(double value)
{
    return QString::number(value, 'f', 5);
}

bool readCell(const QTableWidget* table, int row, int col, double* value)
{
    const QTableWidgetItem* item = table->item(row, col);
    return item && parsePlainDouble(item->text(), value);
}

} // namespace

CalibrateDialog::CalibrateDialog(Measure* measure_, QWidget* parent)
    : QDialog(parent)
    , measure(measure_)
    , matrix(measure_->correctionMatrix())
{
    container = new QWidget(this);
    container->setObjectName(QStringLiteral("container"));

    auto* sensorGroup = new QGroupBox(tr("Sensor value:"), container);
    sensorTable = makeTable(4, 3, QStringLiteral("sensorTable"), sensorGroup);
    auto* sensorLayout = new QVBoxLayout(sensorGroup);
    sensorLayout->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    sensorLayout->addWidget(sensorTable);

    auto* referenceGroup = new QGroupBox(tr("Reference value:"), container);
    referenceTable = makeTable(4, 3, QStringLiteral("referenceTable"), referenceGroup);
    auto* referenceLayout = new QVBoxLayout(referenceGroup);
    referenceLayout->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    referenceLayout->addWidget(referenceTable);

    auto* colorGroup = new QGroupBox(tr("Color:"), container);
    redButton = new QRadioButton(tr("Red"), colorGroup);
    redButton->setObjectName(QStringLiteral("redButton"));
    greenButton = new QRadioButton(tr("Green"), colorGroup);
    greenButton->setObjectName(QStringLiteral("greenButton"));
    blueButton = new QRadioButton(tr("Blue"), colorGroup);
    blueButton->setObjectName(QStringLiteral("blueButton"));
    whiteButton = new QRadioButton(tr("White"), colorGroup);
    whiteButton->setObjectName(QStringLiteral("whiteButton"));
    auto* colorLayout = new QVBoxLayout(colorGroup);
    colorLayout->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    for (QRadioButton* button : {redButton, greenButton, blueButton, whiteButton}) {
        connect(button, &QRadioButton::clicked, this, &CalibrateDialog::doChangeColor);
        colorLayout->addWidget(button);
    }

    auto* matrixGroup = new QGroupBox(tr("Calibrate matrix:"), container);
    matrixTable = makeTable(3, 3, QStringLiteral("matrixTable"), matrixGroup);
    measureButton = new QPushButton(tr("Measure"), matrixGroup);
    measureButton->setObjectName(QStringLiteral("measureButton"));
    connect(measureButton, &QPushButton::clicked, this, &CalibrateDialog::doMeasure);
    auto* calibrateButton = new QPushButton(tr("Calibrate"), matrixGroup);
    calibrateButton->setObjectName(QStringLiteral("calibrateButton"));
    connect(calibrateButton, &QPushButton::clicked, this, &CalibrateDialog::doCalibrate);
    auto* okButton = new QPushButton(tr("OK"), matrixGroup);
    okButton->setObjectName(QStringLiteral("okButton"));
    connect(okButton, &QPushButton::clicked, this, &CalibrateDialog::accept);
    auto* matrixLayout = new QGridLayout(matrixGroup);
    matrixLayout->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    matrixLayout->addWidget(matrixTable, 0, 0, 3, 3);
    matrixLayout->addWidget(measureButton, 3, 0);
    matrixLayout->addWidget(calibrateButton, 3, 1);
    matrixLayout->addWidget(okButton, 3, 2);

    auto* row = new QHBoxLayout;
    row->addWidget(sensorGroup);
    row->addWidget(colorGroup);
    row->addWidget(referenceGroup);
    row->addWidget(matrixGroup);

    for (QTableWidget* table : {sensorTable, referenceTable, matrixTable}) {
        fillWithEmptyItems(table);
        TablePaste::install(table);
    }

    // Tab follows the groups as they are shown, left to right.
    QWidget* const tabOrder[] = {sensorTable,    redButton,   greenButton,    blueButton,      whiteButton,
                                 referenceTable, matrixTable, measureButton, calibrateButton, okButton};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    container->setLayout(row);
    container->setMaximumHeight(172);
    container->setMaximumWidth(895);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(container, 4);
    layout->addStretch();
    // The main window's Cancel is out of reach while this dialog is open.
    layout->addWidget(new InstrumentWaitBar(measure, this));

    // Modal to the window that opened it, not to the whole program: another
    // window the reference values are copied from stays usable meanwhile.
    setWindowModality(Qt::WindowModal);
    resize(920, 700);
    updateCalibrateMatrix();
    connect(measure, &Measure::rawColorChanged, this, &CalibrateDialog::updateColor);
    connect(measure, &Measure::requestFinished, this, &CalibrateDialog::readingAnswered);
}

CalibrateDialog::~CalibrateDialog() = default;

int CalibrateDialog::checkedRow() const
{
    const QRadioButton* buttons[] = {redButton, greenButton, blueButton, whiteButton};
    for (int row = 0; row < 4; ++row) {
        if (buttons[row]->isChecked())
            return row;
    }
    return -1;
}

void CalibrateDialog::doMeasure()
{
    // The raw reading comes back through rawColorChanged, on the instrument
    // thread's answer; it belongs to the colour shown now.
    const int row = checkedRow();
    if (!measure->requestSingleMeasure())
        return;
    measuringRow = row;
    setChoiceEnabled(false);
}

void CalibrateDialog::readingAnswered(Measure::Request request, Measure::RequestResult result)
{
    Q_UNUSED(result)
    // The reading itself came before the answer.
    if (request != Measure::Request::SingleMeasure || measureButton->isEnabled())
        return;
    measuringRow = -1;
    setChoiceEnabled(true);
}

void CalibrateDialog::setChoiceEnabled(bool on)
{
    for (QRadioButton* button : {redButton, greenButton, blueButton, whiteButton})
        button->setEnabled(on);
    measureButton->setEnabled(on);
}

void CalibrateDialog::doChangeColor()
{
    update();
}

void CalibrateDialog::updateColor(CColor raw)
{
    const int row = measuringRow >= 0 ? measuringRow : checkedRow();
    // A failed reading leaves what was measured before.
    if (row < 0 || raw.IsNoData())
        return;
    for (int c = 0; c < 3; ++c)
        sensorTable->item(row, c)->setText(fixed5(raw[c]));
}

void CalibrateDialog::updateCalibrateMatrix()
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            matrixTable->item(r, c)->setText(fixed5(matrix(r, c)));
    }
}

void CalibrateDialog::showError(const QString& text)
{
    Messenger::critical(this, tr("Error"), text);
}

void CalibrateDialog::doCalibrate()
{
    Matrix sensor(0.0, 3, 3);
    Matrix reference(0.0, 3, 3);
    CColor sensorWhite(1.0, 1.0, 1.0);
    CColor referenceWhite(1.0, 1.0, 1.0);

    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double value = 0.0;
            if (!readCell(sensorTable, i, j, &value)) {
                showError(tr("Invalid value at %1 row %2col!").arg(i + 1).arg(j + 1));
                return;
            }
            sensor(j, i) = value;
            if (!readCell(referenceTable, i, j, &value)) {
                showError(tr("Invalid value at %1 row %2col!").arg(i + 1).arg(j + 1));
                return;
            }
            reference(j, i) = value;
        }
        if (!readCell(sensorTable, 3, i, &sensorWhite[i])
            || !readCell(referenceTable, 3, i, &referenceWhite[i])) {
            showError(tr("Invalid value at 4 row %1col!").arg(i + 1));
            return;
        }
    }

    CColor measured[CorrectionMatrix::kPatchCount];
    CColor target[CorrectionMatrix::kPatchCount];
    for (int row = 0; row < 3; ++row) {
        measured[row] = CColor(sensor(0, row), sensor(1, row), sensor(2, row));
        target[row] = CColor(reference(0, row), reference(1, row), reference(2, row));
    }
    measured[CorrectionMatrix::White] = sensorWhite;
    target[CorrectionMatrix::White] = referenceWhite;

    // A singular sensor matrix (a failed reading of 0, 0, 0 taken as a primary)
    // cannot be inverted: the result would be infinities or NaN that corrupt
    // every later reading and every reply to the display. The command line
    // refuses the same readings.
    if (CorrectionMatrix::isSingular(reference) || CorrectionMatrix::isSingular(sensor)) {
        showError(tr("Abnormal matrix!"));
        return;
    }
    const Matrix computed = CorrectionMatrix::compute(measured, target);
    if (!MatrixCheck::isFinite(computed)) {
        showError(tr("Abnormal matrix!"));
        return;
    }
    if (const int row = MatrixCheck::poorFit(computed, measured, target); row >= 0) {
        const QString colours[] = {tr("Red"), tr("Green"), tr("Blue"), tr("White")};
        showError(tr("The matrix does not bring %1 onto its reference value; check the sensor and reference values.")
                      .arg(colours[row]));
        return;
    }
    if (!MatrixCheck::isUsable(computed)) {
        showError(tr("Abnormal matrix!"));
        return;
    }
    matrix = computed;
    updateCalibrateMatrix();
}

void CalibrateDialog::accept()
{
    Matrix typed(0.0, 3, 3);
    bool complete = true;
    for (int r = 0; r < 3 && complete; ++r) {
        for (int c = 0; c < 3 && complete; ++c)
            complete = readCell(matrixTable, r, c, &typed(r, c));
    }
    if (complete)
        matrix = typed;
    QDialog::accept();
}

void CalibrateDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    const int row = checkedRow();
    if (row < 0)
        return;
    static const QColor patches[] = {QColor(kHalfLevel, 0, 0), QColor(0, kHalfLevel, 0),
                                     QColor(0, 0, kHalfLevel),
                                     QColor(kHalfLevel, kHalfLevel, kHalfLevel)};
    const int top = container->geometry().bottom() + 1 + 8;
    QPainter painter(this);
    painter.fillRect(QRect(0, top, width(), height() - top), patches[row]);
}
