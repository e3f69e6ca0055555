#include "dialogprovider.h"

#include <QDebug>

namespace {

// Without a provider nothing may block: every question counts as cancelled.
class CancellingProvider final : public DialogProvider
{
public:
    QString openFileName(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        qWarning() << "No dialog provider; cancelled:" << caption;
        return QString();
    }
    QString saveFileName(QWidget*, const QString& caption, const QString&, const QString&) override
    {
        qWarning() << "No dialog provider; cancelled:" << caption;
        return QString();
    }
    QString text(QWidget*, const QString& title, const QString&, const QString&, bool* ok) override
    {
        qWarning() << "No dialog provider; cancelled:" << title;
        if (ok)
            *ok = false;
        return QString();
    }
};

CancellingProvider fallback;
DialogProvider* installed = nullptr;

} // namespace

DialogProvider::~DialogProvider() = default;

QString DialogProvider::saveFileNameAndFilter(QWidget* parent, const QString& caption, const QString& dir,
                                              const QString& filter, QString* selectedFilter)
{
    if (selectedFilter)
        selectedFilter->clear();
    return saveFileName(parent, caption, dir, filter);
}

QString DialogProvider::directory(QWidget*, const QString& caption, const QString&)
{
    qWarning() << "No directory chooser; cancelled:" << caption;
    return QString();
}

DialogProvider& DialogProvider::current()
{
    return installed ? *installed : fallback;
}

DialogProvider* DialogProvider::install(DialogProvider* provider)
{
    DialogProvider* previous = installed;
    installed = provider;
    return previous;
}
