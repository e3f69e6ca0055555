#include "scripteddialogprovider.h"

ScriptedDialogProvider::ScriptedDialogProvider()
    : m_previous(DialogProvider::install(this))
{
}

ScriptedDialogProvider::~ScriptedDialogProvider()
{
    DialogProvider::install(m_previous);
}

QString ScriptedDialogProvider::openFileName(QWidget*, const QString& caption, const QString&,
                                             const QString&)
{
    m_asked << caption;
    return m_fileNames.isEmpty() ? QString() : m_fileNames.dequeue();
}

QString ScriptedDialogProvider::saveFileName(QWidget*, const QString& caption, const QString&,
                                             const QString&)
{
    m_asked << caption;
    return m_fileNames.isEmpty() ? QString() : m_fileNames.dequeue();
}

QString ScriptedDialogProvider::text(QWidget*, const QString& title, const QString&,
                                     const QString&, bool* ok)
{
    m_asked << title;
    const bool answered = !m_texts.isEmpty();
    if (ok)
        *ok = answered;
    return answered ? m_texts.dequeue() : QString();
}
