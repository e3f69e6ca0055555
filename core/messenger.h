#ifndef MESSENGER_H
#define MESSENGER_H

#include <QFlags>
#include <QString>

#include <functional>

class QWidget;

// The one way the program shows message boxes. The program installs a
// QMessageBox-backed implementation at start-up; tests install one that records
// what would have been shown and answers without blocking. With none installed,
// messages go to the warning log and the default answer is taken.
//
// Boxes belong to the main thread. A message raised on another thread (a driver
// failing inside the alignment service) is handed to the main thread and the
// raising thread carries on at once with the default answer. While such a
// message waits or is shown, the same message raised again is only counted, so a
// failing sensor does not stack one box per request.
class Messenger
{
public:
    enum class Icon { Information, Warning, Critical, Question };
    // Values match QMessageBox::StandardButton.
    enum Button {
        NoButton = 0x00000000,
        Ok = 0x00000400,
        Yes = 0x00004000,
        No = 0x00010000,
        Cancel = 0x00400000,
    };
    Q_DECLARE_FLAGS(Buttons, Button)

    virtual ~Messenger();

    // Shows a modal box and returns the button that closed it.
    virtual Button show(QWidget* parent, Icon icon, const QString& title, const QString& text,
                        Buttons buttons, Button defaultButton) = 0;

    // The messenger in use; never null.
    static Messenger& current();
    // Installs a messenger the caller keeps alive; nullptr restores the log-only
    // fallback. Returns the one installed before, or nullptr for the fallback.
    static Messenger* install(Messenger* messenger);

    static void information(QWidget* parent, const QString& title, const QString& text);
    static void warning(QWidget* parent, const QString& title, const QString& text);
    static void critical(QWidget* parent, const QString& title, const QString& text);
    static Button question(QWidget* parent, const QString& title, const QString& text,
                           Buttons buttons = Buttons(Yes | No), Button defaultButton = NoButton);

    // While muted() is true, messages raised on the calling thread are only
    // logged, with the default answer: for a thread whose work the user has
    // cancelled, so that the failures the cancel causes are no news to them.
    // An empty function ends it.
    static void muteThreadWhile(std::function<bool()> muted);

    // The answer a box gives when nobody chooses: the default button, else Ok
    // when offered.
    static Button defaultAnswer(Buttons buttons, Button defaultButton);

private:
    static Button dispatch(QWidget* parent, Icon icon, const QString& title, const QString& text,
                           Buttons buttons, Button defaultButton);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Messenger::Buttons)

#endif // MESSENGER_H
