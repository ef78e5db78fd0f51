#include "volumesearch.h"

// Reading a raw volume on Windows needs an administrator's handle on it; the
// search and the fill are not offered there.
class KeyFingerprint
{
};

KeyReach keyReach(const KeyFingerprint &)
{
    return KeyReach();
}

KeyFingerprintPtr fingerprintFile(int, qint64, const QString &)
{
    return nullptr;
}

VolumeSearch searchVolume(const KeyFingerprint &, const VolumeProgress &)
{
    VolumeSearch search;
    search.status = VolumeSearch::Status::NotAvailable;
    return search;
}

FreedFill fillFreedBlocks(const KeyFingerprint &, const VolumeProgress &)
{
    FreedFill fill;
    fill.status = FreedFill::Status::NotAvailable;
    return fill;
}
