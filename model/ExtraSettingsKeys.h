#pragma once

#include "model/SettingKey.h"

#include <vector>

namespace vantrel {

// The keys of vantrel-extra.ini, in the order the file is written.
const std::vector<SettingKey>& extraSettingKeys();

} // namespace vantrel
