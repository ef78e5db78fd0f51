#include "entryfields.h"

#include "journal.h"

#include <QJsonArray>

namespace {

QJsonArray strings(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList stringsOf(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list << item.toString();
    return list;
}

} // namespace

void insertCertificateFields(const JournalEntry &e, QJsonObject &object)
{
    QJsonObject target = object.value("target").toObject();
    if (e.targetKind == JournalEntry::TargetKind::Token) {
        target.insert("token_maker", e.tokenMaker);
    } else {
        QJsonArray disks;
        for (const JournalEntry::Disk &d : e.disks)
            disks.append(QJsonObject{{"name", d.name}, {"maker", d.maker}, {"model", d.model},
                                     {"serial", d.serial}, {"transport", d.transport}, {"kind", d.kind}});
        if (!disks.isEmpty())
            target.insert("disks", disks);
        if (!e.deviceLimits.isEmpty())
            target.insert("device_limits", strings(e.deviceLimits));
    }
    object.insert("target", target);
    if (!e.passPatterns.isEmpty()) {
        QJsonObject passes = object.value("passes").toObject();
        passes.insert("patterns", strings(e.passPatterns));
        object.insert("passes", passes);
    }
    if (!e.operatorSource.isEmpty())
        object.insert("operator", QJsonObject{{"name", e.operatorName},
                                              {"title", e.operatorTitle},
                                              {"organisation", e.operatorOrganisation},
                                              {"location", e.operatorLocation},
                                              {"phone", e.operatorPhone},
                                              {"source", e.operatorSource}});
    QJsonObject fields;
    for (auto i = e.organisationFields.cbegin(); i != e.organisationFields.cend(); ++i)
        fields.insert(i.key(), i.value());
    if (!fields.isEmpty())
        object.insert("organisation_fields", fields);
}

void readCertificateFields(const QJsonObject &object, JournalEntry &e)
{
    const QJsonObject target = object.value("target").toObject();
    e.tokenMaker = target.value("token_maker").toString();
    for (const QJsonValue &value : target.value("disks").toArray()) {
        const QJsonObject d = value.toObject();
        e.disks.append({d.value("name").toString(), d.value("maker").toString(), d.value("model").toString(),
                        d.value("serial").toString(), d.value("transport").toString(), d.value("kind").toString()});
    }
    e.deviceLimits = stringsOf(target.value("device_limits"));
    e.passPatterns = stringsOf(object.value("passes").toObject().value("patterns"));
    const QJsonObject who = object.value("operator").toObject();
    e.operatorName = who.value("name").toString();
    e.operatorTitle = who.value("title").toString();
    e.operatorOrganisation = who.value("organisation").toString();
    e.operatorLocation = who.value("location").toString();
    e.operatorPhone = who.value("phone").toString();
    e.operatorSource = who.value("source").toString();
    const QJsonObject fields = object.value("organisation_fields").toObject();
    for (auto i = fields.begin(); i != fields.end(); ++i)
        e.organisationFields.insert(i.key(), i.value().toString());
}
