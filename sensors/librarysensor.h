#ifndef LIBRARYSENSOR_H
#define LIBRARYSENSOR_H

#include "csensor.h"

#include <QLibrary>
#include <QList>
#include <QString>
#include <QStringList>

// Common part of the drivers that reach their instrument only through a vendor
// library loaded at run time (CA-410, K-10): loading and binding the library,
// and the measuring behaviour they share.
//
// A bright reading is taken once, in startMeasure(), and handed out by
// GetColor(); a dim one (Y below 10) is taken again in GetColor() and the two
// are averaged, so the monitor is told to wait twice as long.
class LibrarySensor : public CSensor
{
    Q_OBJECT

public:
    // What startMeasure() returns: the reading failed, it was bright, it was dim.
    static constexpr int FailedWait = 100;
    static constexpr int BrightWait = 1000;
    static constexpr int DimWait = 2000;
    static constexpr double DimLuminance = 10.0;
    // Calibration-list entries read at most; a list from an outside library
    // that runs in a circle or has lost its end is cut here.
    static constexpr int MaxCalListEntries = 1024;

    ~LibrarySensor() override;

    // Binds the library, then opens, initialises and identifies the instrument
    // at port through it; the handle is kept only once all three succeed.
    bool init(QString port) override;
    void release() override;
    int startMeasure() override;
    void stopMeasure() override;
    CColor GetColor() override;

    bool isMeasured() const { return measured; }
    bool isLowLight() const { return lowLight; }
    CColor getReading() const { return reading; }
    QStringList getCalNames() const { return calNames; }
    QList<int> getCalChannels() const { return calChannels; }

protected:
    // tag names the driver in the debug log.
    LibrarySensor(const char* tag, QObject* parent);

    // Loads baseName (see SensorLibrary) afresh, after giving back what an
    // earlier attempt left loaded; tells the user and returns false when it
    // cannot be loaded.
    bool loadLibrary(const QString& baseName);
    // Gives the handle back and unloads the library. Subclasses call it from
    // their destructors, where their mac_DeviceRelease() is still theirs.
    void closeLibrary();
    // Resolves symbol into fn; null when the library lacks it.
    template <typename Fn>
    bool resolve(Fn& fn, const char* symbol)
    {
        fn = reinterpret_cast<Fn>(library.resolve(symbol));
        return fn != nullptr;
    }
    // Tells the user that the loaded library lacks an entry point.
    void resolveFailed(const QString& baseName);

    // The steps of init() that fail, for the driver's own message.
    enum class OpenStep { Open, Init, Info };
    // What the instrument tells of itself.
    struct Identity {
        QString product;
        QString serialNumber;
        QString firmwareVersion;
    };

    // Loads the library and resolves every entry point; tells the user and
    // returns false otherwise.
    virtual bool bindLibrary() = 0;
    // The library's calls behind init(); 0 on success, else the library's code.
    virtual int mac_DeviceOpen(void** device, const char* port) = 0;
    virtual int mac_DeviceInit(void* device) = 0;
    virtual int mac_DeviceInfo(void* device, Identity* identity) = 0;
    // The text the user is shown when step fails with the library's code.
    virtual QString openFailure(OpenStep step, int code) const = 0;
    // The library's reading of X, Y, Z; 0 on success, else the library's code.
    virtual int mac_MeasureXYZ(double* xyz) = 0;
    // Gives a device handle back to the library.
    virtual void mac_DeviceRelease(void* device) = 0;
    CColor mac_GetColor();
    void clearCalList();
    void addCalEntry(int channel, const QString& calName);

    const char* const tag;
    QLibrary library;
    void* handle = nullptr;
    CColor reading;
    bool measured = false;
    bool lowLight = false;
    QStringList calNames;
    QList<int> calChannels;
};

#endif // LIBRARYSENSOR_H
