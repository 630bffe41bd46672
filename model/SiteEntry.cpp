#include "model/SiteEntry.h"

#include <stdexcept>

namespace vantrel {

std::string& SiteEntry::column(int c) {
    return const_cast<std::string&>(static_cast<const SiteEntry&>(*this).column(c));
}

const std::string& SiteEntry::column(int c) const {
    switch (c) {
    case 0: return title;
    case 1: return url;
    case 2: return testString;
    case 3: return action;
    case 4: return errorUrl;
    case 5: return createDate;
    case 6: return checkDate;
    case 7: return status;
    default: throw std::out_of_range("SiteEntry column");
    }
}

} // namespace vantrel
