#include "qmessageboxmessenger.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class TestQMessageBoxMessenger : public QObject
{
    Q_OBJECT

private slots:
    void showsAModalBoxAndReturnsTheClickedButton_data();
    void showsAModalBoxAndReturnsTheClickedButton();
};

void TestQMessageBoxMessenger::showsAModalBoxAndReturnsTheClickedButton_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("click");
    QTest::addColumn<int>("expectedQtIcon");
    QTest::newRow("warning")
        << int(Messenger::Icon::Warning) << int(Messenger::Ok) << int(QMessageBox::Warning);
    QTest::newRow("critical")
        << int(Messenger::Icon::Critical) << int(Messenger::Ok) << int(QMessageBox::Critical);
    QTest::newRow("question answered no")
        << int(Messenger::Icon::Question) << int(Messenger::No) << int(QMessageBox::Question);
}

void TestQMessageBoxMessenger::showsAModalBoxAndReturnsTheClickedButton()
{
    QFETCH(int, icon);
    QFETCH(int, click);
    QFETCH(int, expectedQtIcon);

    QString seenTitle;
    QString seenText;
    int seenIcon = -1;
    // Answer the box from inside its own event loop, once it is up.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        box->button(static_cast<QMessageBox::StandardButton>(click))->click();
    });
    poll.start(10);

    QMessageBoxMessenger messenger;
    const Messenger::Buttons buttons = icon == int(Messenger::Icon::Question)
                                           ? Messenger::Buttons(Messenger::Yes | Messenger::No)
                                           : Messenger::Buttons(Messenger::Ok);
    const Messenger::Button answer =
        messenger.show(nullptr, static_cast<Messenger::Icon>(icon), QStringLiteral("Profile"),
                       QStringLiteral("Sensor SN Error!"), buttons, Messenger::NoButton);

    QCOMPARE(int(answer), click);
    QCOMPARE(seenTitle, QStringLiteral("Profile"));
    QCOMPARE(seenText, QStringLiteral("Sensor SN Error!"));
    QCOMPARE(seenIcon, expectedQtIcon);
}

QTEST_MAIN(TestQMessageBoxMessenger)
#include "tst_qmessageboxmessenger.moc"
