#ifndef SENSORMATCHINGDIALOG_H
#define SENSORMATCHINGDIALOG_H

#include "matchinginstrument.h"
#include "matchingpatch.h"
#include "matchingrun.h"
#include "matchingsession.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class ChromaticityView;
class Measure;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QSpinBox;
class QTableWidget;
class PatchSource;
class RequestedPatchSource;
class ScreenPatchWindow;

// Sensor matching in the window: the sensor under correction and a reference
// instrument, each on a port of its own, read the same patches; the dialog
// shows both instruments' state, each patch's progress and, once the training
// patches are read, how every correction method does. The session file is
// kept in the output directory while the run goes on, the certificate when it
// ends; the recommended matrix can be saved as a profile or written to the
// sensor's memory.
class SensorMatchingDialog : public QDialog
{
    Q_OBJECT

public:
    // Makes the instrument of a type on a port (empty for one reached without).
    using InstrumentFactory = std::function<std::unique_ptr<MatchingInstrument>(int type, QString port)>;

    enum class PatchSourceKind { Screen, Command, Operator };

    explicit SensorMatchingDialog(Measure* measure, QWidget* parent = nullptr);
    ~SensorMatchingDialog() override;

    // The instruments' maker; the program's drivers until another is set.
    void setInstrumentFactory(InstrumentFactory factory);

    bool isRunning() const;
    // The run in progress or the last one; null before the first start.
    const MatchingRun* run() const { return m_run.get(); }
    // The window painting the patches while the screen shows them; null otherwise.
    ScreenPatchWindow* patchWindow() const { return m_patchWindow.get(); }

    // The types offered for both instruments: every type with a driver.
    static std::vector<int> offeredTypes();
    // Whether the type's driver keeps correction matrices in the instrument:
    // only then is writing the result there offered.
    static bool keepsMatrices(int type);

public slots:
    void start();
    void cancel();
    void saveProfile();
    void reject() override;

signals:
    // The run has ended and the dialog shows what came of it.
    void runFinished(MatchingRun::Outcome outcome);

private:
    struct InstrumentControls {
        QComboBox* type = nullptr;
        QComboBox* port = nullptr;
        QLabel* state = nullptr;
    };

    InstrumentControls makeInstrumentGroup(const QString& title, const QString& prefix, QWidget** group);
    int chosenType(const InstrumentControls& controls) const;
    QString chosenPort(const InstrumentControls& controls) const;
    void typeChosen();
    void sourceChosen();
    // Why the choices cannot be run; empty when they can.
    QString refusal() const;
    bool loadPatches(std::vector<MatchingPatch>* patches);
    void fillPatchTable(const std::vector<MatchingPatch>& patches);
    void setRunning(bool running);

    void showInstrumentState(MatchingSession::Role role, MatchingRun::InstrumentState state, const QString& text);
    void showPatchStarted(int index);
    void showReadingTaken(int index, int sensorAccepted, int referenceAccepted, int taken);
    void showPatchFinished(int index);
    void showCertificate();
    // The errors of the method chosen in the method table, or of the
    // recommended one, on the diagram.
    void showMethodDiagram();
    void runEnded(MatchingRun::Outcome outcome, const QString& error);
    void askOperator(const MatchingPatch& patch);
    void closePrompt();
    void setProgress(int row, const QString& text);

    Measure* m_measure = nullptr;
    InstrumentFactory m_factory;

    InstrumentControls m_sensor;
    InstrumentControls m_reference;
    QComboBox* m_sourceCombo = nullptr;
    QComboBox* m_screenCombo = nullptr;
    QLineEdit* m_commandEdit = nullptr;
    QDoubleSpinBox* m_settleSpin = nullptr;
    QSpinBox* m_repeatsSpin = nullptr;
    QDoubleSpinBox* m_toleranceSpin = nullptr;
    QLineEdit* m_patchFileEdit = nullptr;
    QPushButton* m_patchFileButton = nullptr;
    QLineEdit* m_outputEdit = nullptr;
    QPushButton* m_outputButton = nullptr;
    QCheckBox* m_memoryCheck = nullptr;
    QSpinBox* m_memorySpin = nullptr;
    QTableWidget* m_patchTable = nullptr;
    QTableWidget* m_methodTable = nullptr;
    QLabel* m_resultLabel = nullptr;
    QLabel* m_diagramLabel = nullptr;
    ChromaticityView* m_diagram = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QList<QWidget*> m_settings;

    // Declared before the run: the run uses them and goes first. The
    // requested source is the same object as the source, when it is one.
    std::unique_ptr<PatchSource> m_source;
    RequestedPatchSource* m_requested = nullptr;
    std::unique_ptr<ScreenPatchWindow> m_patchWindow;
    std::unique_ptr<MatchingRun> m_run;
    QPointer<QMessageBox> m_prompt;
    QString m_outputDir;
    int m_runSensorType = 0;
    int m_currentPatch = -1;
    bool m_memoryAsked = false;
    // Closing was asked for while the run went on: closed once it has ended.
    bool m_closeWhenEnded = false;
};

#endif // SENSORMATCHINGDIALOG_H
