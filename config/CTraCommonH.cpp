#include "config/CTraCommonH.h"

#include <exception>

CTraCommonH::CTraCommonH(const CMessageH* creatorLog)
    : transmitterOffset_(makeZeroMatrix()),
      transmitterRotation_(makeIdentityMatrix()),
      transmitterTransform_(makeIdentityMatrix()),
      log_(createOwnLog(creatorLog, "CTraCommonH", 3)) {
    log_->debug("CTraCommonH: \"constructor\" called.", true);
}

CTraCommonH::~CTraCommonH() {
    log_->debug("CTraCommonH: \"destructor\" called.", true);
}

bool CTraCommonH::setTrackerCount(std::uint32_t count) {
    if (count == 0) {
        return false;
    }
    std::vector<TrackerTransform> table;
    try {
        table.resize(count);
    } catch (const std::exception&) {
        // Too large for memory or for the address space: the table stays.
        log_->error("CTraCommonH: Can not allocate the tracker table.", true);
        return false;
    }
    trackers_.swap(table);
    numTrackers_ = count;
    for (std::uint32_t number = 1; number <= count; ++number) {
        setTracker(number, 0, nullptr, nullptr, nullptr);
    }
    return true;
}

bool CTraCommonH::setTracker(std::uint32_t index, std::uint32_t outputNumber, const Matrix4* offset,
                             const Matrix4* rotation, const Vector3* translation) {
    if (trackers_.empty() || index == 0 || index > numTrackers_) {
        return false;
    }
    TrackerTransform& record = trackers_[index - 1];
    record.outputNumber = outputNumber;
    record.sensorOffset = offset != nullptr ? *offset : makeZeroMatrix();
    record.hasSensorOffset = offset != nullptr;
    record.sensorRotation = rotation != nullptr ? *rotation : makeIdentityMatrix();
    record.hasSensorRotation = rotation != nullptr;
    record.sensorTranslation = translation != nullptr ? *translation : Vector3{0.0f, 0.0f, 0.0f};
    record.hasSensorTranslation = translation != nullptr;
    record.sensorTransform = composeTransform(record.sensorRotation, record.sensorOffset);
    return true;
}

const TrackerTransform* CTraCommonH::tracker(std::uint32_t number) const {
    if (number == 0 || number > numTrackers_ || trackers_.empty()) {
        return nullptr;
    }
    return &trackers_[number - 1];
}

const char* CTraCommonH::calibrationArg(std::uint32_t index) const {
    return index < calibrationArgs_.size() ? calibrationArgs_[index].c_str() : nullptr;
}
