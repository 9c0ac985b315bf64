// The tracker option lines: transmitter and sensor transforms, calibration
// library, publishing order and CAVE switch.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "config/CTraCommonH.h"
#include "config/options.h"

namespace {

using namespace phrase;

// How many arguments a transform line takes, and how many of them (from
// its first number on) are numbers read before anything else is examined.
struct LineShape {
    std::uint32_t minArgs;
    std::uint32_t maxArgs;
    std::uint32_t numbers;
};

using Verdict = LineVerdict;

// Arguments first ... first + count - 1, all or nothing.
bool readNumbers(const OptionLineView& line, std::uint32_t first, std::uint32_t count,
                 float* values) {
    for (std::uint32_t index = 0; index < count; ++index) {
        if (!readReal(line.arg(first + index), values[index])) {
            return false;
        }
    }
    return true;
}

// The checks every transform line makes in this order: the argument count,
// then its numbers, then whether an earlier line was refused.
Verdict readTransformLine(const OptionLineView& line, const LineShape& shape, std::uint32_t first,
                          float* values) {
    const std::uint32_t count = line.argCount();
    if (count < shape.minArgs) {
        return line.reject(kIncomplete);
    }
    if (count > shape.maxArgs) {
        return line.reject(kTooMany);
    }
    if (!readNumbers(line, first, shape.numbers, values)) {
        return line.reject(kInvalidArg);
    }
    if (line.earlierLineRejected()) {
        // Once a line has failed the configuration is refused anyway: the
        // line is checked no further and changes nothing.
        return LineResult::leftAlone;
    }
    return std::nullopt;
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

// Scales the three values by the optional unit word at `index` (feet when
// there is none); a word outside the list refuses the line with `phrase`.
Verdict applyUnit(const OptionLineView& line, std::uint32_t index, const char* failurePhrase,
                  float* values) {
    if (line.argCount() <= index) {
        return std::nullopt;
    }
    float factor = 1.0f;
    if (!unitFactor(line.arg(index), factor)) {
        return line.reject(failurePhrase);
    }
    for (int axis = 0; axis < 3; ++axis) {
        values[axis] = static_cast<float>(static_cast<double>(values[axis]) * factor);
    }
    return std::nullopt;
}

// An ID compared as unsigned, so a negative one is above every bound.
bool readTrackerId(const char* text, std::uint32_t numTrackers, std::uint32_t& id) {
    id = static_cast<std::uint32_t>(toInteger(text));
    return id >= 1 && id <= numTrackers;
}

// A sensor line's tracker ID (before its count, so that a line of just a
// bad ID names the ID as its fault), then the checks of every transform line.
Verdict readSensorLine(const OptionLineView& line, const LineShape& shape,
                       std::uint32_t numTrackers, std::uint32_t& id, float* values) {
    if (line.argCount() == 0) {
        return line.reject(kIncomplete);
    }
    if (!readTrackerId(line.arg(0), numTrackers, id)) {
        return line.reject(kInvalidTracker);
    }
    return readTransformLine(line, shape, 1, values);
}

// A sensor line that carries a position: three numbers in an optional unit.
Verdict readSensorPosition(const OptionLineView& line, std::uint32_t numTrackers, std::uint32_t& id,
                           float* values) {
    if (const Verdict verdict = readSensorLine(line, {4, 5, 3}, numTrackers, id, values)) {
        return verdict;
    }
    return applyUnit(line, 4, kInvalidUnit, values);
}

Matrix4 matrixOf(const float* values) {
    return makeMatrix3x3(values[0], values[1], values[2], values[3], values[4], values[5],
                         values[6], values[7], values[8]);
}

}  // namespace

bool CTraCommonH::parseOptions(DeviceConfig* config) {
    if (!readyToParse(!trackers_.empty(), config, *log_, "CTraCommonH: lookup is Null.",
                      "CTraCommonH: config is empty.")) {
        return false;
    }
    static constexpr OptionKeyword<CTraCommonH> kKeywords[] = {
        {{"transmitteroffset"}, "TransmitterOffset", &CTraCommonH::parseTransmitterOffset},
        {{"transmitterrotation"}, "TransmitterRotation", &CTraCommonH::parseTransmitterRotation},
        {{"transmitterrotationmatrix"},
         "TransmitterRotationMatrix",
         &CTraCommonH::parseTransmitterRotationMatrix},
        {{"sensoroffset"}, "SensorOffset", &CTraCommonH::parseSensorOffset},
        {{"sensortranslation"}, "SensorTranslation", &CTraCommonH::parseSensorTranslation},
        {{"sensorrotation"}, "SensorRotation", &CTraCommonH::parseSensorRotation},
        {{"sensorrotationmatrix"}, "SensorRotationMatrix", &CTraCommonH::parseSensorRotationMatrix},
        {{"calibration", "calib"}, "Calibration", &CTraCommonH::parseCalibration},
        {{"trackerorder", "unitorder", "order"}, "Order", &CTraCommonH::parseOrder},
        {{"cavecoordinates", "cavecoord"}, "CAVECoord", &CTraCommonH::parseCave},
    };
    return parseOptionLines(*this, *config, kKeywords, *log_, "");
}

LineResult CTraCommonH::parseTransmitterOffset(const OptionLineView& line) {
    float values[3] = {};
    if (const Verdict verdict = readTransformLine(line, {3, 4, 3}, 0, values)) {
        return *verdict;
    }
    // Only the transmitter offset speaks of a "string" for its unit word.
    if (const Verdict verdict = applyUnit(line, 3, kInvalidString, values)) {
        return *verdict;
    }
    // Only an offset of exactly nothing is dropped; one whose values cancel
    // out (1, -1, 0) is a real displacement and is kept.
    if (values[0] != 0.0f || values[1] != 0.0f || values[2] != 0.0f) {
        transmitterOffset_ = makeOffsetMatrix(values[0], values[1], values[2]);
        transmitterTransform_ = composeTransform(transmitterRotation_, transmitterOffset_);
        hasTransmitterOffset_ = true;
    }
    return LineResult::accepted;
}

LineResult CTraCommonH::parseTransmitterRotation(const OptionLineView& line) {
    float axis[3] = {};
    if (const Verdict verdict = readTransformLine(line, {4, 4, 3}, 0, axis)) {
        return *verdict;
    }
    float degrees = 0.0f;
    if (!readReal(line.arg(3), degrees)) {
        return line.reject(kInvalidArg);
    }
    return setTransmitterRotation(makeAxisAngleMatrix(axis[0], axis[1], axis[2], degrees));
}

LineResult CTraCommonH::parseTransmitterRotationMatrix(const OptionLineView& line) {
    float values[9] = {};
    if (const Verdict verdict = readTransformLine(line, {9, 9, 9}, 0, values)) {
        return *verdict;
    }
    return setTransmitterRotation(matrixOf(values));
}

LineResult CTraCommonH::setTransmitterRotation(const Matrix4& rotation) {
    transmitterRotation_ = rotation;
    transmitterTransform_ = composeTransform(transmitterRotation_, transmitterOffset_);
    hasTransmitterRotation_ = true;
    return LineResult::accepted;
}

LineResult CTraCommonH::parseSensorOffset(const OptionLineView& line) {
    return setSensorPosition(line, [](TrackerTransform& record, const Vector3& at) {
        record.sensorOffset = makeOffsetMatrix(at.x, at.y, at.z);
        record.sensorTransform = composeTransform(record.sensorRotation, record.sensorOffset);
        record.hasSensorOffset = true;
    });
}

LineResult CTraCommonH::parseSensorTranslation(const OptionLineView& line) {
    // Kept apart from the transform, which it does not change.
    return setSensorPosition(line, [](TrackerTransform& record, const Vector3& at) {
        record.sensorTranslation = at;
        record.hasSensorTranslation = true;
    });
}

LineResult CTraCommonH::setSensorPosition(const OptionLineView& line, SensorPositionSetter set) {
    float values[3] = {};
    std::uint32_t id = 0;
    if (const Verdict verdict = readSensorPosition(line, numTrackers_, id, values)) {
        return *verdict;
    }
    set(trackers_[id - 1], Vector3{values[0], values[1], values[2]});
    return LineResult::accepted;
}

LineResult CTraCommonH::parseSensorRotation(const OptionLineView& line) {
    float axis[3] = {};
    std::uint32_t id = 0;
    if (const Verdict verdict = readSensorLine(line, {5, 5, 3}, numTrackers_, id, axis)) {
        return *verdict;
    }
    float degrees = 0.0f;
    if (!readReal(line.arg(4), degrees)) {
        return line.reject(kInvalidArg);
    }
    return setSensorRotation(id, makeAxisAngleMatrix(axis[0], axis[1], axis[2], degrees));
}

LineResult CTraCommonH::parseSensorRotationMatrix(const OptionLineView& line) {
    float values[9] = {};
    std::uint32_t id = 0;
    if (const Verdict verdict = readSensorLine(line, {10, 10, 9}, numTrackers_, id, values)) {
        return *verdict;
    }
    return setSensorRotation(id, matrixOf(values));
}

LineResult CTraCommonH::setSensorRotation(std::uint32_t id, const Matrix4& rotation) {
    TrackerTransform& record = trackers_[id - 1];
    record.sensorRotation = rotation;
    record.sensorTransform = composeTransform(record.sensorRotation, record.sensorOffset);
    record.hasSensorRotation = true;
    return LineResult::accepted;
}

LineResult CTraCommonH::parseCalibration(const OptionLineView& line) {
    const std::uint32_t count = line.argCount();
    if (count == 0) {
        return line.reject(kIncomplete);
    }
    if (count - 1 > kMaxCalibrationArgs) {
        return line.reject(kTooMany);
    }
    const char* name = line.arg(0);
    // A name cut to fit would load some other library: refuse it instead,
    // leaving any library of an earlier line in place.
    if (std::strlen(name) >= kCalibrationNameSize) {
        return line.reject(kInvalidArg);
    }
    std::vector<std::string> arguments;
    for (std::uint32_t index = 1; index < count; ++index) {
        arguments.emplace_back(line.arg(index));
    }
    // The earlier library is unloaded before the new one is loaded.
    calibrationLibrary_.reset();
    calibrationName_ = name;
    calibrationArgs_ = std::move(arguments);
    calibrationLibrary_ = std::make_unique<CCalibH>(calibrationName_.c_str(), log_.get());
    return LineResult::accepted;
}

LineResult CTraCommonH::parseOrder(const OptionLineView& line) {
    if (inputConnector) {
        return line.rejectLine("Can not change the order on input connector at line ");
    }
    // Arguments past the device's output positions are ignored unread.
    const std::uint32_t taken = std::min(line.argCount(), outputCount);
    std::uint32_t ids[OptionLine::kMaxArgs] = {};
    for (std::uint32_t position = 0; position < taken; ++position) {
        if (!readTrackerId(line.arg(position), numTrackers_, ids[position])) {
            return line.reject(kInvalidTracker);
        }
    }
    for (TrackerTransform& record : trackers_) {
        record.outputNumber = 0;
    }
    for (std::uint32_t position = 0; position < taken; ++position) {
        trackers_[ids[position] - 1].outputNumber = position + 1;
    }
    return LineResult::accepted;
}

LineResult CTraCommonH::parseCave(const OptionLineView& line) {
    if (!inputConnector) {
        return LineResult::leftAlone;
    }
    const std::uint32_t count = line.argCount();
    if (count == 0) {
        return line.reject(kIncomplete);
    }
    if (count > 1) {
        return line.reject(kTooMany);
    }
    const char* word = line.arg(0);
    if (compareNoCase(word, "yes") == 0 || compareNoCase(word, "on") == 0) {
        caveCoordinates_ = true;
    } else if (compareNoCase(word, "no") == 0 || compareNoCase(word, "off") == 0) {
        caveCoordinates_ = false;
    } else {
        return line.reject(kInvalidString);
    }
    return LineResult::accepted;
}
