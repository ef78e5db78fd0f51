// Checking the authority's tokens: 10,000 tokens made once in the bench by a
// test authority (its own CA and a TSA certificate with the time-stamping
// usage), checked as --verify-journal does, against libsodium verifying as
// many Ed25519 signatures, and against OpenSSL's own check of each token,
// which builds the signer's chain every time.

#include "bench.h"
#include "benchjournal.h"
#include "journal.h"
#include "signing.h"
#include "timestamp.h"

#include "ownedptr.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

namespace bench {

namespace {

struct Token {
    QByteArray der, digest, nonce;
};

Owned<BIO, BIO_free_all> fileBio(const QString &path)
{
    return Owned<BIO, BIO_free_all>(BIO_new_file(QFile::encodeName(path).constData(), "r"));
}

// A request as the program sends it: SHA-256 imprint, nonce, certReq.
Owned<TS_REQ, TS_REQ_free> requestFor(const QByteArray &digest, const QByteArray &nonce)
{
    Owned<TS_REQ, TS_REQ_free> req(TS_REQ_new());
    Owned<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free> imprint(TS_MSG_IMPRINT_new());
    Owned<X509_ALGOR, X509_ALGOR_free> algorithm(X509_ALGOR_new());
    Owned<BIGNUM, BN_free> number(BN_bin2bn(reinterpret_cast<const unsigned char *>(nonce.constData()), nonce.size(), nullptr));
    Owned<ASN1_INTEGER, ASN1_INTEGER_free> value(BN_to_ASN1_INTEGER(number.get(), nullptr));
    X509_ALGOR_set0(algorithm.get(), OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr);
    TS_MSG_IMPRINT_set_algo(imprint.get(), algorithm.get());
    TS_MSG_IMPRINT_set_msg(imprint.get(), reinterpret_cast<unsigned char *>(const_cast<char *>(digest.constData())),
                           digest.size());
    TS_REQ_set_version(req.get(), 1);
    TS_REQ_set_msg_imprint(req.get(), imprint.get());
    TS_REQ_set_nonce(req.get(), value.get());
    TS_REQ_set_cert_req(req.get(), 1);
    return req;
}

// count tokens for distinct digests, signed as `openssl ts -reply` signs
// them with tsa_make.sh's configuration (ESS certificate id SHA-256).
QVector<Token> makeTokens(const QString &dir, int count)
{
    QVector<Token> tokens;
    Owned<X509, X509_free> signer(PEM_read_bio_X509(fileBio(dir + QStringLiteral("/tsa.pem")).get(), nullptr, nullptr, nullptr));
    Owned<EVP_PKEY, EVP_PKEY_free> key(
        PEM_read_bio_PrivateKey(fileBio(dir + QStringLiteral("/tsa.key")).get(), nullptr, nullptr, nullptr));
    Owned<TS_RESP_CTX, TS_RESP_CTX_free> ctx(TS_RESP_CTX_new());
    Owned<ASN1_OBJECT, ASN1_OBJECT_free> policy(OBJ_txt2obj("1.2.3.4.1", 1));
    if (!signer || !key || !ctx || !TS_RESP_CTX_set_signer_cert(ctx.get(), signer.get())
        || !TS_RESP_CTX_set_signer_key(ctx.get(), key.get()) || !TS_RESP_CTX_set_def_policy(ctx.get(), policy.get())
        || !TS_RESP_CTX_set_signer_digest(ctx.get(), EVP_sha256())
        || !TS_RESP_CTX_set_ess_cert_id_digest(ctx.get(), EVP_sha256()) || !TS_RESP_CTX_add_md(ctx.get(), EVP_sha256()))
        return tokens;
    for (int i = 0; i < count; ++i) {
        Token token;
        token.digest = QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha256);
        token.nonce = QByteArray::number(0x10000000 + i, 16);
        token.nonce = QByteArray::fromHex(token.nonce);
        const auto req = requestFor(token.digest, token.nonce);
        Owned<BIO, BIO_free_all> bio(BIO_new(BIO_s_mem()));
        i2d_TS_REQ_bio(bio.get(), req.get());
        Owned<TS_RESP, TS_RESP_free> resp(TS_RESP_create_response(ctx.get(), bio.get()));
        PKCS7 *p7 = resp ? TS_RESP_get_token(resp.get()) : nullptr;
        const int size = p7 ? i2d_PKCS7(p7, nullptr) : 0;
        if (size <= 0)
            return QVector<Token>();
        token.der.resize(size);
        auto *at = reinterpret_cast<unsigned char *>(token.der.data());
        i2d_PKCS7(p7, &at);
        tokens << token;
    }
    return tokens;
}

// OpenSSL's whole check of each token, as the program made it before.
int checkEachFromScratch(const QVector<Token> &tokens, const QString &caFile)
{
    Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
    X509_STORE_load_file(store.get(), QFile::encodeName(caFile).constData());
    int good = 0;
    for (const Token &token : tokens) {
        const auto *at = reinterpret_cast<const unsigned char *>(token.der.constData());
        Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &at, token.der.size()));
        Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free> ctx(TS_VERIFY_CTX_new());
        X509_STORE_up_ref(store.get());
        TS_VERIFY_CTX_set_store(ctx.get(), store.get());
        auto *imprint = static_cast<unsigned char *>(OPENSSL_memdup(token.digest.constData(), size_t(token.digest.size())));
        TS_VERIFY_CTX_set_imprint(ctx.get(), imprint, long(token.digest.size()));
        TS_VERIFY_CTX_set_flags(ctx.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_IMPRINT);
        good += p7 && TS_RESP_verify_token(ctx.get(), p7.get()) == 1 ? 1 : 0;
    }
    return good;
}

} // namespace

