// The tracker option lines: transmitter and sensor transforms, calibration
// library, publishing order and CAVE switch.
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "config/CTraCommonH.h"
#include "config/options.h"

namespace {

constexpr const char* kIncomplete = "Incomplete option line found for ";
constexpr const char* kTooMany = "Too many args found for ";
constexpr const char* kInvalidArg = "Invalid arg found for ";
constexpr const char* kInvalidTracker = "Invalid tracker ID found for ";
constexpr const char* kInvalidUnit = "Invalid unit found for ";
constexpr const char* kInvalidString = "Invalid string found for ";

constexpr const char* kCalibrationPhrase = "Calibration at line ";
constexpr const char* kOrderPhrase = "Order at line ";
constexpr const char* kCavePhrase = "CAVECoord at line ";

// A real argument rounded to single precision; false for a word that reads
// as 0 (the number-or-invalid rule).
bool readNumber(const char* text, float& value) {
    const double read = toReal(text);
    if (isInvalidZero(read, text)) {
        return false;
    }
    value = static_cast<float>(read);
    return true;
}

// Arguments first ... first + count - 1, all or nothing.
bool readNumbers(const OptionLine& line, std::uint32_t first, std::uint32_t count, float* values) {
    for (std::uint32_t index = 0; index < count; ++index) {
        if (!readNumber(argumentAt(line, first + index), values[index])) {
            return false;
        }
    }
    return true;
}

// Feet per unit, as single-precision constants; false for an unknown word.
bool unitFactor(const char* word, float& factor) {
    if (compareNoCase(word, "feet") == 0) {
        factor = 1.0f;
    } else if (compareNoCase(word, "inches") == 0) {
        factor = 1.0f / 12.0f;
    } else if (compareNoCase(word, "meters") == 0 || compareNoCase(word, "m") == 0) {
        factor = 3.28084f;
    } else if (compareNoCase(word, "cm") == 0) {
        factor = 0.0328084f;
    } else {
        return false;
    }
    return true;
}

void scale(float* values, float factor) {
    for (int index = 0; index < 3; ++index) {
        values[index] = static_cast<float>(static_cast<double>(values[index]) * factor);
    }
}

// An ID compared as unsigned, so a negative one is above every bound.
bool readTrackerId(const char* text, std::uint32_t numTrackers, std::uint32_t& id) {
    id = static_cast<std::uint32_t>(toInteger(text));
    return id >= 1 && id <= numTrackers;
}

struct LineShape {
    const char* phrase;
    std::uint32_t minArgs;
    std::uint32_t maxArgs;
    std::uint32_t numbers;  // numbers read before the failed-earlier check
};

}  // namespace

void CTraCommonH::reportFault(const char* failurePhrase, const char* optionPhrase,
                              const OptionLine& line) const {
    reportOptionError(log_, "", failurePhrase, optionPhrase, line.lineNumber);
}

bool CTraCommonH::parseOptions(DeviceConfig* config) {
    if (trackers_.empty()) {
        log_.error("CTraCommonH: lookup is Null.", true);
        return false;
    }
    if (config == nullptr) {
        log_.error("CTraCommonH: config is empty.", true);
        return false;
    }
    bool failed = false;
    const std::uint32_t count = lineCountOf(*config);
    for (std::uint32_t slot = 0; slot < count; ++slot) {
        OptionLine& line = config->lines[slot];
        bool ok = true;
        if (keywordIs(line, "transmitteroffset")) {
            ok = parseTransmitterLine(line, Kind::TransmitterOffset, failed);
        } else if (keywordIs(line, "transmitterrotation")) {
            ok = parseTransmitterLine(line, Kind::TransmitterRotation, failed);
        } else if (keywordIs(line, "transmitterrotationmatrix")) {
            ok = parseTransmitterLine(line, Kind::TransmitterRotationMatrix, failed);
        } else if (keywordIs(line, "sensoroffset")) {
            ok = parseSensorLine(line, Kind::SensorOffset, failed);
        } else if (keywordIs(line, "sensortranslation")) {
            ok = parseSensorLine(line, Kind::SensorTranslation, failed);
        } else if (keywordIs(line, "sensorrotation")) {
            ok = parseSensorLine(line, Kind::SensorRotation, failed);
        } else if (keywordIs(line, "sensorrotationmatrix")) {
            ok = parseSensorLine(line, Kind::SensorRotationMatrix, failed);
        } else if (keywordIs(line, "calibration") || keywordIs(line, "calib")) {
            ok = parseCalibrationLine(line);
        } else if (keywordIs(line, "trackerorder") || keywordIs(line, "unitorder") ||
                   keywordIs(line, "order")) {
            ok = parseOrderLine(line);
        } else if (keywordIs(line, "cavecoordinates") || keywordIs(line, "cavecoord")) {
            ok = parseCaveLine(line);
        }
        if (!ok) {
            failed = true;
        }
    }
    return !failed;
}

