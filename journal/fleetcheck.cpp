#include "fleetcheck.h"

#include "eventstore.h"
#include "journal.h"
#include "journalhead.h"
#include "sha256.h"
#include "signing.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

namespace fleet {

namespace {

constexpr int kBatch = 256;

// One entry's line taken apart where it needs to be: its top-level fields are
// found as the writer put them (a raw `"name":` is a key, never inside a
// string); where one is not found once, the line is parsed whole.
struct Parsed {
    bool whole = false;
    qint64 seq = 0;
    QByteArray prev, sig, phase, state;
    qint64 unsignedBefore = -1;
    QByteArray signedBytes;
};

int onlyAt(const QByteArray &line, const char *mark)
{
    const int at = line.indexOf(mark);
    return at >= 0 && line.indexOf(mark, at + 1) < 0 ? at + int(qstrlen(mark)) : (at < 0 ? -1 : -2);
}

QByteArray textAt(const QByteArray &line, int at)
{
    const int end = line.indexOf('"', at);
    return end < 0 ? QByteArray() : line.mid(at, end - at);
}

qint64 numberAt(const QByteArray &line, int at)
{
    int end = at;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9')
        ++end;
    return line.mid(at, end - at).toLongLong();
}

bool parseFast(const QByteArray &line, Parsed *p)
{
    const int seq = onlyAt(line, "\"seq\":"), prev = onlyAt(line, "\"prev\":\""), sig = onlyAt(line, "\"sig\":\"");
    const int phase = onlyAt(line, "\"phase\":\""), state = onlyAt(line, "\"state\":\"");
    const int before = onlyAt(line, "\"unsigned_before\":");
    if (seq < 0 || prev < 0 || sig == -2 || phase == -2 || state == -2 || before == -2 || !line.startsWith('{'))
        return false;
    p->seq = numberAt(line, seq);
    p->prev = textAt(line, prev);
    if (phase >= 0)
        p->phase = textAt(line, phase);
    if (state >= 0)
        p->state = textAt(line, state);
    if (before >= 0)
        p->unsignedBefore = numberAt(line, before);
    if (sig >= 0) {
        p->sig = textAt(line, sig);
        const int from = sig - int(qstrlen(",\"sig\":\""));
        if (from < 0 || line[from] != ',')
            return false;
        p->signedBytes = line;
        p->signedBytes.remove(from, sig - from + p->sig.size() + 1);
    }
    p->whole = true;
    return true;
}

void parseSlow(const QByteArray &line, Parsed *p)
{
    QJsonParseError error;
    QJsonObject o = QJsonDocument::fromJson(line, &error).object();
    if (error.error != QJsonParseError::NoError || !o.value("seq").isDouble() || !o.value("prev").isString())
        return;
    p->whole = true;
    p->seq = qint64(o.value("seq").toDouble());
    p->prev = o.value("prev").toString().toLatin1();
    p->phase = o.value("phase").toString().toUtf8();
    p->state = o.value("result").toObject().value("state").toString().toUtf8();
    if (o.value("unsigned_before").isDouble())
        p->unsignedBefore = qint64(o.value("unsigned_before").toDouble());
    if (o.value("sig").isString()) {
        p->sig = o.value("sig").toString().toLatin1();
        const QByteArray field = ",\"sig\":\"" + p->sig + '"';
        const int at = line.indexOf(field);
        if (at > 0 && line.indexOf(field, at + 1) < 0) {
            p->signedBytes = line;
            p->signedBytes.remove(at, field.size());
        } else {
            o.remove("sig");
            p->signedBytes = QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
    }
}

enum class Seal : quint8 { Holds, Fails, Unsigned, Malformed, NotPinned, Omitted };

// What is kept of one event: its place and the hashes that link it.
struct Checked {
    qint64 seq = 0;
    QByteArray hash, prev; // SHA-256, raw
    qint64 unsignedBefore = -1;
    qint64 headSeq = -1;
    int file = 0;
    int line = 0;
    Seal seal = Seal::Malformed;
    bool ended = false;
    QByteArray state;
};

struct Batch {
    int file = 0;
    std::vector<int> installation;
    std::vector<QByteArray> keys;
    std::vector<eventstore::Event> events;
    std::vector<Checked> checked;
    QSemaphore done;
};

qint64 headSeqOf(const QByteArray &head)
{
    const int at = onlyAt(head, "\"seq\":");
    return at >= 0 ? numberAt(head, at) : -1;
}

Checked checkOne(const eventstore::Event &event, const QByteArray &key)
{
    Checked c;
    c.line = event.line;
    c.headSeq = headSeqOf(event.head);
    if (key.isEmpty()) {
        c.seal = Seal::NotPinned;
        return c;
    }
    if (event.entry.isEmpty()) {
        c.seal = Seal::Omitted;
        c.seq = event.omitted;
        return c;
    }
    Parsed p;
    if (!parseFast(event.entry, &p))
        parseSlow(event.entry, &p);
    if (!p.whole)
        return c;
    c.seq = p.seq;
    c.hash = sha256(event.entry);
    c.prev = QByteArray::fromHex(p.prev);
    c.unsignedBefore = p.unsignedBefore;
    c.ended = p.phase.isEmpty();
    c.state = p.state;
    if (p.sig.isEmpty())
        c.seal = Seal::Unsigned;
    else
        c.seal = SigningKey::verify(p.signedBytes, QByteArray::fromBase64(p.sig), key) ? Seal::Holds : Seal::Fails;
    return c;
}

QString hex(const QByteArray &raw)
{
    return QString::fromLatin1(raw.toHex());
}

} // namespace

struct Installation {
    QString host;
    QString key;
    std::vector<Checked> entries;
    QByteArray lastHead; // the head naming the highest number
    qint64 lastHeadSeq = -1;
    int lastHeadFile = 0;
    int lastHeadLine = 0;
    bool failed = false;
    QByteArray pinned; // its key, where pinned
};

class FleetState
{
public:
    FleetState(const QHash<QString, QByteArray> &pinned, CollectionReport *report, QThreadPool *pool)
        : pinned(pinned), report(report), pool(pool)
    {
    }