bool runStampBench(int rounds, int count)
{
    QTemporaryDir dir;
    if (QProcess::execute(QStringLiteral(KCC_TSA_MAKE), {dir.path(), QStringLiteral("ec")}) != 0) {
        std::printf("stamps: the test authority could not be made\n");
        return false;
    }
    const QVector<Token> tokens = makeTokens(dir.path(), count);
    if (tokens.size() != count) {
        std::printf("stamps: the tokens could not be made\n");
        return false;
    }
    qputenv("KCC_SIGNING_KEY", QFile::encodeName(dir.filePath(QStringLiteral("signing.key"))));
    SigningKey key;
    if (!key.create(0, Journal::genesisHash()))
        return false;
    // The stamped entries themselves, signed as the program signs them.
    QVector<QByteArray> messages, signatures;
    QString previous = Journal::genesisHash();
    for (int i = 1; i <= count; ++i) {
        const SignedEntry entry = signedEntry(i, QStringLiteral("arm-001"), previous, key);
        messages << entry.message;
        signatures << entry.signature;
        previous = entry.hash;
    }
    const QString caFile = dir.filePath(QStringLiteral("ca.pem"));
    QVector<double> ours, sodium, scratch;
    int held = 0, good = 0, whole = 0;
    for (int round = 0; round < rounds; ++round) {
        Clock::time_point start = Clock::now();
        const timestamp::Verifier verifier(caFile); // one check run
        held = 0;
        for (const Token &token : tokens)
            held += verifier.check(token.der, token.digest, token.nonce).state == timestamp::TokenCheck::State::Holds;
        ours << secondsSince(start);
        start = Clock::now();
        good = 0;
        for (int i = 0; i < messages.size(); ++i)
            good += SigningKey::verify(messages.at(i), signatures.at(i), key.publicKey()) ? 1 : 0;
        sodium << secondsSince(start);
        start = Clock::now();
        whole = checkEachFromScratch(tokens, caFile);
        scratch << secondsSince(start);
    }
    const double o = median(ours), s = median(sodium), w = median(scratch);
    std::printf("stamps: %d tokens (ECDSA P-256 authority), medians of %d rounds, load %s: checked in %.3f s (%d hold); "
                "libsodium, %d Ed25519 signatures (%d good): %.3f s; ratio %.2f (target <= 2); each token's chain "
                "built by OpenSSL's own check: %.3f s (%d hold), ratio %.2f\n",
                count, rounds, qPrintable(loadAverage()), o, held, count, good, s, o / s, w, whole, w / s);
    return held == count && good == count;
}

} // namespace bench
