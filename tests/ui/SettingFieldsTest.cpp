#include "ui/SettingFields.h"
#include "model/ExtraSettings.h"
#include "model/ExtraSettingsFile.h"
#include "model/ExtraSettingsKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <gtest/gtest.h>

using namespace vantrel;

// Each control is made from its key's row of the table (kind, range,
// choices). A key the user leaves alone keeps what the file held, a refused
// value included; a changed one is set through its key.
TEST(SettingFields, ControlsFollowTheirKeysAndOnlyChangedKeysAreSet) {
    const SettingFields::Row rows[] = {
        {"MAILSECURITY", "Mail Security:", {80, 7, 107, 14}, {}, {"None", "STARTTLS", "TLS"}},
        {"PARALLEL", "Pages at Once:", {80, 78, 50, 14}},
        {"HISTORYMAXMB", "History Size:", {80, 149, 70, 14}, " MiB"},
        {"OFFLINEGUARD", "Offline Guard", {7, 122, 70, 10}},
        {"METRICS", "Metrics Address:", {80, 163, 107, 14}},
    };
    QWidget page;
    SettingFields fields;
    fields.add(&page, rows);
    ExtraSettings s;
    ExtraSettingsFile::parse("PARALLEL=many\r\nHISTORYMAXMB=64\r\nMAILSECURITY=tls\r\n", s);
    fields.show(s);

    auto* security = qobject_cast<QComboBox*>(fields.control("MAILSECURITY"));
    auto* parallel = qobject_cast<QSpinBox*>(fields.control("PARALLEL"));
    auto* size = qobject_cast<QSpinBox*>(fields.control("HISTORYMAXMB"));
    auto* guard = qobject_cast<QCheckBox*>(fields.control("OFFLINEGUARD"));
    auto* metrics = qobject_cast<QLineEdit*>(fields.control("METRICS"));
    ASSERT_TRUE(security && parallel && size && guard && metrics);
    EXPECT_FALSE(security->isEditable());
    EXPECT_EQ(security->currentText(), "TLS");
    EXPECT_EQ(parallel->value(), 8); // the refused text leaves the default
    EXPECT_EQ(parallel->maximum(), extraSettingKey("PARALLEL").high());
    EXPECT_EQ(size->text(), "64 MiB");
    EXPECT_TRUE(guard->isChecked());

    const ExtraSettings shown = s;
    fields.gather(s);
    EXPECT_EQ(s, shown);
    EXPECT_NE(ExtraSettingsFile::serialize(s).find("\r\nPARALLEL=many\r\n"), std::string::npos);

    security->setCurrentIndex(1);
    parallel->setValue(4);
    guard->setChecked(false);
    metrics->setText("127.0.0.1:9100");
    fields.gather(s);
    EXPECT_EQ(s.mailSecurity, MailSecurity::StartTls);
    EXPECT_EQ(s.parallelFetches, 4);
    EXPECT_FALSE(s.offlineGuard);
    EXPECT_EQ(s.metricsAddress, "127.0.0.1:9100");
    EXPECT_EQ(s.historyMaxMb, 64);
    EXPECT_EQ(ExtraSettingsFile::serialize(s).find("many"), std::string::npos);
}
