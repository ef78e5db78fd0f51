#include "medialist.h"

#include <cstring>

QString mediaInfoText(const char *field, size_t fieldSize)
{
    return QString::fromUtf8(field, static_cast<int>(strnlen(field, fieldSize)));
}

QVector<ListedMedium> listMedia()
{
    QVector<ListedMedium> media;
    for (uint32_t mediaType : {1u, 3u, 4u, 5u, 6u, 7u}) {
        velmux_ctx context = 0;
        if (VELMUX_FAILED(velmux_create_ctx(&context, mediaType)))
            continue;
        MediaRecord records[VELMUX_MEDIA_LIST_CAPACITY] = {};
        uint32_t count = VELMUX_MEDIA_LIST_CAPACITY;
        if (VELMUX_SUCCEEDED(velmux_get_media_list(context, records, &count))) {
            for (uint32_t i = 0; i < count && i < VELMUX_MEDIA_LIST_CAPACITY; ++i) {
                MediaInfo info = {};
                info.size = sizeof(MediaInfo);
                if (VELMUX_FAILED(velmux_get_media_info(context, &records[i], &info)))
                    continue;
                media.append({records[i], mediaInfoText(info.name, sizeof info.name),
                              mediaInfoText(info.detail, sizeof info.detail),
                              mediaInfoText(info.serialNumber, sizeof info.serialNumber)});
            }
        }
        velmux_destroy_ctx(context);
    }
    return media;
}
