#include "stationwindow.h"

#include "chromaticityview.h"
#include "simulatedstation.h"
#include "whitealignment.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRefreshMs = 200;
// Enough of the white's walk to see a run's corrections, and a few runs' worth.
constexpr size_t kTrailLength = 500;

QString upvpDistance(double value)
{
    return QString::number(value, 'f', 4);
}

// The least distance from the target the diagram shows: the whites of runs
// with a corrected sensor stay well within it, and stay apart.
constexpr double kNearestReach = 0.002;

// The target in the middle, out to the farthest of the runs' whites and the
// white now. A run's walk starts at the factory white, far off: a view of all
// of it would shrink the finished whites to one dot on the target.
void fitAboutTarget(ChromaticityDiagram& d)
{
    if (!d.hasTarget()) {
        d.fitView();
        return;
    }
    double reach = kNearestReach;
    for (const ChromaticityDiagram::Point& point : d.points())
        reach = std::max(reach, ChromaticityDiagram::distanceUv(point.xy, d.target()));
    for (const ChromaticityDiagram::Trail& trail : d.trails())
        if (!trail.points.empty())
            reach = std::max(reach, ChromaticityDiagram::distanceUv(trail.points.back(), d.target()));
    d.fitAboutTarget(reach);
}

} // namespace

