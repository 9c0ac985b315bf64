// msvcrt's malloc cannot be replaced from a statically linked program; only
// operator new is counted here.
#include "tests/alloc/allocation_counter.h"

namespace allocation_counter {

bool countsMalloc() {
    return false;
}

}  // namespace allocation_counter
