#ifndef INSTRUMENTWAITBAR_H
#define INSTRUMENTWAITBAR_H

#include <QPointer>
#include <QWidget>

class Measure;
class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

// What a window shows while the controller waits for an instrument: what is
// waited for, a busy bar and a way out (Cancel, or Esc anywhere in the
// window). Hidden while nothing is pending. Every window that asks the
// instruments for something has one of its own: a modal dialog puts the main
// window's out of reach.
class InstrumentWaitBar : public QWidget
{
    Q_OBJECT

public:
    // Esc cancels in parent's window while a request is pending; otherwise
    // the key does what it did (a dialog still closes on it).
    explicit InstrumentWaitBar(Measure* controller, QWidget* parent = nullptr);
    ~InstrumentWaitBar() override;

    // What the bar says while a request is pending.
    QString text() const;
    // A window with a status line of its own says it there instead.
    void setTextVisible(bool visible);

public slots:
    // Ends the pending requests (Cancel and Esc).
    void cancel();

private:
    void showWait();

    Measure* controller = nullptr;
    QLabel* label = nullptr;
    QProgressBar* indicator = nullptr;
    QPushButton* cancelButton = nullptr;
    // Owned by the window, which may outlive the bar.
    QPointer<QShortcut> escape;
};

#endif // INSTRUMENTWAITBAR_H
