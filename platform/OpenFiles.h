#pragma once

namespace vantrel {

// The process's file descriptors: how many it may have, and how many it
// has. Every fetch, mail, log record and history write needs one; a server
// that takes connections from outside keeps some in reserve for them.
class OpenFiles {
public:
    // Raises the soft limit on open files to the hard one, so a burst of
    // connections cannot use up the default 1024 (nothing here uses
    // select(), which would need descriptors below 1024). Returns the limit
    // now in force.
    static long raiseLimit();
    // The soft limit in force.
    static long limit();
    // Descriptors open now; -1 when they cannot be counted.
    static long inUse();
    // Whether `reserve` more descriptors could still be opened.
    static bool spare(long reserve);
};

} // namespace vantrel
