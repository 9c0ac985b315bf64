// The host's abstract device interface. The host reaches the device only
// through these seven slots, in this order, with the platform's member
// calling convention; there is no virtual destructor (deleteDev destroys).
#pragma once

#include <cstdint>
#include <memory>

#include "support/CMessageH.h"

struct InitInfo;
struct UpdateMasks;

class CBase {
public:
    virtual std::int32_t init(InitInfo* initInfo) = 0;
    virtual bool start() = 0;
    virtual std::int32_t configure() = 0;
    virtual bool stop() = 0;
    virtual bool printInfo() = 0;
    virtual std::int32_t recvData(UpdateMasks* masks, std::int32_t unused) = 0;
    virtual std::int32_t send(std::int32_t unused1, std::int32_t unused2) = 0;

protected:
    explicit CBase(const CMessageH* logRecord);
    ~CBase() = default;
    CBase(const CBase&) = delete;
    CBase& operator=(const CBase&) = delete;

    std::unique_ptr<CMessageH> log;
    bool inputConnector;
    std::int32_t modeCode;
};
