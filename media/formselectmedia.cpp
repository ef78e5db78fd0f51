#include "formselectmedia.h"

#include <QListWidgetItem>

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

} // namespace

FormSelectMedia::FormSelectMedia(QWidget *parent)
    : QDialog(parent)
{
    ui.setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    mediaList.clear();
    ui.listWidgetMediaSlots->clear();

    // Code 2 is unused by the library; asking for it would only cost a context.
    for (uint32_t mediaType : {1u, 3u, 4u, 5u, 6u, 7u})
        appendMediaOfType(mediaType);
    if (notShown) {
        ui.labelListNote->setText(
            tr("Не показано носителей: %1 (список вмещает %2 носителя каждого типа).")
                .arg(notShown)
                .arg(VELMUX_MEDIA_LIST_CAPACITY));
        ui.labelListNote->setVisible(true);
    } else if (mediaList.isEmpty()) {
        ui.labelListNote->setText(
            tr("Носители не найдены. Подключите токен и откройте этот список снова кнопкой «...». "
                           "Показываются только инициализированные носители, не защищённые от записи."));
        ui.labelListNote->setVisible(true);
    }

    ui.buttonOk->setEnabled(false);
}

void FormSelectMedia::appendMediaOfType(uint32_t mediaType)
{
    velmux_ctx context = 0;
    if (VELMUX_FAILED(velmux_create_ctx(&context, mediaType)))
        return;

    MediaRecord records[VELMUX_MEDIA_LIST_CAPACITY] = {};
    uint32_t count = VELMUX_MEDIA_LIST_CAPACITY;
    if (VELMUX_FAILED(velmux_get_media_list(context, records, &count))) {
        velmux_destroy_ctx(context);
        return;
    }

    // A count past the capacity would read beyond the array.
    for (uint32_t i = 0; i < count && i < VELMUX_MEDIA_LIST_CAPACITY; ++i) {
        const MediaRecord &record = records[i];
        MediaInfo info = {};
        info.size = sizeof(MediaInfo);
        if (VELMUX_FAILED(velmux_get_media_info(context, &record, &info)))
            continue;

        mediaList.append(record);
        // One call: a "%1" inside a label must stay text.
        const QString text = QStringLiteral("%1 (%2, S/N %3)")
                                 .arg(fieldText(info.name, sizeof info.name),
                                      fieldText(info.detail, sizeof info.detail),
                                      fieldText(info.serialNumber, sizeof info.serialNumber));
        auto *item = new QListWidgetItem(text, ui.listWidgetMediaSlots);
        item->setData(Qt::UserRole, QVariant(static_cast<uint>(record.slotId)));
    }

    // A full list may hide more: ask again with room to spare, only to count them.
    if (count >= VELMUX_MEDIA_LIST_CAPACITY) {
        uint32_t total = count;
        for (uint32_t room = 4 * VELMUX_MEDIA_LIST_CAPACITY; room <= 4096; room *= 4) {
            std::vector<MediaRecord> all(room);
            uint32_t listed = room;
            if (VELMUX_FAILED(velmux_get_media_list(context, all.data(), &listed)))
                break;
            total = std::max(total, listed);
            if (listed < room)
                break;
        }
        if (total > VELMUX_MEDIA_LIST_CAPACITY)
            notShown += total - VELMUX_MEDIA_LIST_CAPACITY;
    }

    velmux_destroy_ctx(context);
}

bool FormSelectMedia::selectedMedia(MediaRecord &media, QString &text)
{
    const QList<QListWidgetItem *> selected = ui.listWidgetMediaSlots->selectedItems();
    if (selected.isEmpty())
        return false;

    // By position, not by slotId: two media can share a slotId (another type
    // code or another module), and the wipe must hit the token on this line.
    QListWidgetItem *item = selected.first();
    const int row = ui.listWidgetMediaSlots->row(item);
    if (row < 0 || row >= mediaList.size())
        return false;

    media = mediaList.at(row);
    text = item->text();
    return true;
}

void FormSelectMedia::itemChanged()
{
    ui.buttonOk->setEnabled(!ui.listWidgetMediaSlots->selectedItems().isEmpty());
}
