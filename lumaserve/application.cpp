#include "application.h"

#include "ccolorreference.h"

#include <QFile>
#include <QIcon>

namespace {
const QString kAppIcon = QStringLiteral(":/icons/resource/app.png");
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv),
      m_colorReference(std::make_unique<CColorReference>(StandardRec709, WhiteFromStandard, -1.0))
{
    // Registered before any other thread exists; the alignment thread reads it
    // afterwards without a lock.
    RegisterColorReference(m_colorReference.get());
    // A missing icon would only produce a null icon; builds without the
    // resources compiled in keep the platform default instead.
    if (QFile::exists(kAppIcon))
        setWindowIcon(QIcon(kAppIcon));
}

Application::~Application()
{
    // Conversions after this point fall back to the built-in reference rather
    // than read a deleted one.
    if (&GetColorReference() == m_colorReference.get())
        RegisterColorReference(nullptr);
}
