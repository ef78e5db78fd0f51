#include "tokenlist.h"

#include "velmuxextra.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The library promises NUL-terminated fields, but a full field without its
// NUL must not run on into the next one.
QString fieldText(const char *field, size_t fieldSize)
{
    return QString::fromUtf8(field, static_cast<int>(strnlen(field, fieldSize)));
}

// A full list may hide more: ask again with room to spare, only to count them.
uint32_t countBeyondCapacity(velmux_ctx context, uint32_t listed)
{
    uint32_t total = listed;
    for (uint32_t room = 4 * VELMUX_MEDIA_LIST_CAPACITY; room <= 4096; room *= 4) {
        std::vector<MediaRecord> all(room);
        uint32_t count = room;
        if (VELMUX_FAILED(velmux_get_media_list(context, all.data(), &count)))
            break;
        total = std::max(total, count);
        if (count < room)
            break;
    }
    return total > VELMUX_MEDIA_LIST_CAPACITY ? total - VELMUX_MEDIA_LIST_CAPACITY : 0;
}

// Why the context just refused was not made, where a named module is the cause.
QString namedModuleFailure()
{
    auto moduleError = VELMUX_EXTRA(velmux_get_module_error);
    char text[1024] = {};
    if (!moduleError || VELMUX_FAILED(moduleError(text, sizeof text)))
        return QString();
    return fieldText(text, sizeof text);
}

} // namespace

QString ListedToken::describe() const
{
    // One call: a "%1" inside a label must stay text.
    return QStringLiteral("%1 (%2, S/N %3)").arg(name, detail, serialNumber);
}

QVector<ListedToken> listTokensOfType(uint32_t mediaType, uint32_t &notShown, QString *moduleFailure)
{
    QVector<ListedToken> media;
    velmux_ctx context = 0;
    const velmux_status created = velmux_create_ctx(&context, mediaType);
    if (created == VELMUX_E_MODULE && moduleFailure && moduleFailure->isEmpty())
        *moduleFailure = namedModuleFailure();
    if (VELMUX_FAILED(created))
        return media;

    MediaRecord records[VELMUX_MEDIA_LIST_CAPACITY] = {};
    uint32_t count = VELMUX_MEDIA_LIST_CAPACITY;
    if (VELMUX_FAILED(velmux_get_media_list(context, records, &count))) {
        velmux_destroy_ctx(context);
        return media;
    }
    // A count past the capacity would read beyond the array.
    for (uint32_t i = 0; i < count && i < VELMUX_MEDIA_LIST_CAPACITY; ++i) {
        MediaInfo info = {};
        info.size = sizeof(MediaInfo);
        if (VELMUX_FAILED(velmux_get_media_info(context, &records[i], &info)))
            continue;
        media.append({records[i], fieldText(info.name, sizeof info.name),
                      fieldText(info.detail, sizeof info.detail),
                      fieldText(info.serialNumber, sizeof info.serialNumber)});
    }
    if (count >= VELMUX_MEDIA_LIST_CAPACITY)
        notShown += countBeyondCapacity(context, count);
    velmux_destroy_ctx(context);
    return media;
}

QVector<ListedToken> listTokens(uint32_t *notShown, QString *moduleFailure)
{
    QVector<ListedToken> media;
    uint32_t beyond = 0;
    for (uint32_t mediaType : listedMediaTypes)
        media += listTokensOfType(mediaType, beyond, moduleFailure);
    if (notShown)
        *notShown = beyond;
    return media;
}