    void run(const QStringList &paths)
    {
        const int threads = std::max(1, pool->maxThreadCount());
        std::deque<std::shared_ptr<Batch>> flight;
        auto current = std::make_shared<Batch>();
        const auto submit = [&] {
            if (current->events.empty())
                return;
            const std::shared_ptr<Batch> batch = current;
            pool->start([this, batch] { work(*batch); });
            flight.push_back(batch);
            current = std::make_shared<Batch>();
            // Bounded: no more batches in flight than a few for each core.
            while (int(flight.size()) > 3 * threads) {
                merge(*flight.front());
                flight.pop_front();
            }
        };
        for (const QString &path : paths) {
            files << path;
            const eventstore::Format format = eventstore::formatOf(path);
            QString error;
            const bool read = eventstore::readEvents(path, format, [&](eventstore::Event &&event) {
                current->file = int(files.size()) - 1;
                const int which = installationOf(event.host, event.key);
                current->installation.push_back(which);
                current->keys.push_back(installations[std::size_t(which)].pinned);
                current->events.push_back(std::move(event));
                if (int(current->events.size()) >= kBatch)
                    submit();
            }, &error);
            submit();
            if (!read)
                fail(int(files.size()) - 1, 0, error);
        }
        while (!flight.empty()) {
            merge(*flight.front());
            flight.pop_front();
        }
    }

    void work(Batch &batch)
    {
        batch.checked.reserve(batch.events.size());
        for (std::size_t i = 0; i < batch.events.size(); ++i) {
            Checked c = checkOne(batch.events[i], batch.keys[i]);
            c.file = batch.file;
            batch.checked.push_back(std::move(c));
        }
        batch.done.release();
    }

    void merge(Batch &batch)
    {
        batch.done.acquire();
        for (std::size_t i = 0; i < batch.checked.size(); ++i) {
            Installation &in = installations[std::size_t(batch.installation[i])];
            Checked &c = batch.checked[i];
            ++report->events;
            if (c.headSeq > in.lastHeadSeq) {
                in.lastHeadSeq = c.headSeq;
                in.lastHead = batch.events[i].head;
                in.lastHeadFile = c.file;
                in.lastHeadLine = c.line;
            }
            in.entries.push_back(std::move(c));
        }
    }

    // A file's events mostly come from one installation: the last one found
    // is asked first.
    int installationOf(const QString &host, const QString &key)
    {
        if (last >= 0 && installations[std::size_t(last)].key == key && installations[std::size_t(last)].host == host)
            return last;
        const QString id = host + QLatin1Char('\n') + key;
        const auto found = index.constFind(id);
        if (found != index.constEnd())
            return last = *found;
        installations.push_back({host, key, {}, {}, -1, 0, 0, false, pinned.value(key)});
        index.insert(id, int(installations.size()) - 1);
        return last = int(installations.size()) - 1;
    }

    void fail(int file, int line, const QString &why)
    {
        report->eventsFailed = true;
        report->failures.append({files.value(file), line, why});
    }

