#include "model/SiteListEdit.h"

#include "model/SiteList.h"

namespace vantrel {

void SiteListEdit::applyTo(SiteList& list) const {
    switch (kind) {
    case Kind::None:
        break;
    case Kind::AddOne:
        list.insertAtTop(sites.front());
        break;
    case Kind::AddAll:
        if (!sites.empty())
            list.insertAllAtTop(sites);
        break;
    case Kind::Remove:
        list.removeRow(row);
        break;
    case Kind::Change:
        list.setRow(row, sites.front());
        break;
    case Kind::Replace:
        list.clear();
        if (!sites.empty())
            list.insertAllAtTop(sites);
        break;
    }
}

} // namespace vantrel
