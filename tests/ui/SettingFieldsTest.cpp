#include "ui/SettingFields.h"
#include "model/ExtraSettings.h"
#include "model/ExtraSettingsFile.h"
#include "model/ExtraSettingsKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <gtest/gtest.h>

using namespace vantrel;

namespace {

const SettingFields::Row kRows[] = {
    {"MAILSECURITY", "Mail Security:", {80, 7, 107, 14}, {}, {"None", "STARTTLS", "TLS"}},
    {"PARALLEL", "Pages at Once:", {80, 78, 50, 14}},
    {"HISTORYMAXMB", "History Size:", {80, 149, 70, 14}, " MiB"},
    {"OFFLINEGUARD", "Offline Guard", {7, 122, 70, 10}},
    {"METRICS", "Metrics Address:", {80, 163, 107, 14}},
};

template <class W> W* of(const SettingFields& fields, const char* key) {
    return qobject_cast<W*>(fields.control(key));
}

} // namespace

// Each control is made from its key's row of the table: its kind, range,
// choices, name and tool tip. A key the user leaves alone keeps what the file
// held, a refused value included; a changed one is set through its key.
TEST(SettingFields, ControlsFollowTheirKeysAndOnlyChangedKeysAreSet) {
    QWidget page;
    SettingFields fields;
    fields.add(&page, kRows);
    ExtraSettings s;
    ExtraSettingsFile::parse("PARALLEL=many\r\nHISTORYMAXMB=64\r\nMAILSECURITY=tls\r\n", s,
                             extraSettingKeys());
    fields.show(s);

    QComboBox* security = of<QComboBox>(fields, "MAILSECURITY");
    ASSERT_NE(security, nullptr);
    EXPECT_FALSE(security->isEditable());
    EXPECT_EQ(security->count(), 3);
    EXPECT_EQ(security->currentText(), "TLS");
    QSpinBox* parallel = of<QSpinBox>(fields, "PARALLEL");
    ASSERT_NE(parallel, nullptr);
    EXPECT_EQ(parallel->value(), 8); // the refused text leaves the default
    EXPECT_EQ(parallel->minimum(), extraSettingKey("PARALLEL").low());
    EXPECT_EQ(parallel->maximum(), extraSettingKey("PARALLEL").high());
    QSpinBox* size = of<QSpinBox>(fields, "HISTORYMAXMB");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->text(), "64 MiB");
    QCheckBox* guard = of<QCheckBox>(fields, "OFFLINEGUARD");
    ASSERT_NE(guard, nullptr);
    EXPECT_TRUE(guard->isChecked());
    QLineEdit* metrics = of<QLineEdit>(fields, "METRICS");
    ASSERT_NE(metrics, nullptr);
    for (QWidget* w : {static_cast<QWidget*>(security), static_cast<QWidget*>(parallel),
                       static_cast<QWidget*>(guard), static_cast<QWidget*>(metrics)})
        EXPECT_FALSE(w->accessibleName().isEmpty());
    EXPECT_EQ(security->accessibleName(), "Mail Security");
    EXPECT_EQ(guard->accessibleName(), "Offline Guard");
    EXPECT_EQ(metrics->toolTip().toStdString(), extraSettingKey("METRICS").help());
    int labels = 0;
    for (QLabel* l : page.findChildren<QLabel*>())
        labels += l->buddy() != nullptr;
    EXPECT_EQ(labels, 4); // all but the check box, whose text is its label

    const ExtraSettings shown = s;
    fields.gather(s);
    EXPECT_EQ(s, shown);
    EXPECT_NE(ExtraSettingsFile::serialize(s, extraSettingKeys()).find("\r\nPARALLEL=many\r\n"),
              std::string::npos);

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
    const std::string file = ExtraSettingsFile::serialize(s, extraSettingKeys());
    EXPECT_NE(file.find("\r\nPARALLEL=4\r\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("many"), std::string::npos) << file;
}
