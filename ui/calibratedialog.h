#ifndef CALIBRATEDIALOG_H
#define CALIBRATEDIALOG_H

#include "ccolor.h"
#include "matrix.h"
#include "measure.h"

#include <QDialog>

class QPushButton;
class QRadioButton;
class QTableWidget;
class QWidget;

// Computes a correction matrix for the connected sensor from red, green, blue
// and white: the sensor's raw readings of the four patches against the values
// a reference instrument gave for them. The area below the controls shows the
// chosen patch at half level, for the sensor to read.
class CalibrateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CalibrateDialog(Measure* measure, QWidget* parent = nullptr);
    ~CalibrateDialog() override;

    // The controller's matrix at first; replaced by Calibrate and by OK.
    const Matrix& calibrateMatrix() const { return matrix; }

public slots:
    void doMeasure();
    void doCalibrate();
    void doChangeColor();
    void updateColor(CColor raw);
    void accept() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The table row of the checked colour (red 0 ... white 3), or -1.
    int checkedRow() const;
    void updateCalibrateMatrix();
    void showError(const QString& text);
    // The reading asked for has answered (or was refused or cancelled).
    void readingAnswered(Measure::Request request, Measure::RequestResult result);
    // Colour choice and Measure are off while a reading is pending.
    void setChoiceEnabled(bool on);

    QWidget* container = nullptr;
    QTableWidget* sensorTable = nullptr;
    QTableWidget* referenceTable = nullptr;
    QTableWidget* matrixTable = nullptr;
    QRadioButton* redButton = nullptr;
    QRadioButton* greenButton = nullptr;
    QRadioButton* blueButton = nullptr;
    QRadioButton* whiteButton = nullptr;
    QPushButton* measureButton = nullptr;
    Measure* measure = nullptr;
    Matrix matrix;
    // The row of the colour chosen when Measure was pressed, while its
    // reading is pending; -1 otherwise.
    int measuringRow = -1;
};

#endif // CALIBRATEDIALOG_H
