// Dynamic libraries on Linux: the dynamic loader, with the name as given.
#include <dlfcn.h>

#include "platform/platform.h"

namespace platform {

LibraryHandle loadLibrary(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    // Every symbol resolved at once: a library that cannot be completed
    // fails here, not at some later call.
    return dlopen(name, RTLD_NOW);
}

void freeLibrary(LibraryHandle library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

void* findSymbol(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) {
        return nullptr;
    }
    return dlsym(library, name);
}

}  // namespace platform
