// The tracker options of the device: per-tracker sensor transforms and
// publishing positions, the transmitter transform, the CAVE switch and an
// optional calibration library, read from the host's option lines and
// printed in the device report. Nothing here is applied to tracker data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/CCalibH.h"
#include "config/DeviceConfig.h"
#include "config/Matrix4.h"
#include "config/options.h"
#include "support/CMessageH.h"

struct Vector3 {
    float x;
    float y;
    float z;
};

// Tracker n (1-based) is record n - 1.
struct TrackerTransform {
    std::uint32_t outputNumber;  // 1-based position when published, 0 = not published
    Matrix4 sensorOffset;
    Matrix4 sensorRotation;
    Matrix4 sensorTransform;
    Vector3 sensorTranslation;  // feet; kept apart from the transform, never reported
    bool hasSensorOffset;
    bool hasSensorRotation;
    bool hasSensorTranslation;
};

class CTraCommonH {
public:
    static constexpr std::uint32_t kMaxCalibrationArgs = 10;
    static constexpr std::size_t kCalibrationNameSize = 256;

    explicit CTraCommonH(const CMessageH* creatorLog);
    ~CTraCommonH();

    CTraCommonH(const CTraCommonH&) = delete;
    CTraCommonH& operator=(const CTraCommonH&) = delete;

    // A fresh table of `count` unpublished trackers; 0 (or a table that
    // cannot be had) refuses and keeps the table as it was.
    bool setTrackerCount(std::uint32_t count);
    // Index 1-based. Each of offset, rotation and translation may be absent,
    // which restores its default and clears its flag.
    bool setTracker(std::uint32_t index, std::uint32_t outputNumber, const Matrix4* offset,
                    const Matrix4* rotation, const Vector3* translation);

    // Takes the tracker option lines, marking each one taken; one message
    // per faulty line; false when any line was faulty.
    bool parseOptions(DeviceConfig* config);
    // The tracker part of the device report; always true.
    bool printConfiguration(bool showCave) const;

    // Settings given by the device's tracker set-up.
    bool inputConnector = true;     // order lines refused, CAVE lines taken
    std::uint32_t outputCount = 0;  // output positions of the device
    std::uint32_t outputBase = 0;   // host tracker entries before this device's

    std::uint32_t numTrackers() const { return numTrackers_; }
    // Tracker n (1-based); null outside 1 ... numTrackers().
    const TrackerTransform* tracker(std::uint32_t number) const;

    const Matrix4& transmitterOffset() const { return transmitterOffset_; }
    const Matrix4& transmitterRotation() const { return transmitterRotation_; }
    const Matrix4& transmitterTransform() const { return transmitterTransform_; }
    bool hasTransmitterOffset() const { return hasTransmitterOffset_; }
    bool hasTransmitterRotation() const { return hasTransmitterRotation_; }
    bool caveCoordinates() const { return caveCoordinates_; }

    const char* calibrationName() const { return calibrationName_.c_str(); }
    std::uint32_t calibrationArgCount() const {
        return static_cast<std::uint32_t>(calibrationArgs_.size());
    }
    // Copy of argument k; null outside 0 ... calibrationArgCount() - 1.
    const char* calibrationArg(std::uint32_t index) const;

    const CMessageH& log() const { return *log_; }

private:
    // The handlers of the option keywords (their table is in parseOptions).
    LineResult parseTransmitterOffset(const OptionLineView& line);
    LineResult parseTransmitterRotation(const OptionLineView& line);
    LineResult parseTransmitterRotationMatrix(const OptionLineView& line);
    LineResult parseSensorOffset(const OptionLineView& line);
    LineResult parseSensorTranslation(const OptionLineView& line);
    LineResult parseSensorRotation(const OptionLineView& line);
    LineResult parseSensorRotationMatrix(const OptionLineView& line);
    LineResult parseCalibration(const OptionLineView& line);
    LineResult parseOrder(const OptionLineView& line);
    LineResult parseCave(const OptionLineView& line);

    LineResult setTransmitterRotation(const Matrix4& rotation);
    LineResult setSensorRotation(std::uint32_t id, const Matrix4& rotation);
    using SensorPositionSetter = void (*)(TrackerTransform& record, const Vector3& at);
    LineResult setSensorPosition(const OptionLineView& line, SensorPositionSetter set);
    void printMatrixBlock(const char* caption, const Matrix4& matrix,
                          std::uint32_t trackerNumber) const;

    std::uint32_t numTrackers_ = 0;
    std::vector<TrackerTransform> trackers_;
    Matrix4 transmitterOffset_;
    Matrix4 transmitterRotation_;
    Matrix4 transmitterTransform_;
    bool hasTransmitterOffset_ = false;
    bool hasTransmitterRotation_ = false;
    bool caveCoordinates_ = false;
    std::unique_ptr<CCalibH> calibrationLibrary_;
    std::string calibrationName_;
    std::vector<std::string> calibrationArgs_;
    std::unique_ptr<CMessageH> log_;
};
