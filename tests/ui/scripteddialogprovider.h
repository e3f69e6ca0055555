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
    ScriptedDialogProvider() : m_previous(DialogProvider::install(this)) {}
    ~ScriptedDialogProvider() override { DialogProvider::install(m_previous); }

    QString openFileName(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        return nextFileName(caption);
    }
    QString saveFileName(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        return nextFileName(caption);
    }
    QString saveFileNameAndFilter(QWidget*, const QString& caption, const QString&, const QString&,
                                  QString* selectedFilter) override
    {
        if (selectedFilter)
            *selectedFilter = m_filters.isEmpty() ? QString() : m_filters.dequeue();
        return nextFileName(caption);
    }
    QString directory(QWidget*, const QString& caption, const QString&) override { return nextFileName(caption); }
    QString text(QWidget*, const QString& title, const QString&, const QString&, bool* ok) override
    {
        m_asked << title;
        const bool answered = !m_texts.isEmpty();
        if (ok)
            *ok = answered;
        return answered ? m_texts.dequeue() : QString();
    }

    void queueFileName(const QString& name) { m_fileNames.enqueue(name); }
    // The filter a save dialog answers as chosen, with the next file name.
    void queueFilter(const QString& filter) { m_filters.enqueue(filter); }
    // A text confirmed with OK.
    void queueText(const QString& text) { m_texts.enqueue(text); }

    const QStringList& asked() const { return m_asked; }

private:
    QString nextFileName(const QString& caption)
    {
        m_asked << caption;
        return m_fileNames.isEmpty() ? QString() : m_fileNames.dequeue();
    }

    QQueue<QString> m_fileNames;
    QQueue<QString> m_texts;
    QQueue<QString> m_filters;
    QStringList m_asked;
    DialogProvider* m_previous = nullptr;
};

#endif // SCRIPTEDDIALOGPROVIDER_H
