#include "recordsdock.h"

#include "dialogprovider.h"
#include "linerecorder.h"
#include "messenger.h"
#include "plainfile.h"
#include "sessionreadingsdialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString number(double value, int decimals)
{
    // A decimal point, as everywhere else in the window's figures.
    return QString::number(value, 'f', decimals);
}

} // namespace

RecordsDock::RecordsDock(LineRecorder* recorder, QWidget* parent)
    : QDockWidget(parent)
    , m_recorder(recorder)
{
    setWindowTitle(tr("Records"));
    setObjectName(QStringLiteral("recordsDock"));

    auto* content = new QWidget(this);
    m_unitEdit = new QLineEdit(content);
    m_unitEdit->setObjectName(QStringLiteral("unitFilterEdit"));
    m_unitEdit->setPlaceholderText(tr("every unit"));
    m_verdictCombo = new QComboBox(content);
    m_verdictCombo->setObjectName(QStringLiteral("verdictFilterCombo"));
    m_verdictCombo->addItem(tr("All"), QString());
    for (const QString& verdict : {SessionRecord::pass(), SessionRecord::fail(), SessionRecord::incomplete()}) {
        SessionRecord judged;
        judged.ended = QDateTime::currentDateTimeUtc();
        judged.verdict = verdict;
        m_verdictCombo->addItem(verdictText(judged), verdict);
    }
    m_dateEdit = new QDateEdit(QDate::currentDate(), content);
    m_dateEdit->setObjectName(QStringLiteral("dateFilterEdit"));
    m_dateEdit->setCalendarPopup(true);

    m_table = new QTableWidget(0, ColumnCount, content);
    m_table->setObjectName(QStringLiteral("sessionTable"));
    m_table->setHorizontalHeaderLabels({tr("Started"), tr("Unit"), tr("Sensor"), tr("Verdict"), tr("White x"),
                                        tr("White y"), tr("Lv (cd/m²)"), tr("Requests")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // A few sessions in view however small the window leaves the dock.
    m_table->setMinimumHeight(m_table->horizontalHeader()->sizeHint().height()
                              + 3 * m_table->verticalHeader()->defaultSectionSize() + 2 * m_table->frameWidth());

    m_status = new QLabel(content);
    m_status->setObjectName(QStringLiteral("recordsStatusLabel"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_exportButton = new QPushButton(tr("Export…"), content);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));

    auto* filters = new QGridLayout;
    filters->addWidget(new QLabel(tr("Unit"), content), 0, 0);
    filters->addWidget(m_unitEdit, 0, 1);
    filters->addWidget(new QLabel(tr("Verdict"), content), 0, 2);
    filters->addWidget(m_verdictCombo, 0, 3);
    filters->addWidget(new QLabel(tr("Date"), content), 0, 4);
    filters->addWidget(m_dateEdit, 0, 5);
    filters->setColumnStretch(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_exportButton);
    auto* layout = new QVBoxLayout(content);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);
    setWidget(content);

    connect(m_unitEdit, &QLineEdit::textChanged, this, &RecordsDock::refresh);
    connect(m_verdictCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &RecordsDock::refresh);
    connect(m_dateEdit, &QDateEdit::dateChanged, this, [this](const QDate& date) {
        m_followsToday = date == QDate::currentDate();
        refresh();
    });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { showReadings(row); });
    connect(m_exportButton, &QPushButton::clicked, this, &RecordsDock::exportSessions);
    if (m_recorder) {
        // Queued: the recorder says a session began before its writer has
        // been handed it, and a question asked at once would not find it.
        connect(m_recorder, &LineRecorder::sessionStarted, this, &RecordsDock::followToday, Qt::QueuedConnection);
        connect(m_recorder, &LineRecorder::sessionStored, this, &RecordsDock::refresh);
        connect(m_recorder, &LineRecorder::sessionsFound, this, &RecordsDock::takeSessions);
        connect(m_recorder, &LineRecorder::readingsFound, this, &RecordsDock::takeReadings);
    }
    refresh();
}

