#include "timestamp.h"

#include "gostengine.h"
#include "ownedptr.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QVector>

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/ess.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace timestamp {

namespace {

using Req = Owned<TS_REQ, TS_REQ_free>;
using Imprint = Owned<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>;
using Algor = Owned<X509_ALGOR, X509_ALGOR_free>;
using Integer = Owned<ASN1_INTEGER, ASN1_INTEGER_free>;
using Object = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using Resp = Owned<TS_RESP, TS_RESP_free>;
using Pkcs7 = Owned<PKCS7, PKCS7_free>;
using TstInfo = Owned<TS_TST_INFO, TS_TST_INFO_free>;
using VerifyCtx = Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free>;
using Store = Owned<X509_STORE, X509_STORE_free>;
using Bio = Owned<BIO, BIO_free_all>;
using Bignum = Owned<BIGNUM, BN_free>;
using StoreCtx = Owned<X509_STORE_CTX, X509_STORE_CTX_free>;
using EssCert = Owned<ESS_SIGNING_CERT, ESS_SIGNING_CERT_free>;
using EssCertV2 = Owned<ESS_SIGNING_CERT_V2, ESS_SIGNING_CERT_V2_free>;

void freeCertificates(STACK_OF(X509) *certificates)
{
    sk_X509_pop_free(certificates, X509_free);
}
void freeBorrowed(STACK_OF(X509) *certificates) // someone else's certificates
{
    sk_X509_free(certificates);
}
using Certificates = Owned<STACK_OF(X509), freeCertificates>;
using Borrowed = Owned<STACK_OF(X509), freeBorrowed>;

// What OpenSSL last said, or what the caller says where it said nothing.
QString openSslError(const QString &otherwise)
{
    const char *data = nullptr;
    int flags = 0;
    const unsigned long code = ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags);
    ERR_clear_error();
    const char *reason = code ? ERR_reason_error_string(code) : nullptr;
    if (!reason)
        return otherwise;
    QString text = otherwise + QStringLiteral(": ") + QString::fromLatin1(reason);
    if (data && (flags & ERR_TXT_STRING) && *data)
        text += QStringLiteral(" (%1)").arg(QString::fromLatin1(data));
    return text;
}

template <typename T>
QByteArray der(T *value, int (*encode)(const T *, unsigned char **))
{
    const int size = encode(value, nullptr);
    if (size <= 0)
        return QByteArray();
    QByteArray out(size, '\0');
    auto *at = reinterpret_cast<unsigned char *>(out.data());
    encode(value, &at);
    return out;
}

Integer integerOf(const QByteArray &bytes)
{
    Bignum number(BN_bin2bn(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size(), nullptr));
    return Integer(number ? BN_to_ASN1_INTEGER(number.get(), nullptr) : nullptr);
}

// The request: SHA-256 imprint, nonce, the authority's certificate asked for.
QByteArray requestDer(const QByteArray &digest, const QByteArray &nonce, const QString &policy, QString *why)
{
    Req req(TS_REQ_new());
    Imprint imprint(TS_MSG_IMPRINT_new());
    Algor algorithm(X509_ALGOR_new());
    const Integer nonceValue = integerOf(nonce);
    if (!req || !imprint || !algorithm || !nonceValue
        || !X509_ALGOR_set0(algorithm.get(), OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr)
        || !TS_MSG_IMPRINT_set_algo(imprint.get(), algorithm.get())
        || !TS_MSG_IMPRINT_set_msg(imprint.get(), reinterpret_cast<unsigned char *>(const_cast<char *>(digest.constData())),
                                   digest.size())
        || !TS_REQ_set_version(req.get(), 1) || !TS_REQ_set_msg_imprint(req.get(), imprint.get())
        || !TS_REQ_set_nonce(req.get(), nonceValue.get()) || !TS_REQ_set_cert_req(req.get(), 1)) {
        *why = openSslError(QCoreApplication::translate("Timestamp", "запрос метки времени не составлен"));
        return QByteArray();
    }
    if (!policy.isEmpty()) {
        const Object oid(OBJ_txt2obj(policy.toLatin1().constData(), 1));
        if (!oid || !TS_REQ_set_policy_id(req.get(), oid.get())) {
            *why = QCoreApplication::translate("Timestamp", "политика %1 в настройках — не идентификатор объекта").arg(policy);
            return QByteArray();
        }
    }
    return der<TS_REQ>(req.get(), i2d_TS_REQ);
}

QByteArray post(const TimestampSettings &settings, const QByteArray &body, int timeoutMs, QString *why)
{
    // The workstation's proxy settings, as the organisation set them.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(settings.url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/timestamp-query"));
    std::unique_ptr<QNetworkReply> reply(manager.post(request, body));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!reply->isFinished()) {
        reply->abort();
        *why = QCoreApplication::translate("Timestamp", "служба меток времени %1 не ответила за %2 с").arg(settings.url).arg(timeoutMs / 1000);
        return QByteArray();
    }
    if (reply->error() != QNetworkReply::NoError) {
        *why = QCoreApplication::translate("Timestamp", "служба меток времени %1: %2").arg(settings.url, reply->errorString());
        return QByteArray();
    }
    return reply->readAll();
}

