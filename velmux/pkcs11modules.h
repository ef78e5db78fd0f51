// The PKCS#11 modules one velmux context uses: found, loaded and initialised
// by load(), finalised and unloaded by the destructor. p11-kit's registry on
// Linux (pkcs11modules_p11kit.cpp), LoadLibraryW on Windows
// (pkcs11modules_win32.cpp).
#ifndef VELMUX_PKCS11MODULES_H
#define VELMUX_PKCS11MODULES_H

// p11-kit's header sets Cryptoki's 1-byte packing and calling convention on
// Windows by itself.
#include <p11-kit/pkcs11.h>

#include <memory>
#include <string>
#include <vector>

struct Module {
    CK_FUNCTION_LIST *fn;
    // Names the module's file the same way however it was reached, so a
    // media record made through one route is recognised through another.
    std::string identity;
};

class ModuleSet {
public:
    ModuleSet();
    ModuleSet(const ModuleSet &) = delete;
    ModuleSet &operator=(const ModuleSet &) = delete;
    ~ModuleSet();

    // False when no module could be loaded and initialised.
    bool load();
    const std::vector<Module> &modules() const { return modules_; }
    // "file: reason" for a module VELMUX_PKCS11_MODULE names that load()
    // could not load or initialise; empty when every named one served.
    const std::string &failure() const { return failure_; }
    // Finalises and initialises fn again, so the module reads its tokens
    // afresh; restarted says whether that reached the module (not for one kept
    // initialised for the process). A failure is the module's answer.
    CK_RV restart(CK_FUNCTION_LIST *fn, bool &restarted);

private:
    struct Loaded;
    std::vector<Module> modules_;
    std::string failure_;
    std::unique_ptr<Loaded> loaded_;
};

// A module's return value as text (p11-kit's own words on Linux); empty
// where there are none.
std::string describeRv(CK_RV rv);

#endif
