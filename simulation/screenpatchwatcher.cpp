#include "screenpatchwatcher.h"

#include "simulatedworld.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace {
// Often enough that a patch chosen and measured at once is seen; a grab of a
// few pixels costs nothing.
constexpr int kLookIntervalMs = 40;
// The patch fills the dialog below its controls; this far above the bottom
// edge is inside it at any size.
constexpr int kSampleInset = 12;
} // namespace

ScreenPatchWatcher::ScreenPatchWatcher(SimulatedWorld& world_, QObject* parent)
    : QObject(parent)
    , world(world_)
{
    connect(&timer, &QTimer::timeout, this, &ScreenPatchWatcher::look);
    timer.start(kLookIntervalMs);
}

std::optional<std::array<int, 3>> ScreenPatchWatcher::patchOf(QWidget* dialog)
{
    if (!dialog || dialog->width() < 2 * kSampleInset || dialog->height() < 2 * kSampleInset)
        return std::nullopt;
    const QRect sample(dialog->width() / 2 - 2, dialog->height() - kSampleInset, 4, 4);
    const QImage image = dialog->grab(sample).toImage();
    if (image.isNull())
        return std::nullopt;
    const QRgb pixel = image.pixel(image.width() / 2, image.height() / 2);
    return std::array<int, 3>{{qRed(pixel), qGreen(pixel), qBlue(pixel)}};
}

bool ScreenPatchWatcher::showsRow(const std::optional<std::array<int, 3>>& patch, int row)
{
    if (!patch)
        return false;
    const std::array<int, 3>& rgb = *patch;
    if (row == 3)
        return rgb[0] > 0 && rgb[0] == rgb[1] && rgb[1] == rgb[2];
    for (int channel = 0; channel < 3; ++channel) {
        if ((rgb[size_t(channel)] > 0) != (channel == row))
            return false;
    }
    return true;
}

QWidget* ScreenPatchWatcher::visibleDialog(const char* className)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->isVisible() && window->inherits(className))
            return window;
    }
    return nullptr;
}

void ScreenPatchWatcher::look()
{
    // A matching run's patch window covers a whole screen; the calibrate
    // dialog paints its patch below its controls. Either way the patch is at
    // the middle of the bottom edge.
    QWidget* dialog = visibleDialog("ScreenPatchWindow");
    if (!dialog)
        dialog = visibleDialog("CalibrateDialog");
    const std::optional<std::array<int, 3>> patch = dialog ? patchOf(dialog) : std::nullopt;
    if (patch != world.screenPatch())
        world.setScreenPatch(patch);
}