// The nonce the token carries is the one sent (OpenSSL 3.0 has no setter
// for it in the verify context).
bool nonceMatches(PKCS7 *token, const QByteArray &nonce)
{
    const TstInfo info(PKCS7_to_TS_TST_INFO(token));
    const Integer sent = integerOf(nonce);
    const ASN1_INTEGER *got = info ? TS_TST_INFO_get_nonce(info.get()) : nullptr;
    return got && sent && ASN1_INTEGER_cmp(got, sent.get()) == 0;
}

// The token out of a granted response, checked for this digest and nonce.
QByteArray grantedToken(const QByteArray &response, const QByteArray &digest, const QByteArray &nonce, QString *why)
{
    const auto *at = reinterpret_cast<const unsigned char *>(response.constData());
    Resp resp(d2i_TS_RESP(nullptr, &at, response.size()));
    if (!resp) {
        *why = openSslError(QCoreApplication::translate("Timestamp", "ответ службы меток времени не прочитан"));
        return QByteArray();
    }
    const long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(TS_RESP_get_status_info(resp.get())));
    PKCS7 *token = TS_RESP_get_token(resp.get());
    if ((status != 0 && status != 1) || !token) {
        *why = QCoreApplication::translate("Timestamp", "служба меток времени отказала (состояние %1)").arg(status);
        return QByteArray();
    }
    VerifyCtx ctx(TS_VERIFY_CTX_new());
    auto *imprint = static_cast<unsigned char *>(OPENSSL_memdup(digest.constData(), size_t(digest.size())));
    TS_VERIFY_CTX_set_flags(ctx.get(), TS_VFY_VERSION | TS_VFY_IMPRINT);
    TS_VERIFY_CTX_set_imprint(ctx.get(), imprint, long(digest.size()));
    if (TS_RESP_verify_token(ctx.get(), token) != 1) {
        *why = openSslError(QCoreApplication::translate("Timestamp", "метка времени выдана не на эту запись"));
        return QByteArray();
    }
    if (!nonceMatches(token, nonce)) {
        *why = QCoreApplication::translate("Timestamp", "в метке времени не то случайное число, что в запросе");
        return QByteArray();
    }
    return der<PKCS7>(token, i2d_PKCS7);
}