    void fail(Installation &in, const Checked &at, const QString &why)
    {
        in.failed = true;
        fail(at.file, at.line, QCoreApplication::translate("FleetCheck", "хост %1, ключ %2…: ").arg(in.host, in.key.left(16)) + why);
    }

    // The installation's entries in number order, each once: a resent event
    // counts once, two different entries of one number are named.
    std::vector<Checked> ordered(Installation &in, const QMultiHash<QString, CopiedEntry> &copied)
    {
        std::sort(in.entries.begin(), in.entries.end(), [](const Checked &a, const Checked &b) {
            return a.seq != b.seq ? a.seq < b.seq : a.file != b.file ? a.file < b.file : a.line < b.line;
        });
        std::vector<Checked> chain;
        for (Checked &e : in.entries) {
            if (e.seal == Seal::NotPinned) {
                fail(in, e, QCoreApplication::translate("FleetCheck", "ключа нет среди закрепленных ключей: события не проверены"));
                return {};
            }
            if (e.seal == Seal::Malformed) {
                fail(in, e, QCoreApplication::translate("FleetCheck", "событие несет не запись журнала"));
                continue;
            }
            if (e.seal == Seal::Omitted) {
                const QList<CopiedEntry> held = copied.values(in.key + QLatin1Char('/') + QString::number(e.seq));
                if (held.isEmpty()) {
                    fail(in, e, QCoreApplication::translate("FleetCheck", "событие записи %1 не несет самой записи (длиннее строки системного журнала), а в собранном "
                                   "журнале ее нет").arg(e.seq));
                    continue;
                }
                e.hash = QByteArray::fromHex(held.first().hash.toLatin1());
            }
            if (!chain.empty() && chain.back().seq == e.seq) {
                if (chain.back().hash != e.hash)
                    fail(in, e, QCoreApplication::translate("FleetCheck", "две разные записи %1 (другая: %2:%3)")
                                    .arg(e.seq).arg(files.value(chain.back().file)).arg(chain.back().line));
                continue;
            }
            chain.push_back(std::move(e));
        }
        in.entries.clear();
        in.entries.shrink_to_fit();
        return chain;
    }

    void walk(Installation &in, const std::vector<Checked> &chain)
    {
        qint64 unsignedBefore = 0;
        for (const Checked &e : chain)
            unsignedBefore = std::max(unsignedBefore, e.unsignedBefore);
        QByteArray previousHash = QByteArray::fromHex(Journal::genesisHash().toLatin1());
        qint64 expected = 1;
        bool previousNamed = false;
        for (const Checked &e : chain) {
            bool named = false;
            if (e.seq > expected) {
                fail(in, e, QCoreApplication::translate("FleetCheck", "записей %1–%2 нет среди событий (перед записью %3)").arg(expected).arg(e.seq - 1).arg(e.seq));
            } else if (e.seal != Seal::Omitted && e.prev != previousHash && !previousNamed) {
                fail(in, e, QCoreApplication::translate("FleetCheck", "запись %1 не сцеплена с записью %2: одна из них изменена").arg(e.seq).arg(e.seq - 1));
                named = true;
            }
            if (e.seal == Seal::Fails || (e.seal == Seal::Unsigned && e.seq > unsignedBefore)) {
                fail(in, e, e.seal == Seal::Fails ? QCoreApplication::translate("FleetCheck", "подпись записи %1 не сходится: запись изменена").arg(e.seq)
                                                  : QCoreApplication::translate("FleetCheck", "запись %1 без подписи").arg(e.seq));
                named = true;
            } else if (e.ended && e.seal != Seal::Omitted) {
                ++report->eventWipes[QString::fromUtf8(e.state)];
            }
            previousNamed = named;
            previousHash = e.hash;
            expected = e.seq + 1;
        }
        report->eventEntries += int(chain.size());
        lastOf(in, chain);
    }

    // The last head the events name, against the last entry they hold.
    void lastOf(Installation &in, const std::vector<Checked> &chain)
    {
        if (in.lastHeadSeq < 0 || chain.empty())
            return;
        Checked at;
        at.file = in.lastHeadFile;
        at.line = in.lastHeadLine;
        journalchain::Head head;
        const QJsonObject o = QJsonDocument::fromJson(in.lastHead).object();
        head.seq = qint64(o.value("seq").toDouble());
        head.hash = o.value("sha256").toString();
        head.size = qint64(o.value("size").toDouble());
        head.signature = o.value("sig").toString();
        head.generation = o.contains("gen") ? qint64(o.value("gen").toDouble()) : -1; // signed with the body
        for (const QJsonValue &v : o.value("open").toArray()) {
            const QJsonObject a = v.toObject();
            head.open.append({a.value("attempt").toString(), qint64(a.value("seq").toDouble()),
                              qint64(a.value("offset").toDouble()), qint64(a.value("length").toDouble()),
                              a.value("passes").toInt()});
        }
        if (!journalchain::headSignatureHolds(head, pinned.value(in.key))) {
            fail(in, at, QCoreApplication::translate("FleetCheck", "подпись головы журнала в событии не сходится"));
            return;
        }
        const qint64 last = chain.back().seq;
        if (head.seq > last)
            fail(in, at, QCoreApplication::translate("FleetCheck", "голова называет запись %1, а последняя среди событий — %2: записей %3–%1 нет")
                             .arg(head.seq).arg(last).arg(last + 1));
    }

