#ifndef SENSORDLG_H
#define SENSORDLG_H

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class CSensor;
class CrModes;
class MatrixStore;
class Measure;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QTableWidget;
class QVBoxLayout;
class QWidget;

// Shows what the connected instrument is and works with what it keeps in its
// own memory: the calibration matrices of an i1Display Pro or a K-10, and the
// modes of a CR-100 or CR-250, each applied as soon as the user changes it.
// The same matrix table also reads and replaces the controller's matrix.
//
// What talks to the instrument runs as a job on the controller's instrument
// thread, with the inputs copied; its result is shown when it answers, and a
// cancelled one changes nothing shown. Meanwhile the instrument's controls are
// off and the dialog's wait bar offers Cancel.
class SensorDlg : public QDialog
{
    Q_OBJECT

public:
    // sensor must not be null; neither it nor the controller is owned.
    SensorDlg(CSensor* sensor, Measure* controller, QWidget* parent = nullptr);
    ~SensorDlg() override;

public slots:
    void doChgCalibMode(int mode);
    void doChgCalibValue(int index);
    void doChgSyncMode(int mode);
    void doChgSyncFreq(const QString& text);
    void doChgSpeedMode(int mode);
    void doCalScan();
    void doCalRead();
    void doCalWrite();
    void doCalDel();
    void doCurRead();
    void doCurWrite();

private:
    void buildCalibrationGroup(QVBoxLayout* layout);
    void buildCrSelectors(QGridLayout* grid);
    // The instrument's stored matrices, or null.
    MatrixStore* store() const { return i1d3 ? i1d3 : k10; }
    // Reads the driver's list on the instrument thread and shows it; after a
    // write or a delete (keepWhenEmpty) an empty list leaves the one shown.
    void scanList(bool keepWhenEmpty);
    // Sends a CR mode change; a change of the frequency typed while the
    // instrument is busy is sent once it is free.
    void sendCrChange(std::function<void()> change);
    void sendHeldFrequency();
    // The instrument's controls are off while a job for the sensor is pending.
    void updateInstrumentControls();
    // Commits an edit still open in the matrix table before its texts are read.
    void commitPendingEdit(int row, int col);
    void showError(const QString& text);

    CSensor* sensor = nullptr;
    // What the sensor hands out for the instrument its name says it is; at
    // most one is set.
    MatrixStore* i1d3 = nullptr;
    MatrixStore* k10 = nullptr;
    CrModes* cr = nullptr;

    QLineEdit* serialEdit = nullptr;
    QLineEdit* firmwareEdit = nullptr;
    QLineEdit* portEdit = nullptr;
    QComboBox* storageBox = nullptr;
    QComboBox* syncModeBox = nullptr;
    QLineEdit* freqEdit = nullptr;
    QComboBox* calibModeBox = nullptr;
    QComboBox* calibValueBox = nullptr;
    QComboBox* speedBox = nullptr;
    QComboBox* fileListBox = nullptr;
    QLineEdit* matrixNameEdit = nullptr;
    QLineEdit* matrixIndexEdit = nullptr;
    QTableWidget* matrixTable = nullptr;
    Measure* controller = nullptr;
    // What is turned off while the instrument is busy.
    QList<QWidget*> instrumentControls;
    // The last frequency typed while the instrument was busy.
    std::optional<int> heldFrequency;
};

#endif // SENSORDLG_H
