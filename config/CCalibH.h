// The calibration library named by the tracker options: only loaded and
// released, under its own log name.
#pragma once

#include "config/CDynamicLibH.h"

class CCalibH : public CDynamicLibH {
public:
    CCalibH(const char* libraryName, const CMessageH* creatorLog);
    ~CCalibH() override;
};
