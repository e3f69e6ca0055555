#ifndef LIBRARYSENSORTEST_H
#define LIBRARYSENSORTEST_H

#include "csensor.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

// What the drivers that reach their instrument through a library loaded at run
// time have in common, tested once for each: finding and binding the library,
// opening the instrument, readings that fail, black, and giving the handle back.
// A test of one such driver derives from it and steers its library's
// instrument through the hooks; these cases run before the driver's own, so
// nothing has loaded its library when the first of them looks for it.
class LibrarySensorTest : public QObject
{
    Q_OBJECT

public:
    using ReadingSource = std::function<std::array<double, 3>()>;

protected:
    // A new driver, not opened, and the port its init() is given.
    virtual std::unique_ptr<CSensor> newSensor() = 0;
    virtual QString port() const = 0;
    // The library's base name, e.g. "libmlink_k10".
    virtual QString library() const = 0;
    // What the instrument tells of itself.
    virtual QString serialNumber() const = 0;
    virtual QString firmwareVersion() const = 0;
    // Readings taken and instruments opened through the library so far, and
    // devices it holds open now.
    virtual int readings() = 0;
    virtual int opens() = 0;
    virtual int held() = 0;
    // The next open fails at fault (the driver's own rows, see
    // addOpenFailures()); returns the port to open.
    virtual QString injectOpenFault(const QByteArray& fault) = 0;
    virtual void addOpenFailures() = 0;
    virtual void setPatch(double x, double y, double z) = 0;
    virtual void setReadingSource(ReadingSource source) = 0;
    // The next count readings fail; the texts shown when startMeasure() and
    // GetColor() meet such a failure, and when a closed driver is asked.
    virtual void failReadings(int count) = 0;
    virtual QStringList failureTexts() const = 0;
    virtual QString closedText() const = 0;
    // What startMeasure() returns for a sound reading of luminance y.
    virtual int waitFor(double y) const = 0;
    // Whether a reading that failed twice is announced (as no data).
    virtual bool announcesNoData() const = 0;
    // A port init() refuses once the library is loaded, or null when none.
    virtual QString refusedPort() const { return QString(); }
    // Whether an open that fails leaves no serial number behind.
    virtual bool identifiesOnlyWhenOpen() const { return true; }
    // Checks what the driver leaves after a failed startMeasure().
    virtual void afterFailedStart() {}
    // For an instrument that keeps matrices: its last slot, and the matrices
    // written and deleted through the library so far.
    virtual int lastSlot() const { return -1; }
    virtual int saves() { return 0; }
    virtual int deletes() { return 0; }

private slots:
    void missingLibraryIsNamed();
    void libraryWithoutTheFunctionsIsRefused();
    void openFailures_data();
    void openFailures();
    void initReadsTheIdentityOnce();
    void failedReadingIsTakenAgainInGetColor();
    void blackIsAReading();
    void readingSourceFeedsEveryReading();
    void releaseAndDestroyGiveTheHandleBack();
    void retriedInitLeavesNoLibraryMapped();
    void matricesKeepToTheirSlots();

private:
    std::unique_ptr<CSensor> openSensor();
};

#endif // LIBRARYSENSORTEST_H
