// One receive cycle's processing without its serial I/O, as the two
// frame-processing benchmarks share it: the frames of a moving device and
// the device's side of a cycle (decoding, mapping through cubic curves,
// comparison with the last published record, publication under the storage
// mutex, tracker emulation step).
#pragma once

#include <array>
#include <cstdint>

#include "config/CConCommonH.h"
#include "device/frame.h"
#include "host/kit/storage.h"
#include "storage/CDataStorage.h"
#include "storage/ConData.h"
#include "storage/TraData.h"
#include "storage/UpdateMask.h"

namespace frame_cycle {

constexpr std::uint32_t kValuators = frame::kValuators;
constexpr std::uint32_t kButtons = frame::kButtons;
constexpr int kFrames = 1024;

using Frame = std::array<std::uint8_t, frame::kBytes>;

// Valuator 1 counts through its range, the others rest at mid-scale, one
// button pressed: every frame differs from the one before.
inline std::array<Frame, kFrames> freshFrames() {
    std::array<Frame, kFrames> frames{};
    for (int i = 0; i < kFrames; ++i) {
        Frame& f = frames[i];
        f[0] = 0xFE;
        f[1] = 0xFF;
        const int values[kValuators] = {i, 512, 512, 512, 512, 512};
        for (std::uint32_t v = 0; v < kValuators; ++v) {
            f[2 + 2 * v] = static_cast<std::uint8_t>(values[v] >> 8);
            f[3 + 2 * v] = static_cast<std::uint8_t>(values[v] & 0xFF);
        }
    }
    return frames;
}

// The device's side of one cycle, with everything it touches set up as
// init leaves it: one controller of 6 valuators and 12 buttons, a cubic
// curve on every valuator, a tracker driven by all six, and host storages
// holding the device's entries.
struct Cycle {
    Cycle() : mapping(nullptr) {
        mapping.allocate(1, true);
        mapping.setupController(1, 1, kValuators, kButtons);
        ControllerEntry* e = mapping.entry(1);
        for (std::uint32_t r = 0; r < kValuators; ++r) {
            const float cubic[4] = {0.5f, 0.25f, 0.25f, 0.0f};
            for (int k = 0; k < 4; ++k) {
                e->valuatorScale[r][k] = cubic[k];
            }
        }
        mapping.setEmulation(1, 1, {}, {1, 2, 3, 4, 5, 6}, 7);
        mapping.numberTrackers(1);

        controllers.setCount(1);
        trackers.setCount(1);
        for (ConData* record : {&cur, &prev}) {
            record->reset();
            record->setValuatorCount(kValuators);
            record->setButtonCount(kButtons);
        }
        curTracker.clearPose();
        prevTracker.clearPose();
        mapping.resetEmulatedTracker(1, &curTracker, nullptr);
    }

    void decode(const Frame& f) {
        for (int w = 0; w < frame::kWords; ++w) {
            const auto word = static_cast<std::uint16_t>(f[2 * w] << 8 | f[2 * w + 1]);
            if (w == 0) {
                frame::decodeButtons(word, buttons);
            } else {
                valuators[w - 1] = frame::decodeValuator(word);
            }
        }
    }

    void map() {
        cur.stampNow();
        mapping.applyMapping(valuators, buttons, cur);
    }

    void publishController() {
        CDataStorage* storage = controllers.get();
        storage->lock();
        ConData* entry = storage->getController(mapping.controllerBase + 1);
        if (entry != nullptr) {
            *entry = cur;
        }
        storage->unlock();
        masks.controller.mark(mapping.entry(1)->outputNumber + mapping.controllerBase);
        prev = cur;
    }

    void trackerStep() {
        mapping.emulateTracker(1, &curTracker, &cur);
        if (sameTraData(prevTracker, curTracker) != 0) {
            return;
        }
        CDataStorage* storage = trackers.get();
        storage->lock();
        TraData* entry = storage->getTracker(1);
        if (entry != nullptr) {
            curTracker.setId(1);
            *entry = curTracker;
            masks.tracker.mark(1);
        }
        storage->unlock();
        prevTracker = curTracker;
    }

    // One whole cycle's processing, in the receive cycle's order.
    void process(const Frame& f) {
        masks.controller.clear();
        masks.tracker.clear();
        decode(f);
        map();
        if (!sameConData(prev, cur)) {
            publishController();
        }
        trackerStep();
    }

    CConCommonH mapping;
    hostkit::Storage controllers{hostkit::StorageKind::controller};
    hostkit::Storage trackers{hostkit::StorageKind::tracker};
    ConData cur{};
    ConData prev{};
    TraData curTracker{};
    TraData prevTracker{};
    UpdateMasks masks{};
    float valuators[kValuators] = {};
    std::int32_t buttons[kButtons] = {};
};

inline const std::array<Frame, kFrames>& frames() {
    static const std::array<Frame, kFrames> all = freshFrames();
    return all;
}

}  // namespace frame_cycle
