#ifndef GOSTENGINE_H
#define GOSTENGINE_H

namespace timestamp {

// Registers OpenSSL's GOST engine where it is installed (Debian's
// libengine-gost-openssl), once a process, so that an authority with
// GOST R 34.10-2012 keys is checked as any other. Whether it is there.
bool loadGostEngine();

} // namespace timestamp

#endif // GOSTENGINE_H