QDateTime utcOf(const ASN1_GENERALIZEDTIME *time)
{
    struct tm parts = {};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return QDateTime();
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

// One DER element: its whole encoding and its contents.
struct Element {
    const unsigned char *whole = nullptr;
    long wholeSize = 0;
    const unsigned char *content = nullptr;
    long size = 0;
};

// Definite-length DER, element after element; anything else (BER's
// indefinite lengths, a tag out of place) stops it.
class DerReader
{
public:
    DerReader(const unsigned char *at, long size) : at(at), end(at + size) {}
    explicit DerReader(const Element &e) : DerReader(e.content, e.size) {}
    bool atEnd() const { return at == end; }
    // The next element if it is this tag and class; nothing taken otherwise.
    bool take(int tag, int xclass, bool constructed, Element *out)
    {
        if (at >= end)
            return false;
        const unsigned char *p = at;
        long size = 0;
        int gotTag = 0, gotClass = 0;
        const int flags = ASN1_get_object(&p, &size, &gotTag, &gotClass, end - at);
        if ((flags & 0x80) || (flags & 0x01) || gotTag != tag || gotClass != xclass
            || bool(flags & V_ASN1_CONSTRUCTED) != constructed)
            return false;
        *out = Element{at, long(p - at) + size, p, size};
        at = p + size;
        return true;
    }

private:
    const unsigned char *at;
    const unsigned char *end;
};

// The token with its certificates taken out, and those certificates' DER.
// Decoding a token whole costs OpenSSL 3.0 four times its signature's check,
// almost all of it the certificate's public key through the provider's
// decoders; a journal's tokens carry the same authority's certificate, so it
// is decoded once a run (by the verifier) and the rest of the token, every
// byte of it, by d2i_PKCS7.
struct Unwrapped {
    QByteArray slim;
    QVector<QByteArray> certificates;
};
bool unwrap(const QByteArray &token, Unwrapped *out)
{
    // ContentInfo { OID, [0] { SignedData { version, digestAlgorithms,
    // encapContentInfo, [0] IMPLICIT certificates, [1] crls, signerInfos } } }
    DerReader top(reinterpret_cast<const unsigned char *>(token.constData()), token.size());
    Element info, type, wrapper, signedData, version, algorithms, encapsulated, certificates, crls, signerInfos;
    if (!top.take(V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL, true, &info))
        return false;
    DerReader inInfo(info);
    if (!inInfo.take(V_ASN1_OBJECT, V_ASN1_UNIVERSAL, false, &type)
        || !inInfo.take(0, V_ASN1_CONTEXT_SPECIFIC, true, &wrapper) || !inInfo.atEnd())
        return false;
    DerReader inWrapper(wrapper);
    if (!inWrapper.take(V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL, true, &signedData) || !inWrapper.atEnd())
        return false;
    DerReader inSigned(signedData);
    if (!inSigned.take(V_ASN1_INTEGER, V_ASN1_UNIVERSAL, false, &version)
        || !inSigned.take(V_ASN1_SET, V_ASN1_UNIVERSAL, true, &algorithms)
        || !inSigned.take(V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL, true, &encapsulated)
        || !inSigned.take(0, V_ASN1_CONTEXT_SPECIFIC, true, &certificates))
        return false;
    inSigned.take(1, V_ASN1_CONTEXT_SPECIFIC, true, &crls);
    if (!inSigned.take(V_ASN1_SET, V_ASN1_UNIVERSAL, true, &signerInfos) || !inSigned.atEnd())
        return false;
    out->certificates.clear();
    DerReader inCertificates(certificates);
    for (Element one; !inCertificates.atEnd();) {
        if (!inCertificates.take(V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL, true, &one))
            return false;
        out->certificates << QByteArray(reinterpret_cast<const char *>(one.whole), int(one.wholeSize));
    }
    // The same elements around the rest of SignedData, their lengths anew.
    const QByteArray before(reinterpret_cast<const char *>(signedData.content),
                            int(certificates.whole - signedData.content));
    const auto *after = certificates.whole + certificates.wholeSize;
    const QByteArray rest = before + QByteArray(reinterpret_cast<const char *>(after),
                                                int(signedData.content + signedData.size - after));
    const int signedSize = ASN1_object_size(1, rest.size(), V_ASN1_SEQUENCE);
    const int wrapperSize = ASN1_object_size(1, signedSize, 0);
    const int infoContent = int(type.wholeSize) + wrapperSize;
    out->slim.resize(ASN1_object_size(1, infoContent, V_ASN1_SEQUENCE));
    auto *at = reinterpret_cast<unsigned char *>(out->slim.data());
    ASN1_put_object(&at, 1, infoContent, V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL);
    at = std::copy(type.whole, type.whole + type.wholeSize, at);
    ASN1_put_object(&at, 1, signedSize, 0, V_ASN1_CONTEXT_SPECIFIC);
    ASN1_put_object(&at, 1, rest.size(), V_ASN1_SEQUENCE, V_ASN1_UNIVERSAL);
    std::copy(rest.cbegin(), rest.cend(), at);
    return true;
}

Pkcs7 decoded(const QByteArray &der)
{
    const auto *at = reinterpret_cast<const unsigned char *>(der.constData());
    return Pkcs7(d2i_PKCS7(nullptr, &at, der.size()));
}

// The token without its certificates where that can be had, else whole.
Pkcs7 tokenOf(const QByteArray &token, QVector<QByteArray> *certificates = nullptr)
{
    Unwrapped unwrapped;
    if (!unwrap(token, &unwrapped)) {
        ERR_clear_error();
        if (certificates)
            certificates->clear();
        return decoded(token);
    }
    if (certificates)
        *certificates = std::move(unwrapped.certificates);
    return decoded(unwrapped.slim);
}

// A signed attribute's DER value decoded; true where it is absent.
template <typename T, void (*Free)(T *)>
bool signedAttribute(PKCS7_SIGNER_INFO *info, int nid, T *(*decode)(T **, const unsigned char **, long),
                     Owned<T, Free> *out)
{
    const ASN1_TYPE *attribute = PKCS7_get_signed_attribute(info, nid);
    if (!attribute)
        return true;
    if (attribute->type != V_ASN1_SEQUENCE)
        return false;
    const unsigned char *at = attribute->value.sequence->data;
    out->reset(decode(nullptr, &at, attribute->value.sequence->length));
    return *out != nullptr;
}

// The ESS signing-certificate attributes name the signer (and, where they
// list more, its chain). Absent is allowed where the other one is there.
bool signingCertificatesMatch(PKCS7_SIGNER_INFO *info, STACK_OF(X509) *chain)
{
    EssCert v1;
    EssCertV2 v2;
    return signedAttribute(info, NID_id_smime_aa_signingCertificate, d2i_ESS_SIGNING_CERT, &v1)
        && signedAttribute(info, NID_id_smime_aa_signingCertificateV2, d2i_ESS_SIGNING_CERT_V2, &v2)
        && OSSL_ESS_check_signing_certs(v1.get(), v2.get(), chain, 1) > 0;
}

} // namespace

