#include "passbytes.h"

#include <QDateTime>
#include <cstring>
#include <cstdlib>

// qrand()/qsrand() are deprecated in Qt 5.15, but they are the generator whose
// sequence both executors share, so the warning is silenced here alone.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace {

// Qt 5.15's qrand() is the thread's std::minstd_rand: x' = 48271 x mod
// (2^31 - 1), the value returned whole, seeded by qsrand(s) with s mod m (1
// for 0). Its library form divides on every call; the same values come from
// a Mersenne reduction, and several lanes that each jump ahead let the
// processor work on several draws at once.
constexpr quint32 mod = 2147483647u;
constexpr quint32 mul = 48271u;
constexpr int lanes = 32;

constexpr quint32 mulMod(quint32 a, quint32 x)
{
    // a x < 2^62; modulo 2^31 - 1 it equals the sum of its 31-bit halves,
    // folded once more. The product is never a multiple of m for x in
    // [1, m - 1], so the result is never m and needs no final subtraction.
    const quint64 p = quint64(a) * x;
    const quint32 r = quint32(p & mod) + quint32(p >> 31);
    return (r & mod) + (r >> 31);
}
constexpr quint32 power(quint32 a, int n) { return n == 0 ? 1u : mulMod(a, power(a, n - 1)); }
constexpr quint32 jumpMul = power(mul, lanes);

constexpr quint32 initialState(uint seed)
{
    const quint32 s = seed % mod;
    return s == 0 ? 1u : s;
}

// Whether qrand() here is that generator, with qsrand() setting its state.
// Reseeds the generator: only to be called right before it is seeded anyway.
bool qrandIsMinstd()
{
    for (uint seed : {0u, 1u, 48271u, 0x7FFFFFFFu, 0x9E3779B9u, 0xFFFFFFFFu}) {
        qsrand(seed);
        quint32 x = initialState(seed);
        for (int i = 0; i < 64; ++i) {
            x = mulMod(mul, x);
            if (qrand() != int(x))
                return false;
        }
        // Handing a state back must resume the sequence there.
        qsrand(x);
        if (qrand() != int(mulMod(mul, x)))
            return false;
    }
    return true;
}

} // namespace

PassBytes::Seed PassBytes::seedFromClock()
{
    static const bool known = qrandIsMinstd();
    const uint seed = static_cast<uint>(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFFu);
    qsrand(seed);
    return {seed, known};
}

PassBytes::PassBytes(const Seed &seed)
    : m_computed(seed.computable)
    , m_state(initialState(seed.value))
{
}

PassBytes::~PassBytes()
{
    if (m_computed && m_handsBack)
        qsrand(m_state);
}

std::unique_ptr<PassBytes> PassBytes::replayOfPass() const
{
    if (!isUniform() && !m_computed)
        return nullptr;
    std::unique_ptr<PassBytes> replay(new PassBytes);
    replay->m_computed = m_computed;
    replay->m_handsBack = false;
    replay->m_state = m_state;
    replay->m_kind = m_kind;
    replay->m_byte = m_byte;
    replay->m_drawnByte = m_drawnByte;
    return replay;
}

quint8 PassBytes::draw()
{
    if (!m_computed)
        return static_cast<quint8>(qrand() & 0xFF);
    m_state = mulMod(mul, m_state);
    return quint8(m_state);
}

void PassBytes::beginPass(const WipePass &pass)
{
    m_kind = pass.kind;
    switch (pass.kind) {
    case PassKind::FixedByte:
        m_byte = pass.value;
        break;
    case PassKind::RandomData:
        m_byte = 0;
        break;
    case PassKind::RandomByte:
        m_drawnByte = draw();
        m_byte = m_drawnByte;
        break;
    case PassKind::ComplementByte:
        m_byte = static_cast<quint8>(~m_drawnByte);
        break;
    }
}

void PassBytes::fill(unsigned char *data, std::size_t size)
{
    if (m_kind != PassKind::RandomData) {
        if (size > 0)
            std::memset(data, m_byte, size);
        return;
    }
    if (m_computed) {
        fillComputed(data, size);
        return;
    }
    for (std::size_t i = 0; i < size; ++i)
        data[i] = draw();
}

void PassBytes::fillComputed(unsigned char *data, std::size_t size)
{
    std::size_t i = 0;
    if (size >= std::size_t(lanes)) {
        quint32 lane[lanes];
        quint32 x = m_state;
        for (quint32 &l : lane)
            l = x = mulMod(mul, x);
        for (; i + lanes <= size; i += lanes) {
            for (int k = 0; k < lanes; ++k)
                data[i + k] = quint8(lane[k]);
            m_state = lane[lanes - 1];
            for (quint32 &l : lane)
                l = mulMod(jumpMul, l);
        }
    }
    for (; i < size; ++i)
        data[i] = draw();
}

QT_WARNING_POP
