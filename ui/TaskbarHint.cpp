#include "ui/TaskbarHint.h"

#include <QGuiApplication>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/xcb.h>

namespace vantrel {

namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

std::vector<xcb_atom_t> stateAtoms(xcb_connection_t* c, xcb_window_t w, xcb_atom_t netWmState) {
    std::vector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return atoms;
}

bool mapped(xcb_connection_t* c, xcb_window_t w) {
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool viewable = reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
    std::free(reply);
    return viewable;
}

} // namespace

void TaskbarHint::setSkipTaskbar(QWidget& window, bool skip) {
    xcb_connection_t* c = x11Connection();
    if (!c)
        return;
    const auto w = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t netWmState = atom(c, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (netWmState == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE)
        return;
    if (mapped(c, w)) {
        // The window manager owns the state of a mapped window.
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = netWmState;
        event.data.data32[0] = skip ? 1 : 0; // _NET_WM_STATE_ADD or _REMOVE
        event.data.data32[1] = skipTaskbar;
        event.data.data32[3] = 1; // from a normal application
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    } else {
        // Other states in the property (Qt's own) are kept as they are.
        std::vector<xcb_atom_t> atoms = stateAtoms(c, w, netWmState);
        std::erase(atoms, skipTaskbar);
        if (skip)
            atoms.push_back(skipTaskbar);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, netWmState, XCB_ATOM_ATOM, 32,
                            static_cast<uint32_t>(atoms.size()), atoms.data());
    }
    xcb_flush(c);
}

bool TaskbarHint::skipsTaskbar(const QWidget& window) {
    xcb_connection_t* c = x11Connection();
    if (!c || !window.internalWinId())
        return false;
    const xcb_atom_t netWmState = atom(c, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    const auto atoms = stateAtoms(c, static_cast<xcb_window_t>(window.internalWinId()), netWmState);
    return std::find(atoms.begin(), atoms.end(), skipTaskbar) != atoms.end();
}

} // namespace vantrel
