// Local calendar time on Windows.
#include <time.h>

#include "platform/platform.h"

namespace platform {

bool localTime(std::time_t when, std::tm& local) {
    return localtime_s(&local, &when) == 0;
}

}  // namespace platform
