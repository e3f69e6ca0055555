#ifndef CALFILE_H
#define CALFILE_H

#include <QString>

// A 3 x 3 calibration matrix as stored in an instrument's memory slot.
class Calfile
{
public:
    static constexpr int kMaxSlot = 95;

    Calfile();
    // Copies three doubles from each of rows[0..2]; the slot number is not checked.
    Calfile(double** rows, int id, QString name);

    // 0 on success; 1, with the slot unchanged, when id is outside 0..95.
    int SetId(int id);
    void SetName(QString name);
    // An index outside 0..2 is logged and yields element (0, 0).
    double& operator()(int row, int col);
    double operator()(int row, int col) const;
    // 0 on success; 1, with nothing changed, for an index outside 0..2.
    int SetData(int row, int col, double value);
    void Clear();

    int GetId() const { return id; }
    QString GetName() const { return name; }

private:
    static bool validIndex(int row, int col);

    double data[3][3] = {};
    int id = 0;
    QString name;
};

#endif // CALFILE_H
