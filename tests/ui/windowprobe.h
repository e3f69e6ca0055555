#ifndef WINDOWPROBE_H
#define WINDOWPROBE_H

#include "alignmentwidget.h"
#include "mainwindow.h"
#include "measure.h"
#include "recordingmessenger.h"
#include "scripteddialogprovider.h"
#include "scriptedsensor.h"

#include <QAction>
#include <QComboBox>
#include <QtTest>

#include <memory>

// The main window as its tests reach into it: a controller that hands out
// scripted sensors, recorded message boxes and scripted file and text
// dialogs, children by object name, actions by their text, and the panel's
// lists chosen as a user chooses them. Rigs own
// the window through it and reset it first when they go, so the window never
// outlives the messenger and instruments they set up for it.
struct WindowProbe {
    // Opens the window; every sensor it connects is a scripted one with
    // serialNumber and initDurationMs as they are at that moment.
    void openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->controller()->setSensorFactory([this](int type) -> CSensor* {
            if (type == 0)
                return nullptr;
            sensor = new ScriptedSensor;
            sensor->setHasComPort(true);
            sensor->setSerialNumber(serialNumber);
            sensor->setInitDuration(initDurationMs);
            return sensor;
        });
        window->show();
    }

    template <typename T>
    T* child(const QString& name) const
    {
        return window->findChild<T*>(name);
    }

    QAction* action(const QString& text) const
    {
        for (QAction* a : window->findChildren<QAction*>()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    }

    // What a user's choice in one of the panel's lists does.
    void choose(const QString& comboName, int index) const
    {
        QComboBox* combo = child<QComboBox>(comboName);
        QVERIFY(combo);
        QVERIFY(index >= 0 && index < combo->count());
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        settle();
    }

    // The instruments' answer to what the window asked of them.
    void settle() const { QTRY_VERIFY_WITH_TIMEOUT(!measure()->isInstrumentBusy(), 5000); }

    int portIndex(const QString& name) const { return window->alignmentWidget()->ports().indexOf(name); }

    Measure* measure() const { return window->controller(); }

    // Switched off as the user does it, answering the question with Yes.
    void stopAligning()
    {
        messages.queueAnswer(Messenger::Yes);
        window->doAlignment();
        QTRY_COMPARE(measure()->alignmentState(), Measure::AlignmentState::Off);
    }

    // Declared before the window, so that they outlive it.
    RecordingMessenger messages;
    ScriptedDialogProvider dialogs;
    QString serialNumber = QStringLiteral("SN-0042");
    // How long each sensor takes to open (a library opening its instrument).
    int initDurationMs = 0;
    std::unique_ptr<MainWindow> window;
    ScriptedSensor* sensor = nullptr; // owned by the controller
};

#endif // WINDOWPROBE_H
