#include "platform/CanberraSoundPlayer.h"

#include <canberra.h>

#include <filesystem>

namespace vantrel {

CanberraSoundPlayer::CanberraSoundPlayer() {
    if (ca_context_create(&context_) != CA_SUCCESS)
        context_ = nullptr;
    else
        ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Vantrel", nullptr);
}

CanberraSoundPlayer::~CanberraSoundPlayer() {
    if (context_)
        ca_context_destroy(context_);
}

void CanberraSoundPlayer::play(const std::string& file) {
    if (!context_)
        return; // no sound system: silent and harmless
    ++id_;
    // The sound server does not share our current directory: hand it a full path.
    std::error_code ec;
    const std::string path = file.empty() ? file : std::filesystem::absolute(file, ec).string();
    int rc = ca_context_play(context_, id_, CA_PROP_MEDIA_FILENAME, path.c_str(), CA_PROP_MEDIA_ROLE, "event",
                             nullptr);
    if (rc != CA_SUCCESS)
        ca_context_play(context_, id_, CA_PROP_EVENT_ID, "dialog-warning", CA_PROP_MEDIA_ROLE, "event",
                        nullptr);
}

} // namespace vantrel
