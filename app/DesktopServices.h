#pragma once

#include "app/KeyringSecretStore.h"
#include "app/QtEventPump.h"
#include "model/SystemClock.h"
#include "platform/CanberraSoundPlayer.h"
#include "platform/CurlHttpClient.h"

namespace vantrel {

// What the engine uses of the desktop: the pump a pass waits in, the
// clock, HTTP, the sound player and the keyring for site logins' secrets
// (read ahead before the first pass).
struct DesktopServices {
    QtEventPump pump;
    SystemClock clock;
    CurlHttpClient http;
    CanberraSoundPlayer sound;
    KeyringSecretStore secrets;
};

} // namespace vantrel