QColor RecordsDock::verdictColor(const QString& verdict)
{
    // Pale enough for the table's dark text to stay readable on them.
    if (verdict == SessionRecord::pass())
        return QColor(0xd3, 0xef, 0xd5);
    if (verdict == SessionRecord::fail())
        return QColor(0xf6, 0xcf, 0xcf);
    if (verdict == SessionRecord::incomplete())
        return QColor(0xfb, 0xe6, 0xb3);
    return QColor();
}

QString RecordsDock::verdictText(const SessionRecord& session)
{
    if (session.isOpen())
        return tr("open");
    if (session.verdict == SessionRecord::pass())
        return tr("PASS");
    if (session.verdict == SessionRecord::fail())
        return tr("FAIL");
    if (session.verdict == SessionRecord::incomplete())
        return tr("INCOMPLETE");
    return session.verdict;
}

RecordStore::Filter RecordsDock::filter() const
{
    RecordStore::Filter filter;
    if (m_recorder)
        filter.station = m_recorder->settings().station;
    filter.unit = m_unitEdit->text().trimmed();
    filter.verdict = m_verdictCombo->currentData().toString();
    // The day as the user lives it, kept in UTC as the records are.
    const QDate day = m_dateEdit->date();
    filter.since = QDateTime(day, QTime(0, 0), Qt::LocalTime).toUTC();
    filter.until = QDateTime(day.addDays(1), QTime(0, 0), Qt::LocalTime).toUTC();
    return filter;
}

void RecordsDock::followToday()
{
    // A station left running past midnight goes on listing the day's
    // displays, unless the user chose another day.
    if (m_followsToday && m_dateEdit->date() != QDate::currentDate())
        m_dateEdit->setDate(QDate::currentDate()); // asks again
    else
        refresh();
}

void RecordsDock::refresh()
{
    if (!m_recorder)
        return;
    // Only the answer to the latest question is shown; those before it are
    // of filters no longer chosen.
    m_ticket = m_recorder->findSessions(filter());
}

void RecordsDock::takeSessions(int ticket, const QVector<SessionRecord>& sessions, const QString& error)
{
    if (ticket != m_ticket)
        return;
    if (!error.isEmpty()) {
        m_sessions.clear();
        showSessions();
        m_status->setText(tr("The records cannot be read: %1").arg(error));
        return;
    }
    m_sessions = sessions;
    std::stable_sort(m_sessions.begin(), m_sessions.end(),
                     [](const SessionRecord& a, const SessionRecord& b) { return a.started > b.started; });
    showSessions();
    m_status->setText(tr("Sessions: %1").arg(m_sessions.size()));
    emit sessionsShown();
}