bool supported()
{
    return true;
}

QString notSupported()
{
    return QCoreApplication::translate("Timestamp", "метки времени на этой платформе не поддерживаются");
}

Fetched fetch(const TimestampSettings &settings, const QByteArray &digest, int timeoutMs)
{
    Fetched fetched;
    fetched.nonce = QByteArray(8, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(fetched.nonce.data()), fetched.nonce.size()) != 1) {
        fetched.why = openSslError(QCoreApplication::translate("Timestamp", "случайное число для запроса не получено"));
        return fetched;
    }
    fetched.nonce[0] = char(fetched.nonce[0] & 0x7f); // positive, and read back as the same bytes
    if (fetched.nonce.at(0) == '\0')
        fetched.nonce[0] = '\1';
    const QByteArray request = requestDer(digest, fetched.nonce, settings.policy, &fetched.why);
    if (request.isEmpty())
        return fetched;
    const QByteArray response = post(settings, request, timeoutMs, &fetched.why);
    if (!response.isEmpty())
        fetched.token = grantedToken(response, digest, fetched.nonce, &fetched.why);
    else if (fetched.why.isEmpty())
        fetched.why = QCoreApplication::translate("Timestamp", "служба меток времени %1 прислала пустой ответ").arg(settings.url);
    return fetched;
}

QDateTime tokenTime(const QByteArray &token)
{
    const Pkcs7 pkcs7 = tokenOf(token);
    const TstInfo info(pkcs7 ? PKCS7_to_TS_TST_INFO(pkcs7.get()) : nullptr);
    return info ? utcOf(TS_TST_INFO_get_time(info.get())) : QDateTime();
}

// The CA, and each signer certificate's chain to it verified once a run: a
// journal's tokens mostly share one authority's certificate, and building
// the chain costs as much as the token's own signature. The tokens'
// certificates are decoded once too, and kept by their DER.
struct Verifier::Store {
    struct Chain {
        Certificates certificates; // signer first; empty where it does not chain
        int error = X509_V_OK;
    };
    Chain chainOf(X509 *signer, STACK_OF(X509) *untrusted);
    bool certificatesOf(const QVector<QByteArray> &ders, STACK_OF(X509) *into,
                        std::vector<Owned<X509, X509_free>> *uncached);
    bool signatureHolds(PKCS7 *token, STACK_OF(X509) *certificates);

    timestamp::Store store{X509_STORE_new()};
    std::mutex lock; // the collection checks its journals on several threads with one verifier
    std::map<QByteArray, Chain> chains; // by the signer's DER; nodes stay where they are
    std::map<QByteArray, Owned<X509, X509_free>> decoded; // by their DER
    // A record could name any number of certificates: past this many, each
    // is decoded and its chain built for its own token only.
    static constexpr std::size_t kKept = 256;
};

