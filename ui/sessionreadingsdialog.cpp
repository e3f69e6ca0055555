#include "sessionreadingsdialog.h"

#include "linerecorder.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

SessionReadingsDialog::SessionReadingsDialog(LineRecorder* recorder, const SessionRecord& session, QWidget* parent)
    : QDialog(parent)
    , m_recorder(recorder)
    , m_session(session)
{
    setObjectName(QStringLiteral("sessionReadingsDialog"));
    setModal(false);
    const QString started = session.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    setWindowTitle(session.unit.isEmpty() ? tr("Requests of the session of %1").arg(started)
                                          : tr("Requests of unit %1 (%2)").arg(session.unit, started));

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("readingsTable"));
    m_table->setHorizontalHeaderLabels(
        {tr("Time"), tr("Request"), tr("Reply"), tr("Raw X"), tr("Raw Y"), tr("Raw Z"), tr("X"), tr("Y"), tr("Z")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_status = new QLabel(tr("Reading the records..."), this);
    m_status->setObjectName(QStringLiteral("readingsStatusLabel"));
    m_status->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(860, 420);

    if (m_recorder) {
        connect(m_recorder, &LineRecorder::readingsFound, this, &SessionReadingsDialog::takeReadings);
        m_ticket = m_recorder->findReadings(session.id, session.pending);
    }
}

void SessionReadingsDialog::takeReadings(int ticket, const QVector<SessionRecord::Reading>& readings,
                                         const QString& error)
{
    if (ticket != m_ticket)
        return;
    if (!error.isEmpty()) {
        m_status->setText(tr("The requests cannot be read: %1").arg(error));
        emit readingsShown();
        return;
    }
    const auto xyzCells = [](const std::optional<SessionRecord::Xyz>& xyz) {
        if (!xyz)
            return QStringList{QString(), QString(), QString()};
        return QStringList{QString::number(xyz->x, 'f', 4), QString::number(xyz->y, 'f', 4),
                           QString::number(xyz->z, 'f', 4)};
    };
    m_table->setRowCount(readings.size());
    for (int row = 0; row < readings.size(); ++row) {
        const SessionRecord::Reading& r = readings[row];
        const QStringList cells
            = QStringList{r.time.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")), r.request, r.reply}
            + xyzCells(r.raw) + xyzCells(r.corrected);
        for (int column = 0; column < ColumnCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column >= RawX)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
    }
    m_status->setText(tr("Requests: %1").arg(readings.size()));
    emit readingsShown();
}
