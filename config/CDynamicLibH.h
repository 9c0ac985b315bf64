// Holder of one dynamic library loaded by name: loaded at construction or by
// `load`, released by `unload` or destruction. Nothing in it is called.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "support/CMessageH.h"

class CDynamicLibH {
public:
    // A null name loads nothing and says nothing; an empty one is reported.
    CDynamicLibH(const char* libraryName, const CMessageH* creatorLog);
    virtual ~CDynamicLibH();

    CDynamicLibH(const CDynamicLibH&) = delete;
    CDynamicLibH& operator=(const CDynamicLibH&) = delete;

    // True only when this call loaded the library; a held library stays.
    bool load(const char* libraryName);
    bool unload();

protected:
    CMessageH& log() { return *log_; }
    const CMessageH& log() const { return *log_; }

private:
    platform::LibraryHandle library_ = nullptr;
    std::unique_ptr<CMessageH> log_;
};
