#include "platform/FreeMemory.h"

#include <cstdlib> // defines __GLIBC__ on the C library that has malloc_trim

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
