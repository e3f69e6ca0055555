#ifndef SCRIPTEDDIALOGPROVIDER_H
#define SCRIPTEDDIALOGPROVIDER_H

#include "dialogprovider.h"

#include <QQueue>
#include <QString>
#include <QStringList>

// Answers file and text questions with what the test queued, at once, and
// records the captions asked. An empty queue answers as cancelled. Installs
// itself on construction and restores the previous provider when it goes.
class ScriptedDialogProvider final : public DialogProvider
{
public:
    ScriptedDialogProvider();
    ~ScriptedDialogProvider() override;

    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString text(QWidget* parent, const QString& title, const QString& label,
                 const QString& initial, bool* ok) override;

    void queueFileName(const QString& name) { m_fileNames.enqueue(name); }
    // A text confirmed with OK.
    void queueText(const QString& text) { m_texts.enqueue(text); }

    const QStringList& asked() const { return m_asked; }

private:
    QQueue<QString> m_fileNames;
    QQueue<QString> m_texts;
    QStringList m_asked;
    DialogProvider* m_previous = nullptr;
};

#endif // SCRIPTEDDIALOGPROVIDER_H
