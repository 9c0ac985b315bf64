// Dynamic libraries on Windows, with the system's own search rules.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

LibraryHandle loadLibrary(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(name));
}

void freeLibrary(LibraryHandle library) {
    if (library != nullptr) {
        FreeLibrary(reinterpret_cast<HMODULE>(library));
    }
}

void* findSymbol(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

}  // namespace platform
