#ifndef PASSBYTES_H
#define PASSBYTES_H

#include "wipeschedule.h"

#include <cstddef>

// Produces the bytes of one wipe's passes. Both executors take their bytes from
// here, so the same algorithm and generator state give the same bytes in a file
// and on a token. Random bytes come from the thread's qrand() sequence.
class PassBytes
{
public:
    // Starts a pass. A RandomByte pass makes its single draw here.
    void beginPass(const WipePass &pass);

    // Fills the next size bytes of the current pass. RandomData draws once per
    // byte, in byte order; the other kinds draw nothing.
    void fill(unsigned char *data, std::size_t size);

    // True when every byte of the current pass is uniformByte().
    bool isUniform() const { return m_kind != PassKind::RandomData; }
    quint8 uniformByte() const { return m_byte; }

    // Seeds the generator as the file executor does before its first pass.
    static void seedFromClock();

private:
    PassKind m_kind = PassKind::FixedByte;
    quint8 m_byte = 0;
    quint8 m_drawnByte = 0; // kept for the ComplementByte pass that follows
};

#endif // PASSBYTES_H
