#ifndef SESSIONREADINGSDIALOG_H
#define SESSIONREADINGSDIALOG_H

#include "sessionrecord.h"

#include <QDialog>
#include <QPointer>

class LineRecorder;
class QLabel;
class QTableWidget;

// Every request of one session as the display made it, with the reply it was
// sent and what the sensor read, raw and corrected. Not modal: the line goes
// on while it is read. The requests are asked of the recorder when it opens.
class SessionReadingsDialog : public QDialog
{
    Q_OBJECT

public:
    enum Column { Time, Request, Reply, RawX, RawY, RawZ, X, Y, Z, ColumnCount };

    SessionReadingsDialog(LineRecorder* recorder, const SessionRecord& session, QWidget* parent = nullptr);

    const SessionRecord& session() const { return m_session; }
    QTableWidget* table() const { return m_table; }

signals:
    // The table holds the session's requests, or the error says why not.
    void readingsShown();

private:
    void takeReadings(int ticket, const QVector<SessionRecord::Reading>& readings, const QString& error);

    QPointer<LineRecorder> m_recorder;
    const SessionRecord m_session;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    int m_ticket = 0;
};

#endif // SESSIONREADINGSDIALOG_H
