#pragma once

namespace vantrel {

// Told about every change of a SiteList, before and after it happens, so that
// a view over the rows (the list control) can keep in step without a copy.
class SiteListObserver {
public:
    virtual ~SiteListObserver() = default;
    virtual void rowsAboutToBeInserted(int first, int last) = 0;
    virtual void rowsInserted() = 0;
    virtual void rowsAboutToBeRemoved(int first, int last) = 0;
    virtual void rowsRemoved() = 0;
    virtual void rowsChanged(int first, int last) = 0;
    // Wholesale changes (load, sort, reverse, clear): everything may differ.
    virtual void aboutToReset() = 0;
    virtual void reset() = 0;
};

} // namespace vantrel