bool CTraCommonH::parseTransmitterLine(OptionLine& line, Kind kind, bool failedBefore) {
    LineShape shape{"TransmitterOffset at line ", 3, 4, 3};
    if (kind == Kind::TransmitterRotation) {
        shape = {"TransmitterRotation at line ", 4, 4, 3};
    } else if (kind == Kind::TransmitterRotationMatrix) {
        shape = {"TransmitterRotationMatrix at line ", 9, 9, 9};
    }
    const std::uint32_t count = argCountOf(line);
    if (count < shape.minArgs) {
        reportFault(kIncomplete, shape.phrase, line);
        return false;
    }
    if (count > shape.maxArgs) {
        reportFault(kTooMany, shape.phrase, line);
        return false;
    }
    float values[9] = {};
    if (!readNumbers(line, 0, shape.numbers, values)) {
        reportFault(kInvalidArg, shape.phrase, line);
        return false;
    }
    if (failedBefore) {
        // Once a line has failed the configuration is refused anyway: the
        // line is checked no further and changes nothing.
        return true;
    }
    if (kind == Kind::TransmitterOffset) {
        if (count == 4) {
            float factor = 1.0f;
            if (!unitFactor(argumentAt(line, 3), factor)) {
                reportFault(kInvalidString, shape.phrase, line);
                return false;
            }
            scale(values, factor);
        }
        // Only an offset of exactly nothing is dropped; one whose values
        // cancel out (1, -1, 0) is a real displacement and is kept.
        if (values[0] != 0.0f || values[1] != 0.0f || values[2] != 0.0f) {
            transmitterOffset_ = makeOffsetMatrix(values[0], values[1], values[2]);
            transmitterTransform_ = composeTransform(transmitterRotation_, transmitterOffset_);
            hasTransmitterOffset_ = true;
        }
        line.used = 1;
        return true;
    }
    if (kind == Kind::TransmitterRotation) {
        float degrees = 0.0f;
        if (!readNumber(argumentAt(line, 3), degrees)) {
            reportFault(kInvalidArg, shape.phrase, line);
            return false;
        }
        transmitterRotation_ = makeAxisAngleMatrix(values[0], values[1], values[2], degrees);
    } else {
        transmitterRotation_ = makeMatrix3x3(values[0], values[1], values[2], values[3], values[4],
                                             values[5], values[6], values[7], values[8]);
    }
    transmitterTransform_ = composeTransform(transmitterRotation_, transmitterOffset_);
    hasTransmitterRotation_ = true;
    line.used = 1;
    return true;
}

bool CTraCommonH::parseSensorLine(OptionLine& line, Kind kind, bool failedBefore) {
    LineShape shape{"SensorOffset at line ", 4, 5, 3};
    if (kind == Kind::SensorTranslation) {
        shape = {"SensorTranslation at line ", 4, 5, 3};
    } else if (kind == Kind::SensorRotation) {
        shape = {"SensorRotation at line ", 5, 5, 3};
    } else if (kind == Kind::SensorRotationMatrix) {
        shape = {"SensorRotationMatrix at line ", 10, 10, 9};
    }
    const std::uint32_t count = argCountOf(line);
    if (count == 0) {
        reportFault(kIncomplete, shape.phrase, line);
        return false;
    }
    // The ID is checked before the count, so a line of just a bad ID names
    // the ID as its fault.
    std::uint32_t id = 0;
    if (!readTrackerId(argumentAt(line, 0), numTrackers_, id)) {
        reportFault(kInvalidTracker, shape.phrase, line);
        return false;
    }
    if (count < shape.minArgs) {
        reportFault(kIncomplete, shape.phrase, line);
        return false;
    }
    if (count > shape.maxArgs) {
        reportFault(kTooMany, shape.phrase, line);
        return false;
    }
    float values[9] = {};
    if (!readNumbers(line, 1, shape.numbers, values)) {
        reportFault(kInvalidArg, shape.phrase, line);
        return false;
    }
    if (failedBefore) {
        return true;
    }
    TrackerTransform& record = trackers_[id - 1];
    if (kind == Kind::SensorOffset || kind == Kind::SensorTranslation) {
        if (count == 5) {
            float factor = 1.0f;
            if (!unitFactor(argumentAt(line, 4), factor)) {
                reportFault(kInvalidUnit, shape.phrase, line);
                return false;
            }
            scale(values, factor);
        }
        if (kind == Kind::SensorOffset) {
            record.sensorOffset = makeOffsetMatrix(values[0], values[1], values[2]);
            record.sensorTransform = composeTransform(record.sensorRotation, record.sensorOffset);
            record.hasSensorOffset = true;
        } else {
            record.sensorTranslation = Vector3{values[0], values[1], values[2]};
            record.hasSensorTranslation = true;
        }
    } else {
        if (kind == Kind::SensorRotation) {
            float degrees = 0.0f;
            if (!readNumber(argumentAt(line, 4), degrees)) {
                reportFault(kInvalidArg, shape.phrase, line);
                return false;
            }
            record.sensorRotation = makeAxisAngleMatrix(values[0], values[1], values[2], degrees);
        } else {
            record.sensorRotation =
                makeMatrix3x3(values[0], values[1], values[2], values[3], values[4], values[5],
                              values[6], values[7], values[8]);
        }
        record.sensorTransform = composeTransform(record.sensorRotation, record.sensorOffset);
        record.hasSensorRotation = true;
    }
    line.used = 1;
    return true;
}

