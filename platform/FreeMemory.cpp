#include "platform/FreeMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vantrel {

void FreeMemory::giveBack() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace vantrel
