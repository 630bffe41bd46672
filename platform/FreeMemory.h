#pragma once

namespace vantrel {

// Gives memory the process has freed back to the system. The C library
// keeps freed blocks for reuse, and after a pass over many sites (pages
// downloaded on one thread and freed on another) that is tens of megabytes
// of resident memory the program will not need again until the next pass.
class FreeMemory {
public:
    static void giveBack();
};

} // namespace vantrel
