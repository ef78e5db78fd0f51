#ifndef ENUMTABLE_H
#define ENUMTABLE_H

#include <cstddef>

// Whether a table indexed by an enum has its rows in the enum's order, so that
// indexing it by a value finds that value's row. For static_assert.
template <typename Row, std::size_t N, typename Key>
constexpr bool inEnumOrder(const Row (&rows)[N], Key Row::*key)
{
    for (std::size_t i = 0; i < N; ++i)
        if (std::size_t(rows[i].*key) != i)
            return false;
    return true;
}

#endif // ENUMTABLE_H
