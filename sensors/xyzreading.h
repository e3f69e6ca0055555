#ifndef XYZREADING_H
#define XYZREADING_H

// The tristimulus values a reading command decodes from its reply, shared by
// the instruments' reading commands. Zero until a reply supplies them.
class XyzReading
{
public:
    float x() const { return m_xyz[0]; }
    float y() const { return m_xyz[1]; }
    float z() const { return m_xyz[2]; }

protected:
    // X, Y and Z in that order, for the command's handler to fill.
    float m_xyz[3] = {0.0f, 0.0f, 0.0f};
};

#endif // XYZREADING_H
