#pragma once

#include "model/SettingKey.h"

#include <string_view>
#include <vector>

namespace vantrel {

// The keys of vantrel-extra.ini, in the order the file is written.
const std::vector<SettingKey>& extraSettingKeys();

// The key the manual shows as `pattern` ("PARALLEL", "CHANNELn"); it must be
// one of the table's.
const SettingKey& extraSettingKey(std::string_view pattern);

} // namespace vantrel
