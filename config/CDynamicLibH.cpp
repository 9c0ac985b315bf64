#include "config/CDynamicLibH.h"

#include <iostream>

CDynamicLibH::CDynamicLibH(const char* libraryName, const CMessageH* creatorLog)
    : log_(createOwnLog(creatorLog, "CDynamicLibH", 3)) {
    log_->debug("CDynamicLibH: \"constructor\" called.", true);
    log_->debug("CDynamicLibH: \"init\" called.", true);
    if (libraryName != nullptr) {
        load(libraryName);
    }
}

CDynamicLibH::~CDynamicLibH() {
    log_->debug("CDynamicLibH: \"destructor\" called.", true);
    unload();
}

bool CDynamicLibH::load(const char* libraryName) {
    log_->debug("CDynamicLibH: \"load\" called.", true);
    if (libraryName == nullptr || libraryName[0] == '\0') {
        log_->error("CDynamicLibH: Library name is empty.", true);
        return false;
    }
    if (library_ != nullptr) {
        return false;
    }
    library_ = platform::loadLibrary(libraryName);
    if (library_ == nullptr) {
        log_->error("CDynamicLibH: Can not load the library ", false);
        std::cout << libraryName << std::endl;
        return false;
    }
    if (log_->isDebugEnabled()) {
        log_->debug("CDynamicLibH: ", false);
        std::cout << libraryName << " library loaded." << std::endl;
    }
    return true;
}

bool CDynamicLibH::unload() {
    log_->debug("CDynamicLibH: \"unload\" called.", true);
    if (library_ != nullptr) {
        platform::freeLibrary(library_);
        library_ = nullptr;
    }
    return true;
}
