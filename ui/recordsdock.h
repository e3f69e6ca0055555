#ifndef RECORDSDOCK_H
#define RECORDSDOCK_H

#include "recordexport.h"
#include "recordstore.h"
#include "sessionrecord.h"

#include <QColor>
#include <QDockWidget>
#include <QHash>
#include <QPointer>
#include <QVector>

class LineRecorder;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The "Records" dock: the station's sessions of one day, newest first, each
// row coloured by its verdict, narrowed by unit and verdict. It asks the
// recorder again whenever a filter changes and whenever a session begins or is
// kept. A double click shows a session's requests; Export writes the selected
// sessions (all shown when none is selected) with their requests to CSV or
// JSON.
class RecordsDock : public QDockWidget
{
    Q_OBJECT

public:
    enum Column { Started, Unit, Sensor, Verdict, WhiteX, WhiteY, WhiteLv, Requests, ColumnCount };

    explicit RecordsDock(LineRecorder* recorder, QWidget* parent = nullptr);

    // The background of a row with this verdict; invalid for an open session.
    static QColor verdictColor(const QString& verdict);
    // The verdict as the window says it.
    static QString verdictText(const SessionRecord& session);

    RecordStore::Filter filter() const;
    const QVector<SessionRecord>& sessions() const { return m_sessions; }
    QTableWidget* table() const { return m_table; }

signals:
    // The table shows the answer to the latest question.
    void sessionsShown();
    // An export ended: written to fileName, or not (the user was told why).
    void exportFinished(QString fileName, bool written);

public slots:
    void refresh();
    void exportSessions();
    // Opens the requests of the session on this row in a window of their own.
    void showReadings(int row);

private:
    // A session began: asked again, on today if the dock showed today.
    void followToday();
    void takeSessions(int ticket, const QVector<SessionRecord>& sessions, const QString& error);
    void takeReadings(int ticket, const QVector<SessionRecord::Reading>& readings, const QString& error);
    void finishExport();
    void showSessions();

    QPointer<LineRecorder> m_recorder;
    QLineEdit* m_unitEdit = nullptr;
    QComboBox* m_verdictCombo = nullptr;
    QDateEdit* m_dateEdit = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_exportButton = nullptr;
    QVector<SessionRecord> m_sessions;
    int m_ticket = 0;
    bool m_followsToday = true;

    // The export under way: its file, its sessions in the order written and
    // the questions for their requests still unanswered.
    struct Export {
        QString fileName;
        bool json = false;
        QVector<RecordExport::Entry> entries;
        QHash<int, int> waiting; // ticket -> entry
        QString error;
    };
    Export m_export;
};

#endif // RECORDSDOCK_H
