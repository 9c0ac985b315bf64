// Local calendar time on Linux.
#include <time.h>

#include "platform/platform.h"

namespace platform {

bool localTime(std::time_t when, std::tm& local) {
    return localtime_r(&when, &local) != nullptr;
}

}  // namespace platform