// As OpenSSL's TS check builds it: to the CA, for time-stamping. The caller
// gets its own references: another thread may clear the cache meanwhile.
Verifier::Store::Chain Verifier::Store::chainOf(X509 *signer, STACK_OF(X509) *untrusted)
{
    const QByteArray key = der<X509>(signer, i2d_X509);
    const std::lock_guard<std::mutex> locked(lock);
    auto known = chains.find(key);
    if (known == chains.end()) {
        Chain chain;
        StoreCtx ctx(X509_STORE_CTX_new());
        if (!ctx || !X509_STORE_CTX_init(ctx.get(), store.get(), signer, untrusted)) {
            chain.error = X509_V_ERR_OUT_OF_MEM;
        } else {
            X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_TIMESTAMP_SIGN);
            if (X509_verify_cert(ctx.get()) > 0)
                chain.certificates.reset(X509_STORE_CTX_get1_chain(ctx.get()));
            else
                chain.error = X509_STORE_CTX_get_error(ctx.get());
        }
        ERR_clear_error();
        if (chains.size() >= kKept)
            chains.clear(); // refilled by the tokens to come
        known = chains.emplace(key, std::move(chain)).first;
    }
    Chain copy;
    copy.error = known->second.error;
    if (known->second.certificates)
        copy.certificates.reset(X509_chain_up_ref(known->second.certificates.get()));
    if (known->second.certificates && !copy.certificates)
        copy.error = X509_V_ERR_OUT_OF_MEM;
    return copy;
}

// The token's certificates as X509, each decoded the first time it is seen
// and kept as long as the verifier (or, past kKept, as long as uncached).
bool Verifier::Store::certificatesOf(const QVector<QByteArray> &ders, STACK_OF(X509) *into,
                                     std::vector<Owned<X509, X509_free>> *uncached)
{
    const std::lock_guard<std::mutex> locked(lock);
    for (const QByteArray &one : ders) {
        X509 *certificate = nullptr;
        const auto known = decoded.find(one);
        if (known != decoded.end()) {
            certificate = known->second.get();
        } else {
            const auto *at = reinterpret_cast<const unsigned char *>(one.constData());
            Owned<X509, X509_free> fresh(d2i_X509(nullptr, &at, one.size()));
            if (!fresh || at != reinterpret_cast<const unsigned char *>(one.constData()) + one.size())
                return false;
            certificate = fresh.get();
            if (decoded.size() < kKept)
                decoded.emplace(one, std::move(fresh));
            else
                uncached->push_back(std::move(fresh));
        }
        if (!sk_X509_push(into, certificate))
            return false;
    }
    return true;
}

// TS_RESP_verify_signature's checks, the chain taken from the cache: one
// signer, chained to the CA with the time-stamping usage, named by the ESS
// signing-certificate attribute, and its signature over the signed attributes.
bool Verifier::Store::signatureHolds(PKCS7 *token, STACK_OF(X509) *certificates)
{
    if (!PKCS7_type_is_signed(token)) {
        ERR_raise(ERR_LIB_TS, TS_R_WRONG_CONTENT_TYPE);
        return false;
    }
    STACK_OF(PKCS7_SIGNER_INFO) *infos = PKCS7_get_signer_info(token);
    if (!infos || sk_PKCS7_SIGNER_INFO_num(infos) != 1) {
        ERR_raise(ERR_LIB_TS, TS_R_THERE_MUST_BE_ONE_SIGNER);
        return false;
    }
    PKCS7_SIGNER_INFO *info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
    if (PKCS7_get_detached(token)) {
        ERR_raise(ERR_LIB_TS, TS_R_NO_CONTENT);
        return false;
    }
    // As PKCS7_get0_signers finds it among the token's own certificates.
    X509 *signer = certificates ? X509_find_by_issuer_and_serial(certificates, info->issuer_and_serial->issuer,
                                                                 info->issuer_and_serial->serial)
                                : nullptr;
    if (!signer) {
        ERR_raise(ERR_LIB_PKCS7, PKCS7_R_SIGNER_CERTIFICATE_NOT_FOUND);
        return false;
    }
    if (!X509_get0_pubkey(signer)) { // an algorithm this OpenSSL does not have: say which
        ASN1_OBJECT *algorithm = nullptr;
        X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr, X509_get_X509_PUBKEY(signer));
        char name[128] = "?";
        OBJ_obj2txt(name, sizeof name, algorithm, 0);
        ERR_clear_error();
        ERR_raise_data(ERR_LIB_X509, X509_R_UNABLE_TO_GET_CERTS_PUBLIC_KEY, "%s", name);
        return false;
    }
    const Chain chain = chainOf(signer, certificates);
    if (!chain.certificates) {
        ERR_raise_data(ERR_LIB_TS, TS_R_CERTIFICATE_VERIFY_ERROR, "Verify error:%s",
                       X509_verify_cert_error_string(chain.error));
        return false;
    }
    if (!signingCertificatesMatch(info, chain.certificates.get()))
        return false;
    Bio data(PKCS7_dataInit(token, nullptr));
    char buffer[4096];
    while (data && BIO_read(data.get(), buffer, sizeof buffer) > 0) {
    }
    if (!data || PKCS7_signatureVerify(data.get(), token, info, signer) <= 0) {
        ERR_raise(ERR_LIB_TS, TS_R_SIGNATURE_FAILURE);
        return false;
    }
    return true;
}

