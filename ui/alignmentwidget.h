#ifndef ALIGNMENTWIDGET_H
#define ALIGNMENTWIDGET_H

#include "matrix.h"
#include "measure.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The central panel: the user picks the sensor type, the sensor's port, a
// profile and the monitor's port here; it shows the correction matrix and
// whether sensor, monitor and alignment are on.
class AlignmentWidget : public QWidget
{
    Q_OBJECT

public:
    explicit AlignmentWidget(Measure* measure, QWidget* parent = nullptr);

    // Lists the serial ports again; the port boxes are refilled by doPortscan().
    void getPort();
    // Lets go of the instruments, lists the ports again and refills the port
    // boxes; false, with nothing changed, when the instruments are busy.
    bool doPortscan();
    // Lists the profiles of the current working directory.
    void initProfileCombox();
    // Reads a profile and applies it to the sensor whose serial number it holds.
    void openProfile(QString fileName);

    // A group of the window's own, placed below the monitor's.
    void addBox(QWidget* box);

    QStringList ports() const { return portList; }
    QString pendingProfileSerial() const { return profileSerial; }

signals:
    // The controller took the matrix of the profile read from fileName.
    void profileApplied(QString fileName);
    void sensorPortChanged(int index);
    void monitorPortChanged(int index);
    void sensorClicked();

public slots:
    void sensorTypeChanged(QString type);
    void matrixChanged(Matrix m);
    void doSensorPortChanged(int index);
    void doMonitorPortChanged(int index);
    void doSensorConnected(bool on);
    void doMonitorConnected(bool on);
    void doAlignmentChanged(bool on);
    void doSensorHasCom(bool on);
    void doTypeChang(int type);
    void doPortChang(int index);
    void doMonPortChg(int index);
    void doProfileChang(QString name);
    void doSensorClick();
    void doMonPortUpdate();
    void doSenPortUpdate();

private:
    // Refuses a change while the alignment service may use the instruments and
    // selects the remembered entry again.
    bool refuseWhileAligning(QComboBox* combo, int lastIndex);
    // Refuses a port the other device uses already, with the message given,
    // and selects the remembered entry again; false when shared is false.
    bool refuseSharedPort(QComboBox* combo, int lastIndex, bool shared, const QString& title,
                          const QString& text);
    void redrawMatrix();
    // Answers the panel's own requests to the instruments.
    void requestAnswered(Measure::Request request, Measure::RequestResult result);
    // Lets go of the sensor, the monitor or both without waiting for them;
    // false (the box shown by the controller) while they are busy.
    bool releaseInstruments(bool sensorToo, bool monitorToo);
    // Selects lastIndex again without taking it as a new choice.
    static void restoreChoice(QComboBox* combo, int lastIndex);
    void resetProfileList();
    bool sensorIsOpen() const;

    QComboBox* typeCombo = nullptr;
    int lastTypeIndex = 0;
    int lastMonitorPortIndex = 0;
    int lastSensorPortIndex = 0;
    int lastProfileIndex = 0;
    QComboBox* sensorPortCombo = nullptr;
    QComboBox* profileCombo = nullptr;
    QComboBox* monitorPortCombo = nullptr;
    QLabel* monitorIcon = nullptr;
    QPushButton* sensorButton = nullptr;
    QLabel* matrixIcon = nullptr;
    QStringList portList;
    QTableWidget* matrixTable = nullptr;
    Measure* measure = nullptr;
    QString profileSerial;
    // Which choice the pending sensor connect answers, and the type it opens.
    enum class SensorChoice { None, Type, Port };
    SensorChoice sensorChoice = SensorChoice::None;
    int choiceType = 0;
    bool monitorChoice = false;
    // A profile opened with a type that connects at once finishes once the
    // sensor has answered.
    std::function<void()> afterSensorChoice;
};

#endif // ALIGNMENTWIDGET_H
