#include "device/CBase.h"

CBase::CBase(const CMessageH* logRecord)
    : ownsLog(true), log(makeOwnLog(logRecord, "CBase", 1)), inputConnector(true), modeCode(1) {}

CBase::~CBase() {
    if (ownsLog) {
        delete log;
    }
}
