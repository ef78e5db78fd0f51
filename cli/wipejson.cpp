#include "wipejson.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

const char kResultFormat[] = "kestrik-kcc result 1";

namespace {

// null where a count is unknown, so that 0 always means none.
QJsonValue countOrNull(qint64 value)
{
    return value >= 0 ? QJsonValue(double(value)) : QJsonValue();
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

const char *searchWord(VolumeSearch::Status status)
{
    switch (status) {
    case VolumeSearch::Status::Done:
        return "done";
    case VolumeSearch::Status::Incomplete:
        return "incomplete";
    case VolumeSearch::Status::NoDevice:
        return "no-device";
    case VolumeSearch::Status::NoPermission:
        return "no-permission";
    case VolumeSearch::Status::Cancelled:
        return "cancelled";
    case VolumeSearch::Status::Failed:
        return "failed";
    case VolumeSearch::Status::NotAvailable:
        return "not-available";
    case VolumeSearch::Status::NotRun:
        break;
    }
    return nullptr;
}

// The medium's doubts in the journal's words; null for a token, or a file
// never looked at.
QJsonValue mediumJson(const WipeResult &result)
{
    const MediumVerdict &medium = result.file.medium;
    if (!medium.known)
        return QJsonValue();
    return QJsonObject{
        {"file_system", textOrNull(medium.fileSystem)},
        {"device", textOrNull(medium.device)},
        {"placement", placementId(medium.placement)},
        {"verification", result.entry.verification == VerificationWord::None ? QJsonValue()
                                                                              : QJsonValue(toWord(result.entry.verification))},
        {"limits", QJsonArray::fromStringList(limitIds(medium.limits))},
    };
}

QJsonValue searchJson(const VolumeSearch &search)
{
    const char *word = searchWord(search.status);
    if (!word)
        return QJsonValue();
    const bool read = search.status == VolumeSearch::Status::Done || search.status == VolumeSearch::Status::Incomplete;
    return QJsonObject{
        {"status", QLatin1String(word)},
        {"devices", QJsonArray::fromStringList(search.devices.isEmpty() && !search.device.isEmpty()
                                                   ? QStringList{search.device} : search.devices)},
        {"devices_not_read", QJsonArray::fromStringList(search.devicesNotRead)},
        {"bytes_read", double(search.bytesRead)},
        // A count only from a search that read something.
        {"key_blocks_found", read ? QJsonValue(search.survivors.size()) : QJsonValue()},
    };
}

QJsonValue fillJson(const WipeResult &result)
{
    if (result.entry.fill == FillWord::None)
        return QJsonValue();
    return QJsonObject{{"result", toWord(result.entry.fill)}, {"bytes_written", double(result.fill.bytesWritten)}};
}

} // namespace

QJsonObject tokenJson(const ListedToken &token)
{
    return QJsonObject{
        {"serial", token.serialNumber},
        {"label", token.name},
        {"model", token.detail},
        {"slot", double(token.record.slotId)},
    };
}

QJsonObject listedTokenJson(const ListedToken &token)
{
    QJsonObject listed = tokenJson(token);
    const TokenMaker maker = tokenMakerOf(token.record);
    listed.insert("maker", maker.known ? textOrNull(maker.maker) : QJsonValue());
    return listed;
}

QJsonObject targetJson(const WipeRequest &request, const WipeResult &result, int exitStatus)
{
    QJsonObject target{
        {"end_state", toWord(result.told)},
        {"kind", toWord(kindOf(result.told))},
        {"doubt", textOrNull(doubtOf(result.told))},
        {"exit_status", exitStatus},
        {"algorithm", QLatin1String(wipeAlgorithmId(request.plan.algorithm))},
        {"passes_planned", request.plan.passes.size()},
        {"recorded", result.journalled},
        {"seq", result.journalled ? QJsonValue(double(result.sequence)) : QJsonValue()},
        {"hash", result.journalled ? QJsonValue(result.entryHash) : QJsonValue()},
    };
    if (request.isFile()) {
        target.insert("target", "file");
        target.insert("path", QFileInfo(request.path).absoluteFilePath());
        target.insert("size", countOrNull(result.file.size));
        target.insert("passes_done", result.file.passesDone);
        target.insert("medium", mediumJson(result));
        target.insert("search", searchJson(result.search));
        target.insert("fill", fillJson(result));
    } else {
        QJsonObject token = tokenJson(*request.token);
        token.insert("maker", result.token.makerKnown ? textOrNull(result.token.tokenMaker) : QJsonValue());
        target.insert("target", "token");
        target.insert("token", token);
        target.insert("size", result.token.containerSize > 0 ? QJsonValue(double(result.token.containerSize)) : QJsonValue());
        target.insert("passes_done", result.token.passesDone);
    }
    return target;
}

QJsonObject tokenNotWipedJson(const QString &serial, EndState state, int exitStatus)
{
    return QJsonObject{
        {"target", "token"},
        {"token", QJsonObject{{"serial", serial}}},
        {"end_state", toWord(state)},
        {"kind", toWord(kindOf(state))},
        {"doubt", QJsonValue()},
        {"exit_status", exitStatus},
        {"passes_done", 0},
        {"recorded", false},
        {"seq", QJsonValue()},
        {"hash", QJsonValue()},
    };
}

void printResult(const char *mode, const char *listKey, const QJsonArray &items, int exitStatus)
{
    const QJsonObject document{
        {"format", QLatin1String(kResultFormat)},
        {"mode", QLatin1String(mode)},
        {QLatin1String(listKey), items},
        {"exit_status", exitStatus},
    };
    const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    std::fflush(stdout);
}
