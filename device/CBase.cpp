#include "device/CBase.h"

CBase::CBase(const CMessageH* logRecord)
    : log(createOwnLog(logRecord, "CBase", 1)), inputConnector(true), modeCode(1) {}
