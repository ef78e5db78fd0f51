#ifndef SHA256_H
#define SHA256_H

#include <QByteArray>

// SHA-256, raw. Through OpenSSL where the build has it (five times Qt's own
// on a journal's lines, whose hashes every check recomputes); else Qt's.
QByteArray sha256(const QByteArray &bytes);

#endif // SHA256_H