bool CTraCommonH::parseCalibrationLine(OptionLine& line) {
    const std::uint32_t count = argCountOf(line);
    if (count == 0) {
        reportFault(kIncomplete, kCalibrationPhrase, line);
        return false;
    }
    const std::uint32_t argCount = count - 1;
    if (argCount > kMaxCalibrationArgs) {
        reportFault(kTooMany, kCalibrationPhrase, line);
        return false;
    }
    const char* name = argumentAt(line, 0);
    // A name cut to fit would load some other library: refuse it instead,
    // leaving any library of an earlier line in place.
    if (std::strlen(name) >= kCalibrationNameSize) {
        reportFault(kInvalidArg, kCalibrationPhrase, line);
        return false;
    }
    // The copies are made before anything is replaced, so that a failure
    // leaves the earlier library and arguments as they were.
    std::unique_ptr<char[]> copies[kMaxCalibrationArgs];
    for (std::uint32_t index = 0; index < argCount; ++index) {
        const char* argument = argumentAt(line, index + 1);
        const std::size_t size = std::strlen(argument) + 1;
        copies[index].reset(new (std::nothrow) char[size]);
        if (copies[index] == nullptr) {
            log_.error("CTraCommonH: Can not allocate the arguments of Calibration at line ",
                       false);
            std::cout << line.lineNumber << "." << std::endl;
            return false;
        }
        std::memcpy(copies[index].get(), argument, size);
    }

    releaseCalibration();
    std::memcpy(calibrationName_, name, std::strlen(name) + 1);
    try {
        calibrationLibrary_ = std::make_unique<CCalibH>(calibrationName_, &log_);
    } catch (const std::exception&) {
        log_.error("CTraCommonH: Can not allocate the library of Calibration at line ", false);
        std::cout << line.lineNumber << "." << std::endl;
        return false;
    }
    for (std::uint32_t index = 0; index < argCount; ++index) {
        calibrationArgs_[index] = std::move(copies[index]);
    }
    calibrationArgCount_ = argCount;
    line.used = 1;
    return true;
}

bool CTraCommonH::parseOrderLine(OptionLine& line) {
    if (inputConnector) {
        log_.error("", false);
        std::cout << "Can not change the order on input connector at line " << line.lineNumber
                  << "." << std::endl;
        return false;
    }
    const std::uint32_t count = argCountOf(line);
    // Arguments past the device's output positions are ignored unread.
    const std::uint32_t taken = count < outputCount ? count : outputCount;
    std::uint32_t ids[OptionLine::kMaxArgs] = {};
    for (std::uint32_t position = 0; position < taken; ++position) {
        if (!readTrackerId(argumentAt(line, position), numTrackers_, ids[position])) {
            reportFault(kInvalidTracker, kOrderPhrase, line);
            return false;
        }
    }
    for (TrackerTransform& record : trackers_) {
        record.outputNumber = 0;
    }
    for (std::uint32_t position = 0; position < taken; ++position) {
        trackers_[ids[position] - 1].outputNumber = position + 1;
    }
    line.used = 1;
    return true;
}

bool CTraCommonH::parseCaveLine(OptionLine& line) {
    if (!inputConnector) {
        return true;
    }
    const std::uint32_t count = argCountOf(line);
    if (count == 0) {
        reportFault(kIncomplete, kCavePhrase, line);
        return false;
    }
    if (count > 1) {
        reportFault(kTooMany, kCavePhrase, line);
        return false;
    }
    const char* word = argumentAt(line, 0);
    if (compareNoCase(word, "yes") == 0 || compareNoCase(word, "on") == 0) {
        caveCoordinates_ = true;
    } else if (compareNoCase(word, "no") == 0 || compareNoCase(word, "off") == 0) {
        caveCoordinates_ = false;
    } else {
        reportFault(kInvalidString, kCavePhrase, line);
        return false;
    }
    line.used = 1;
    return true;
}