void RecordsDock::showSessions()
{
    // The rows the user chose stay chosen when the table is filled again.
    QSet<QString> selected;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        if (const QTableWidgetItem* item = m_table->item(index.row(), Started))
            selected.insert(item->data(Qt::UserRole).toString());
    }
    m_table->clearSelection();
    m_table->setRowCount(m_sessions.size());
    for (int row = 0; row < m_sessions.size(); ++row) {
        const SessionRecord& s = m_sessions[row];
        const QString sensor = QStringList{s.sensorType, s.sensorSerial}.join(QLatin1Char(' ')).trimmed();
        QVector<QString> cells(ColumnCount);
        cells[Started] = s.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        cells[Unit] = s.unit;
        cells[Sensor] = sensor;
        cells[Verdict] = verdictText(s);
        if (s.white) {
            cells[WhiteX] = number(s.white->x, 4);
            cells[WhiteY] = number(s.white->y, 4);
            cells[WhiteLv] = number(s.white->lv, 2);
        }
        cells[Requests] = QString::number(s.readingCount);
        const QColor background = verdictColor(s.isOpen() ? QString() : s.verdict);
        for (int column = 0; column < ColumnCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column >= WhiteX)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (background.isValid()) {
                item->setBackground(background);
                // A dark theme's light text would vanish on the pale colours.
                item->setForeground(QColor(Qt::black));
            }
            if (s.pending)
                item->setToolTip(tr("Kept in this station's file until the line's database takes it."));
            m_table->setItem(row, column, item);
        }
        m_table->item(row, Started)->setData(Qt::UserRole, s.uid);
        if (selected.contains(s.uid))
            m_table->selectionModel()->select(m_table->model()->index(row, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void RecordsDock::showReadings(int row)
{
    if (!m_recorder || row < 0 || row >= m_sessions.size())
        return;
    auto* dialog = new SessionReadingsDialog(m_recorder, m_sessions[row], this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void RecordsDock::exportSessions()
{
    if (!m_recorder || !m_export.waiting.isEmpty())
        return;
    QVector<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty()) {
        for (int row = 0; row < m_sessions.size(); ++row)
            rows << row;
    }
    if (rows.isEmpty()) {
        Messenger::information(this, tr("Export"), tr("There are no sessions to export."));
        return;
    }
    const QString csvFilter = tr("CSV files (*.csv)");
    const QString jsonFilter = tr("JSON files (*.json)");
    QString chosenFilter;
    const QString suggested
        = QDir::current().filePath(QStringLiteral("records-%1.csv").arg(m_dateEdit->date().toString(Qt::ISODate)));
    QString fileName = DialogProvider::current().saveFileNameAndFilter(
        this, tr("Export sessions"), suggested, csvFilter + QStringLiteral(";;") + jsonFilter, &chosenFilter);
    if (fileName.isEmpty())
        return;
    // The name's suffix says the kind; without one, the filter the user chose.
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    bool json = suffix == QLatin1String("json");
    if (suffix != QLatin1String("json") && suffix != QLatin1String("csv")) {
        json = chosenFilter == jsonFilter;
        fileName += json ? QStringLiteral(".json") : QStringLiteral(".csv");
    }

    m_export = Export();
    m_export.fileName = fileName;
    m_export.json = json;
    for (int row : rows) {
        RecordExport::Entry entry;
        entry.session = m_sessions[row];
        m_export.entries << entry;
    }
    m_exportButton->setEnabled(false);
    m_status->setText(tr("Exporting to %1...").arg(QDir::toNativeSeparators(fileName)));
    for (int i = 0; i < m_export.entries.size(); ++i) {
        const SessionRecord& session = m_export.entries[i].session;
        m_export.waiting.insert(m_recorder->findReadings(session.id, session.pending), i);
    }
}

void RecordsDock::takeReadings(int ticket, const QVector<SessionRecord::Reading>& readings, const QString& error)
{
    const auto waiting = m_export.waiting.find(ticket);
    if (waiting == m_export.waiting.end())
        return;
    if (!error.isEmpty() && m_export.error.isEmpty())
        m_export.error = error;
    m_export.entries[waiting.value()].readings = readings;
    m_export.waiting.erase(waiting);
    if (m_export.waiting.isEmpty())
        finishExport();
}

void RecordsDock::finishExport()
{
    const QString shownName = QDir::toNativeSeparators(QFileInfo(m_export.fileName).absoluteFilePath());
    QString why = m_export.error;
    bool written = false;
    if (why.isEmpty()) {
        const QByteArray bytes
            = m_export.json ? RecordExport::json(m_export.entries) : RecordExport::csv(m_export.entries);
        written = PlainFile::writeWhole(m_export.fileName, bytes, &why);
    }
    const QString fileName = m_export.fileName;
    m_export = Export();
    m_exportButton->setEnabled(true);
    m_status->setText(written ? tr("Exported to %1.").arg(shownName) : tr("Sessions: %1").arg(m_sessions.size()));
    if (!written)
        Messenger::warning(this, tr("Export"), tr("The sessions could not be exported to %1: %2").arg(shownName, why));
    emit exportFinished(fileName, written);
}
