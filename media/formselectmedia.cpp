#include "formselectmedia.h"

#include <QListWidgetItem>

FormSelectMedia::FormSelectMedia(QWidget *parent)
    : QDialog(parent)
{
    ui.setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    mediaList.clear();
    ui.listWidgetMediaSlots->clear();

    for (uint32_t mediaType : listedMediaTypes)
        appendMediaOfType(mediaType);
    if (!moduleFailure.isEmpty()) {
        ui.labelListNote->setText(
            tr("Модуль PKCS#11 не загружен: %1. Исправьте путь в VELMUX_PKCS11_MODULE и откройте этот список "
               "снова кнопкой «...».")
                .arg(moduleFailure));
        ui.labelListNote->setVisible(true);
    } else if (notShown) {
        ui.labelListNote->setText(
            tr("Не показано носителей: %1 (список вмещает %n носителя каждого типа).", nullptr,
               int(VELMUX_MEDIA_LIST_CAPACITY))
                .arg(notShown));
        ui.labelListNote->setVisible(true);
    } else if (mediaList.isEmpty()) {
        ui.labelListNote->setText(
            tr("Носители не найдены. Подключите токен и откройте этот список снова кнопкой «...». "
                           "Показываются только инициализированные носители, не защищенные от записи."));
        ui.labelListNote->setVisible(true);
    }

    ui.buttonOk->setEnabled(false);
}

void FormSelectMedia::appendMediaOfType(uint32_t mediaType)
{
    for (const ListedToken &medium : listTokensOfType(mediaType, notShown, &moduleFailure)) {
        mediaList.append(medium);
        auto *item = new QListWidgetItem(medium.describe(), ui.listWidgetMediaSlots);
        item->setData(Qt::UserRole, QVariant(static_cast<uint>(medium.record.slotId)));
    }
}

bool FormSelectMedia::selectedMedia(ListedToken &medium) const
{
    const QList<QListWidgetItem *> selected = ui.listWidgetMediaSlots->selectedItems();
    if (selected.isEmpty())
        return false;
    // By position, not by slotId: two media can share a slotId (another type
    // code or another module), and the wipe must hit the token on this line.
    const int row = ui.listWidgetMediaSlots->row(selected.first());
    if (row < 0 || row >= mediaList.size())
        return false;
    medium = mediaList.at(row);
    return true;
}

bool FormSelectMedia::selectedMedia(MediaRecord &media, QString &text) const
{
    ListedToken medium;
    if (!selectedMedia(medium))
        return false;
    media = medium.record;
    text = ui.listWidgetMediaSlots->selectedItems().first()->text();
    return true;
}

void FormSelectMedia::itemChanged()
{
    ui.buttonOk->setEnabled(!ui.listWidgetMediaSlots->selectedItems().isEmpty());
}
