#include "config/CCalibH.h"

CCalibH::CCalibH(const char* libraryName, const CMessageH* creatorLog)
    : CDynamicLibH(libraryName, creatorLog) {
    if (creatorLog == nullptr) {
        log().setName("CCalibH");
    }
    log().debug("CCalibH: \"init\" called.", true);
}

CCalibH::~CCalibH() {
    log().debug("CCalibH: \"destructor\" called.", true);
}
