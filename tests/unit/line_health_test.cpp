// When the share of frames the line spoilt is worth a line in the log.
#include "device/line_health.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t kWindow = LineHealth::kWindowMicroseconds;

struct Window {
    std::uint32_t taken;
    std::uint32_t outOfStep;
    std::uint32_t lineErrors;
    // What closing it says: nothing, noisy or clean again.
    enum class Says { nothing, noisy, clean } says;
};

TEST(LineHealth, SaysOnceWhenTheLineTurnsNoisyAndOnceWhenItIsCleanAgain) {
    using Says = Window::Says;
    const std::vector<Window> windows = {
        {1000, 0, 0, Says::nothing},   // a clean run says nothing
        {990, 10, 0, Says::nothing},   // one in a hundred is not yet noisy
        {980, 15, 5, Says::noisy},     // two in a hundred
        {900, 0, 100, Says::nothing},  // still noisy: said already
        {0, 0, 0, Says::nothing},      // a silent window tells nothing
        {995, 5, 0, Says::clean},     {990, 5, 5, Says::nothing},
        {3, 1, 0, Says::noisy},  // few frames: the share still counts
    };
    LineHealth health;
    std::int64_t now = 0;
    for (std::size_t n = 0; n < windows.size(); ++n) {
        SCOPED_TRACE("window " + std::to_string(n));
        const Window& window = windows[n];
        for (std::uint32_t i = 0; i < window.taken; ++i) {
            health.frameTaken(now);
        }
        for (std::uint32_t i = 0; i < window.outOfStep; ++i) {
            health.frameDropped(LineHealth::Drop::outOfStep, now);
        }
        for (std::uint32_t i = 0; i < window.lineErrors; ++i) {
            health.frameDropped(LineHealth::Drop::lineError, now);
        }
        EXPECT_FALSE(health.review(now + kWindow - 1)) << "a window lasts its time";
        now += kWindow;
        const std::optional<LineHealth::Change> change = health.review(now);
        ASSERT_EQ(change.has_value(), window.says != Says::nothing);
        if (change) {
            EXPECT_EQ(change->noisy, window.says == Says::noisy);
            EXPECT_EQ(change->frames, window.taken + window.outOfStep + window.lineErrors);
            EXPECT_EQ(change->outOfStep, window.outOfStep);
            EXPECT_EQ(change->lineErrors, window.lineErrors);
            EXPECT_EQ(change->microseconds, kWindow);
        }
        EXPECT_FALSE(health.review(now)) << "never two lines for one window";
    }
}

}  // namespace