Verifier::Verifier(const QString &caFile) : store(std::make_unique<Store>())
{
    loadGostEngine(); // before the CA's certificates are read
    QFile file(caFile);
    if (caFile.isEmpty()) {
        error = QCoreApplication::translate("Timestamp", "в настройках не указан файл удостоверяющего центра службы меток времени (%1)")
                    .arg(QStringLiteral("ca="));
    } else if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(caFile, file.errorString());
    } else {
        const QByteArray pem = file.readAll();
        Bio bio(BIO_new_mem_buf(pem.constData(), pem.size()));
        int added = 0;
        while (X509 *certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
            added += X509_STORE_add_cert(store->store.get(), certificate);
            X509_free(certificate);
        }
        ERR_clear_error();
        if (!added)
            error = QCoreApplication::translate("Timestamp", "%1: сертификатов в файле нет").arg(caFile);
    }
    if (!error.isEmpty())
        store.reset();
}

Verifier::~Verifier() = default;

bool Verifier::ready() const
{
    return store != nullptr;
}

QString Verifier::why() const
{
    return error;
}

TokenCheck Verifier::check(const QByteArray &token, const QByteArray &digest, const QByteArray &nonce) const
{
    TokenCheck result;
    QVector<QByteArray> certificateDers;
    const Pkcs7 pkcs7 = tokenOf(token, &certificateDers);
    if (!pkcs7) {
        result.state = TokenCheck::State::Fails;
        result.why = QCoreApplication::translate("Timestamp", "метка времени не читается");
        ERR_clear_error();
        return result;
    }
    const TstInfo info(PKCS7_to_TS_TST_INFO(pkcs7.get()));
    result.time = info ? utcOf(TS_TST_INFO_get_time(info.get())) : QDateTime();
    if (!store) {
        result.why = error;
        return result;
    }
    // The signature (its chain from the cache) first, then the version and
    // the imprint, in the order OpenSSL's own check makes them.
    VerifyCtx ctx(TS_VERIFY_CTX_new());
    auto *imprint = static_cast<unsigned char *>(OPENSSL_memdup(digest.constData(), size_t(digest.size())));
    TS_VERIFY_CTX_set_imprint(ctx.get(), imprint, long(digest.size()));
    TS_VERIFY_CTX_set_flags(ctx.get(), TS_VFY_VERSION | TS_VFY_IMPRINT);
    // Its certificates: those taken out of it, or those it was decoded with.
    bool certificatesRead = true;
    std::vector<Owned<X509, X509_free>> uncached;
    const Borrowed certificates(sk_X509_new_null());
    if (!certificateDers.isEmpty())
        certificatesRead = certificates && store->certificatesOf(certificateDers, certificates.get(), &uncached);
    STACK_OF(X509) *own = certificateDers.isEmpty() && PKCS7_type_is_signed(pkcs7.get()) ? pkcs7->d.sign->cert
                                                                                          : certificates.get();
    if (!certificatesRead) {
        result.state = TokenCheck::State::Fails;
        result.why = openSslError(QCoreApplication::translate("Timestamp", "метка времени не читается"));
        ERR_clear_error();
        return result;
    }
    if (store->signatureHolds(pkcs7.get(), own) && TS_RESP_verify_token(ctx.get(), pkcs7.get()) == 1
        && (nonce.isEmpty() || nonceMatches(pkcs7.get(), nonce))) {
        result.state = TokenCheck::State::Holds;
    } else if (ERR_peek_error() == 0) {
        result.state = TokenCheck::State::Fails;
        result.why = QCoreApplication::translate("Timestamp", "в метке времени не то случайное число, что записано в журнале");
    } else {
        result.state = TokenCheck::State::Fails;
        result.why = openSslError(QCoreApplication::translate("Timestamp", "метка времени не прошла проверку"));
    }
    ERR_clear_error();
    return result;
}

} // namespace timestamp
