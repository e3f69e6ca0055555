#ifndef SCREENPATCHWATCHER_H
#define SCREENPATCHWATCHER_H

#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

class SimulatedWorld;
class QWidget;

// Tells the simulated world what the program's calibrate dialog shows: while
// such a dialog is on the screen, the instruments look at the patch it paints
// below its controls, taken from the dialog's own pixels a few times a second.
class ScreenPatchWatcher : public QObject
{
    Q_OBJECT

public:
    explicit ScreenPatchWatcher(SimulatedWorld& world, QObject* parent = nullptr);

    // The colour at the middle of the dialog's bottom edge, where the patch is.
    static std::optional<std::array<int, 3>> patchOf(QWidget* dialog);

public slots:
    // Looks at the screen now.
    void look();

private:
    SimulatedWorld& world;
    QTimer timer;
};

#endif // SCREENPATCHWATCHER_H
