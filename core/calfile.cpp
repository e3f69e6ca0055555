#include "calfile.h"

#include <QDebug>

#include <utility>

Calfile::Calfile() = default;

Calfile::Calfile(double** rows, int id_, QString name_)
    : id(id_), name(std::move(name_))
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            data[r][c] = rows && rows[r] ? rows[r][c] : 0.0;
}

bool Calfile::validIndex(int row, int col)
{
    return static_cast<unsigned>(row) <= 2 && static_cast<unsigned>(col) <= 2;
}

int Calfile::SetId(int id_)
{
    if (static_cast<unsigned>(id_) > kMaxSlot) {
        qDebug("SetId %d invalid\n", id_);
        return 1;
    }
    id = id_;
    return 0;
}

void Calfile::SetName(QString name_)
{
    name = std::move(name_);
}

double& Calfile::operator()(int row, int col)
{
    if (!validIndex(row, col)) {
        qDebug("invalid [%d][%d]", row, col);
        return data[0][0];
    }
    return data[row][col];
}

double Calfile::operator()(int row, int col) const
{
    if (!validIndex(row, col)) {
        qDebug("invalid [%d][%d]", row, col);
        return data[0][0];
    }
    return data[row][col];
}

int Calfile::SetData(int row, int col, double value)
{
    if (!validIndex(row, col)) {
        qDebug("invalid [%d][%d]", row, col);
        return 1;
    }
    data[row][col] = value;
    qDebug("SetData [%d][%d]=%f", row, col, value);
    return 0;
}

void Calfile::Clear()
{
    name.clear();
    id = 0;
    for (auto& row : data)
        for (double& e : row)
            e = 0.0;
}
