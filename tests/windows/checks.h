#ifndef WINDOWS_CHECKS_H
#define WINDOWS_CHECKS_H

// The tally of a checking program: each check prints ok or FAIL; the program
// exits non-zero when any failed.

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

int passed = 0;
int failed = 0;

void fail(const wchar_t *what)
{
    std::wprintf(L"FAIL: %ls\n", what);
    ++failed;
}

void check(bool ok, const wchar_t *what)
{
    if (ok) {
        std::wprintf(L"ok:   %ls\n", what);
        ++passed;
    } else {
        fail(what);
    }
}

// Wine is not Windows: some calls it lacks, some it answers its own way.
bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace

#endif // WINDOWS_CHECKS_H