StationWindow::StationWindow(SimulatedStation& station_, QWidget* parent)
    : QWidget(parent)
    , station(station_)
{
    setWindowTitle(tr("Simulated station"));
    setObjectName(QStringLiteral("stationWindow"));
    // A companion of the program's window: closing that one ends the program
    // even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* deviceBox = new QGroupBox(tr("Devices"), this);
    const QList<SimulatedStation::Device> devices = station.devices();
    deviceTable = new QTableWidget(devices.size(), 3, deviceBox);
    deviceTable->setObjectName(QStringLiteral("deviceTable"));
    deviceTable->setHorizontalHeaderLabels({tr("Device"), tr("Port"), tr("Served by")});
    deviceTable->verticalHeader()->hide();
    deviceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    deviceTable->setSelectionMode(QAbstractItemView::NoSelection);
    deviceTable->setFocusPolicy(Qt::NoFocus);
    for (int row = 0; row < devices.size(); ++row) {
        const SimulatedStation::Device& device = devices.at(row);
        deviceTable->setItem(row, 0, new QTableWidgetItem(device.name));
        deviceTable->setItem(row, 1, new QTableWidgetItem(device.port.isEmpty() ? tr("(none)") : device.port));
        deviceTable->setItem(row, 2, new QTableWidgetItem(device.how));
    }
    deviceTable->resizeColumnsToContents();
    deviceTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    deviceTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    int tableHeight = deviceTable->horizontalHeader()->sizeHint().height() + 2 * deviceTable->frameWidth();
    for (int row = 0; row < devices.size(); ++row)
        tableHeight += deviceTable->rowHeight(row);
    deviceTable->setFixedHeight(tableHeight);
    // Every port and what serves it readable without scrolling.
    deviceTable->setMinimumWidth(deviceTable->horizontalHeader()->length() + 2 * deviceTable->frameWidth() + 4);
    auto* deviceLayout = new QVBoxLayout(deviceBox);
    deviceLayout->addWidget(deviceTable);

    auto* referenceBox = new QGroupBox(tr("Reference instrument"), this);
    lookingAt = new QLabel(referenceBox);
    lookingAt->setObjectName(QStringLiteral("lookingAt"));
    referenceLabel = new QLabel(referenceBox);
    referenceLabel->setObjectName(QStringLiteral("referenceLabel"));
    referenceLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont mono = referenceLabel->font();
    mono.setStyleHint(QFont::Monospace);
    mono.setFamily(QStringLiteral("monospace"));
    referenceLabel->setFont(mono);
    copyButton = new QPushButton(tr("Copy"), referenceBox);
    copyButton->setObjectName(QStringLiteral("copyButton"));
    copyButton->setToolTip(tr("Copy X, Y and Z for pasting into the calibrate dialog's reference table"));
    connect(copyButton, &QPushButton::clicked, this, &StationWindow::copyReference);
    auto* referenceRow = new QHBoxLayout;
    referenceRow->addWidget(referenceLabel, 1);
    referenceRow->addWidget(copyButton);
    auto* referenceLayout = new QVBoxLayout(referenceBox);
    referenceLayout->addWidget(lookingAt);
    referenceLayout->addLayout(referenceRow);

    auto* displayBox = new QGroupBox(tr("Display under alignment"), this);
    technologyBox = new QComboBox(displayBox);
    technologyBox->setObjectName(QStringLiteral("technologyBox"));
    technologyBox->setToolTip(tr("Put a panel of another technology on the stand: the sensors' errors "
                                 "depend on the spectra it emits"));
    const DisplayTechnology::Kind current = station.world().displayTechnology();
    for (const DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
        technologyBox->addItem(DisplayTechnology::make(kind).name(), QVariant::fromValue(static_cast<int>(kind)));
        if (kind == current)
            technologyBox->setCurrentIndex(technologyBox->count() - 1);
    }
    connect(technologyBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &StationWindow::chooseTechnology);
    alignButton = new QPushButton(tr("Align display"), displayBox);
    alignButton->setObjectName(QStringLiteral("alignButton"));
    alignButton->setToolTip(tr("Let the display's firmware run its own alignment; switch alignment on in "
                               "the program first"));
    connect(alignButton, &QPushButton::clicked, &station, &SimulatedStation::startDisplayAlignment);
    cancelButton = new QPushButton(tr("Cancel"), displayBox);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setEnabled(false);
    connect(cancelButton, &QPushButton::clicked, &station, &SimulatedStation::cancelDisplayAlignment);
    progressBar = new QProgressBar(displayBox);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    progressBar->setFormat(QStringLiteral("%v / %m"));
    activityLabel = new QLabel(tr("Idle"), displayBox);
    activityLabel->setObjectName(QStringLiteral("activityLabel"));
    activityLabel->setWordWrap(true);
    trueErrorLabel = new QLabel(displayBox);
    trueErrorLabel->setObjectName(QStringLiteral("trueErrorLabel"));
    toldErrorLabel = new QLabel(tr("-"), displayBox);
    toldErrorLabel->setObjectName(QStringLiteral("toldErrorLabel"));
    gainsLabel = new QLabel(displayBox);
    gainsLabel->setObjectName(QStringLiteral("gainsLabel"));
    runList = new QListWidget(displayBox);
    runList->setObjectName(QStringLiteral("runList"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(alignButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    auto* technologyRow = new QFormLayout;
    technologyRow->addRow(tr("Display technology:"), technologyBox);
    auto* figures = new QFormLayout;
    figures->addRow(tr("True white error (\u0394u'v' from D65):"), trueErrorLabel);
    figures->addRow(tr("White error as measured:"), toldErrorLabel);
    figures->addRow(tr("RGB gains:"), gainsLabel);
    auto* displayLayout = new QVBoxLayout(displayBox);
    displayLayout->addLayout(technologyRow);
    displayLayout->addLayout(buttons);
    displayLayout->addWidget(progressBar);
    displayLayout->addWidget(activityLabel);
    displayLayout->addLayout(figures);
    displayLayout->addWidget(new QLabel(tr("Alignments:"), displayBox));
    displayLayout->addWidget(runList, 1);

    auto* whiteBox = new QGroupBox(tr("True white on the chromaticity diagram"), this);
    whiteView = new ChromaticityView(whiteBox);
    whiteView->setObjectName(QStringLiteral("whiteView"));
    whiteView->setFitter(fitAboutTarget);
    whiteView->edit([](ChromaticityDiagram& d) {
        d.setSpace(ChromaticityDiagram::Space::Uv);
        // The circle the firmware brings the white it is told into: the true
        // whites about it show what the sensor's error leaves over.
        d.setTarget(ChromaticityDiagram::d65(), {ChromaticityDiagram::Tolerance::Shape::CircleUv,
                                                  WhiteAlignment::kTolerance});
    });
    auto* whiteLayout = new QVBoxLayout(whiteBox);
    whiteLayout->addWidget(whiteView);

    // The diagram beside the display's figures: below them it would make the
    // window taller or leave the run list no room.
    auto* layout = new QGridLayout(this);
    layout->addWidget(deviceBox, 0, 0, 1, 2);
    layout->addWidget(referenceBox, 1, 0, 1, 2);
    layout->addWidget(displayBox, 2, 0);
    layout->addWidget(whiteBox, 2, 1);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);

    connect(&station, &SimulatedStation::alignmentProgress, this, &StationWindow::showProgress);
    connect(&refreshTimer, &QTimer::timeout, this, &StationWindow::refreshReference);
    refreshTimer.start(kRefreshMs);
    refreshReference();
    showProgress(station.progress());
    deviceTable->horizontalHeader()->setStretchLastSection(true);
    resize(sizeHint().width(), 620);
}

QString StationWindow::referenceText() const
{
    return shownReference;
}

void StationWindow::copyReference()
{
    refreshReference();
    QApplication::clipboard()->setText(shownReference);
}

void StationWindow::refreshReference()
{
    if (station.looksAtScreenPatch()) {
        const std::array<int, 3> rgb = station.world().screenPatch().value_or(std::array<int, 3>{});
        lookingAt->setText(tr("Looking at the calibrate dialog's patch (%1, %2, %3)")
                               .arg(rgb[0])
                               .arg(rgb[1])
                               .arg(rgb[2]));
    } else {
        lookingAt->setText(tr("Looking at the display under alignment"));
    }
    shownReference = station.referenceReadingText();
    const QStringList xyz = shownReference.split(QLatin1Char('\t'));
    if (xyz.size() == 3)
        referenceLabel->setText(tr("X %1   Y %2   Z %3").arg(xyz.at(0), xyz.at(1), xyz.at(2)));
    // The firmware's gains and true white change only through an alignment, but
    // a restarted window should show them at once.
    if (!station.firmware().isAligning()) {
        const Xyz white = station.world().trueWhite();
        trueErrorLabel->setText(upvpDistance(DisplayModel::whiteError(white)));
        // Another panel on the stand shows another white without a run.
        if (noteTrueWhite(white))
            showWhites();
    }
}

void StationWindow::chooseTechnology(int index)
{
    const QVariant kind = technologyBox->itemData(index);
    if (!kind.isValid())
        return;
    station.world().setDisplayTechnology(static_cast<DisplayTechnology::Kind>(kind.toInt()));
    refreshReference();
}

void StationWindow::showProgress(const AligningFirmware::Progress& progress)
{
    alignButton->setEnabled(!progress.running);
    // A panel is not swapped in the middle of its own alignment.
    technologyBox->setEnabled(!progress.running);
    cancelButton->setEnabled(progress.running);
    progressBar->setRange(0, qMax(progress.steps, 1));
    progressBar->setValue(progress.running || progress.finished ? progress.step : 0);
    if (!progress.activity.empty())
        activityLabel->setText(QString::fromStdString(progress.activity));
    trueErrorLabel->setText(upvpDistance(progress.trueWhiteError));
    if (progress.step > 0)
        toldErrorLabel->setText(upvpDistance(progress.toldWhiteError));
    gainsLabel->setText(QStringLiteral("%1  %2  %3")
                            .arg(QString::number(progress.gains[0], 'f', 4),
                                 QString::number(progress.gains[1], 'f', 4),
                                 QString::number(progress.gains[2], 'f', 4)));
    if (progress.running && !wasRunning) {
        // Each run's walk on its own, from where it starts.
        whiteTrail.clear();
    }
    // A finished run seen again (a window opened later) says nothing new, and
    // its white may be another panel's by now.
    if (progress.running || wasRunning)
        noteTrueWhite(progress.trueWhite);
    if (wasRunning && !progress.running && progress.finished) {
        const QString outcome =
            progress.succeeded
                ? tr("Run %1: true white error %2, as measured %3")
                      .arg(runList->count() + 1)
                      .arg(upvpDistance(progress.trueWhiteError), upvpDistance(progress.toldWhiteError))
                : tr("Run %1 failed: %2").arg(runList->count() + 1).arg(QString::fromStdString(progress.error));
        if (progress.succeeded) {
            const DisplayModel::Chromaticity xy = DisplayModel::chromaticity(progress.trueWhite);
            ChromaticityDiagram::Point point;
            point.xy = {xy.x, xy.y};
            point.label = tr("Run %1").arg(runList->count() + 1);
            runWhites.push_back(point);
        }
        runList->addItem(outcome);
        runList->scrollToBottom();
    }
    wasRunning = progress.running;
    showWhites();
}

bool StationWindow::noteTrueWhite(const Xyz& white)
{
    const DisplayModel::Chromaticity c = DisplayModel::chromaticity(white);
    const ChromaticityDiagram::Xy xy{c.x, c.y};
    // Black (a display at no gain) has no chromaticity.
    if (!std::isfinite(xy[0]) || !std::isfinite(xy[1]) || xy[1] <= 0.0)
        return false;
    // The timer sees the same white most of the time.
    if (!whiteTrail.empty() && whiteTrail.back() == xy)
        return false;
    whiteTrail.push_back(xy);
    while (whiteTrail.size() > kTrailLength)
        whiteTrail.pop_front();
    return true;
}

void StationWindow::showWhites()
{
    ChromaticityDiagram::Trail trail;
    trail.points.assign(whiteTrail.begin(), whiteTrail.end());
    trail.label = tr("True white");
    whiteView->edit([&](ChromaticityDiagram& d) {
        d.setTrails({trail});
        d.setPoints(runWhites);
    });
}
