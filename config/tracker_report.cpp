// The tracker part of the device report. Matrix cells switch the shared
// output stream to fixed notation with 3 decimals and leave it so: every
// float written after the first cell, here or in a later report, follows it.
#include <iomanip>
#include <iostream>

#include "config/CTraCommonH.h"

namespace {

constexpr const char* kContinuation = "                      :";

}  // namespace

void CTraCommonH::printMatrixBlock(const char* caption, const Matrix4& matrix,
                                   std::uint32_t trackerNumber) const {
    for (int row = 0; row < 3; ++row) {
        log_->info(row == 0 ? caption : kContinuation, false);
        if (trackerNumber != 0) {
            std::cout << " " << trackerNumber;
        }
        for (int column = 0; column < 3; ++column) {
            std::cout << " [" << row << "][" << column << "]:" << std::fixed << std::setprecision(3)
                      << std::setw(6) << matrix[4 * row + column];
        }
        std::cout << std::endl;
    }
    std::cout << std::endl;
}

bool CTraCommonH::printConfiguration(bool showCave) const {
    if (showCave) {
        log_->info(
            caveCoordinates_ ? "CAVE COORDINATES      : Used" : "CAVE COORDINATES      : Unused",
            true);
    }
    if (hasTransmitterOffset_) {
        log_->info("TRANSMITTER OFFSET    :", false);
        std::cout << " X:" << transmitterOffset_[3] << " Y:" << transmitterOffset_[7]
                  << " Z:" << transmitterOffset_[11] << std::endl;
    }
    if (hasTransmitterRotation_) {
        printMatrixBlock("TRANSMITTER ROTATION  :", transmitterRotation_, 0);
    }
    if (hasTransmitterOffset_ || hasTransmitterRotation_) {
        printMatrixBlock("TRANSMITTER TRANSFORM :", transmitterTransform_, 0);
    }

    log_->info("TRACKER ORDER         : <Real tra> -> <Output tra>", true);
    log_->info(kContinuation, false);
    for (std::uint32_t number = 1; number <= numTrackers_; ++number) {
        const TrackerTransform& record = trackers_[number - 1];
        if (record.outputNumber != 0) {
            std::cout << " " << number << "->" << record.outputNumber + outputBase;
        }
    }
    std::cout << std::endl;

    for (std::uint32_t number = 1; number <= numTrackers_; ++number) {
        const TrackerTransform& record = trackers_[number - 1];
        if (record.outputNumber == 0) {
            continue;
        }
        if (record.hasSensorOffset) {
            log_->info("SENSOR OFFSET         :", false);
            std::cout << " " << number << " X:" << record.sensorOffset[3]
                      << " Y:" << record.sensorOffset[7] << " Z:" << record.sensorOffset[11]
                      << std::endl;
        }
        if (record.hasSensorRotation) {
            printMatrixBlock("SENSOR ROTATION       :", record.sensorRotation, number);
        }
        if (record.hasSensorOffset || record.hasSensorRotation) {
            printMatrixBlock("SENSOR TRANSFORM      :", record.sensorTransform, number);
        }
    }

    if (calibrationLibrary_ != nullptr) {
        log_->info("CALIBRATION LIBRARY   :", false);
        std::cout << " name:" << calibrationName_ << std::endl;
        for (std::size_t index = 0; index < calibrationArgs_.size(); ++index) {
            log_->info(kContinuation, false);
            std::cout << " arg[" << index << "]:" << calibrationArgs_[index] << std::endl;
        }
    }
    return true;
}
