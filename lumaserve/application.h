#ifndef APPLICATION_H
#define APPLICATION_H

#include <QApplication>

#include <memory>

class CColorReference;

// The program's application object. It owns the colour reference of the run
// (HDTV Rec709 with the D65 white) and makes it the one GetColorReference()
// returns for as long as the application exists.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int& argc, char** argv);
    ~Application() override;

    const CColorReference& colorReference() const { return *m_colorReference; }

private:
    std::unique_ptr<CColorReference> m_colorReference;
};

#endif // APPLICATION_H
