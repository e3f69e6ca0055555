#ifndef SCREENPATCHWATCHER_H
#define SCREENPATCHWATCHER_H

#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

class SimulatedWorld;
class QWidget;

// Tells the simulated world what the program shows its instruments: while the
// patch window of a matching run or the calibrate dialog is on the screen, the
// instruments look at the patch it paints (the whole window, or the area below
// the dialog's controls), taken from its own pixels a few times a second.
class ScreenPatchWatcher : public QObject
{
    Q_OBJECT

public:
    explicit ScreenPatchWatcher(SimulatedWorld& world, QObject* parent = nullptr);

    // The colour at the middle of the dialog's bottom edge, where the patch is.
    static std::optional<std::array<int, 3>> patchOf(QWidget* dialog);
    // Whether the patch is the colour of the calibrate dialog's row: one channel
    // lit for red, green and blue (rows 0 to 2), all three alike for white (3).
    static bool showsRow(const std::optional<std::array<int, 3>>& patch, int row);
    // The first visible top-level window of the class, or null.
    static QWidget* visibleDialog(const char* className);

public slots:
    // Looks at the screen now.
    void look();

private:
    SimulatedWorld& world;
    QTimer timer;
};

#endif // SCREENPATCHWATCHER_H
