#ifndef OWNEDPTR_H
#define OWNEDPTR_H

#include <memory>

// A C library's object owned by a unique_ptr that frees it with the
// library's own function: Owned<X509, X509_free>.
template <typename T, void (*Free)(T *)>
struct Freer {
    void operator()(T *p) const { Free(p); }
};
template <typename T, void (*Free)(T *)>
using Owned = std::unique_ptr<T, Freer<T, Free>>;

#endif // OWNEDPTR_H