    // Each event's entry against the copied journal of its installation.
    void against(Installation &in, const std::vector<Checked> &chain, const QMultiHash<QString, CopiedEntry> &copied,
                 const QVector<CopiedJournal> &journals)
    {
        for (const Checked &e : chain) {
            const QList<CopiedEntry> held = copied.values(in.key + QLatin1Char('/') + QString::number(e.seq));
            const QString hash = hex(e.hash);
            if (!held.isEmpty() && std::none_of(held.begin(), held.end(), [&](const CopiedEntry &c) { return c.hash == hash; }))
                fail(in, e, QCoreApplication::translate("FleetCheck", "запись %1 отличается от записи журнала %2:%3").arg(e.seq).arg(held.first().file)
                                .arg(held.first().line));
        }
        if (chain.empty())
            return;
        const Checked &last = chain.back();
        bool own = false;
        QString other;
        for (const CopiedJournal &j : journals) {
            if (j.key == in.key) {
                own = true;
                if (j.last < last.seq) {
                    in.failed = true;
                    report->eventsFailed = true;
                    report->failures.append({j.file, j.lastLine + 1, QCoreApplication::translate("FleetCheck", "хост %1, ключ %2…: журнал кончается записью "
                                             "%3, а события идут до записи %4 (%5:%6): журнал обрезан")
                                             .arg(in.host, in.key.left(16)).arg(j.last).arg(last.seq)
                                             .arg(files.value(last.file)).arg(last.line)});
                }
            } else if (j.host == in.host || j.host.section(QLatin1Char('.'), 0, 0) == in.host) {
                other = j.file;
            }
        }
        if (!own && !other.isEmpty())
            fail(in, last, QCoreApplication::translate("FleetCheck", "журнала этой установки среди собранных нет, а у хоста собран журнал другого ключа "
                              "(%1): журнал удален или заменен; события хранят записи до %2").arg(other).arg(last.seq));
    }

    void compare(const QMultiHash<QString, CopiedEntry> &copied, const QVector<CopiedJournal> &journals)
    {
        QSet<QString> hosts, troubled;
        for (Installation &in : installations) {
            const std::vector<Checked> chain = ordered(in, copied);
            walk(in, chain);
            against(in, chain, copied, journals);
            for (const Checked &e : chain)
                held[in.key].insert(e.seq, e.hash);
            hosts.insert(in.host);
            if (in.failed)
                troubled.insert(in.host);
        }
        report->installations = int(installations.size());
        report->eventFiles = files.size();
        for (const QString &host : hosts)
            (troubled.contains(host) ? report->hostsWithFindings : report->wholeHosts) << host;
        report->wholeHosts.sort();
        report->hostsWithFindings.sort();
    }

    QHash<QString, QHash<qint64, QByteArray>> held; // key → seq → SHA-256, raw

    const QHash<QString, QByteArray> &pinned;
    CollectionReport *report;
    QThreadPool *pool;
    QStringList files;
    std::vector<Installation> installations;
    QHash<QString, int> index;
    int last = -1;
};

FleetCheck::FleetCheck(const QHash<QString, QByteArray> &pinned, CollectionReport *report, QThreadPool *pool)
    : state(std::make_unique<FleetState>(pinned, report, pool))
{
}

FleetCheck::~FleetCheck() = default;

void FleetCheck::read(const QStringList &files)
{
    state->run(files);
}

void FleetCheck::compare(const QMultiHash<QString, CopiedEntry> &copied, const QVector<CopiedJournal> &journals)
{
    state->compare(copied, journals);
}

bool FleetCheck::knows(const QString &key) const
{
    return state->held.contains(key);
}

bool FleetCheck::holds(const QString &key, qint64 seq, QString *hash) const
{
    const auto installation = state->held.constFind(key);
    if (installation == state->held.constEnd() || !installation->contains(seq))
        return false;
    *hash = hex(installation->value(seq));
    return true;
}

} // namespace fleet
