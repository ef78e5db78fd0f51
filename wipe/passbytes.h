#ifndef PASSBYTES_H
#define PASSBYTES_H

#include "wipeschedule.h"

#include <cstddef>
#include <memory>

// Produces the bytes of one wipe's passes. Both executors take their bytes from
// here, so the same algorithm and generator state give the same bytes in a file
// and on a token. Random bytes come from the thread's qrand() sequence.
class PassBytes
{
public:
    // How the generator was just seeded, and whether its values can be
    // computed here: true where qrand() was checked to be Qt 5.15's minstd.
    struct Seed {
        uint value = 0;
        bool computable = false;
    };

    // Draws through qrand() one value at a time.
    PassBytes() = default;
    // For a wipe that has just seeded the generator: where the seed says the
    // values are computable, they are computed here without a call per byte,
    // exactly as qrand() would give them, and the generator gets the final
    // state back when this object goes, so later draws continue the sequence.
    explicit PassBytes(const Seed &seed);
    ~PassBytes();
    PassBytes(const PassBytes &) = delete;
    PassBytes &operator=(const PassBytes &) = delete;

    // Starts a pass. A RandomByte pass makes its single draw here.
    void beginPass(const WipePass &pass);

    // Fills the next size bytes of the current pass. RandomData draws once per
    // byte, in byte order; the other kinds draw nothing.
    void fill(unsigned char *data, std::size_t size);

    // True when every byte of the current pass is uniformByte().
    bool isUniform() const { return m_kind != PassKind::RandomData; }
    // Whether fill() may run on another thread: computed values touch no
    // thread's generator until this object goes.
    bool fillsOnAnyThread() const { return m_computed; }
    quint8 uniformByte() const { return m_byte; }

    // The bytes of the current pass once more from its first byte, drawing
    // from no generator, to read the pass back against; null where its
    // values are drawn from qrand() and cannot be made again.
    std::unique_ptr<PassBytes> replayOfPass() const;

    // Seeds the generator as the file executor does before its first pass.
    static Seed seedFromClock();

private:
    quint8 draw();
    void fillComputed(unsigned char *data, std::size_t size);

    bool m_computed = false; // values computed here, see PassBytes(const Seed &)
    bool m_handsBack = true; // gives the generator its state back when it goes
    quint32 m_state = 0;     // the generator's state while m_computed
    PassKind m_kind = PassKind::FixedByte;
    quint8 m_byte = 0;
    quint8 m_drawnByte = 0; // kept for the ComplementByte pass that follows
};

#endif // PASSBYTES_H
