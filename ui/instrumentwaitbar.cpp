#include "instrumentwaitbar.h"

#include "measure.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

InstrumentWaitBar::InstrumentWaitBar(Measure* controller_, QWidget* parent)
    : QWidget(parent)
    , controller(controller_)
{
    setObjectName(QStringLiteral("instrumentWaitBar"));
    // Over a dialog that paints its own background (the calibrate dialog's
    // patch) the bar stays readable.
    setAutoFillBackground(true);

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("waitLabel"));
    indicator = new QProgressBar(this);
    indicator->setObjectName(QStringLiteral("busyIndicator"));
    indicator->setRange(0, 0);
    // Narrow: the text beside it says what is waited for.
    indicator->setMaximumWidth(48);
    indicator->setTextVisible(false);
    cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    // Enter in a dialog must not cancel by default.
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &InstrumentWaitBar::cancel);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label, 1);
    layout->addWidget(indicator);
    layout->addWidget(cancelButton);

    // On the window rather than on the bar: Esc keeps working when the bar
    // itself is out of sight (a hidden status bar).
    escape = new QShortcut(QKeySequence(Qt::Key_Escape), parent ? parent->window() : this);
    escape->setEnabled(false);
    connect(escape, &QShortcut::activated, this, &InstrumentWaitBar::cancel);

    connect(controller, &Measure::instrumentBusyChanged, this, &InstrumentWaitBar::showWait);
    hide();
    showWait();
}

InstrumentWaitBar::~InstrumentWaitBar()
{
    delete escape.data();
}

QString InstrumentWaitBar::text() const
{
    // A call inside an instrument library cannot be interrupted: the cancel
    // is applied when it returns.
    if (controller->isCancellingInstrumentRequest())
        return tr("Cancelled. Waiting for the instrument to return: %1").arg(controller->instrumentWaitText());
    return tr("Waiting for the instrument: %1").arg(controller->instrumentWaitText());
}

void InstrumentWaitBar::setTextVisible(bool visible)
{
    label->setVisible(visible);
}

void InstrumentWaitBar::cancel()
{
    controller->cancelInstrumentRequest();
}

void InstrumentWaitBar::showWait()
{
    // Requests for the sensor and the monitor may overlap: the controller
    // knows whether any is left.
    const bool busy = controller->isInstrumentBusy();
    label->setText(busy ? text() : QString());
    cancelButton->setEnabled(!controller->isCancellingInstrumentRequest());
    setVisible(busy);
    escape->setEnabled(busy);
}
