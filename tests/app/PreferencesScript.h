#pragma once

#include "app/SiteMonitorDlg.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalScript.h"
#include "ui/PreferencesDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

// GLib names a struct member "signals", a word Qt defines.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <functional>

namespace vantrel::test {

// QtKeychain reaches the keyring through libsecret, which keeps GLib's shared
// session bus connection open; by default GLib ends the process when that bus
// goes away. The private bus ends with the test, the test program must not.
struct OutliveTheBus {
    ~OutliveTheBus() {
        if (GDBusConnection* c = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(c, FALSE);
            g_object_unref(c);
        }
    }
};

// Opens Preferences with the window's button and runs `act` in it.
inline void openPreferences(CSiteMonitorDlg& window, std::function<void(CPreferencesDlg&)> act) {
    ModalScript<CPreferencesDlg> script(std::move(act));
    byName<QPushButton>(window, "Preferences")->click();
    EXPECT_TRUE(script.ran());
    EXPECT_FALSE(script.timedOut());
}

inline void typeInto(CPreferencesDlg& p, const char* field, const QString& text) {
    QLineEdit* edit = byName<QLineEdit>(p, field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

} // namespace vantrel::test
