#include "passbytes.h"

#include <QDateTime>
#include <cstring>
#include <cstdlib>

// qrand()/qsrand() are deprecated in Qt 5.15, but they are the generator whose
// sequence both executors share, so the warning is silenced here alone.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace {

inline quint8 drawByte()
{
    return static_cast<quint8>(qrand() & 0xFF);
}

} // namespace

void PassBytes::seedFromClock()
{
    qsrand(static_cast<uint>(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFFu));
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
        m_drawnByte = drawByte();
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
    for (std::size_t i = 0; i < size; ++i)
        data[i] = drawByte();
}

QT_WARNING_POP
