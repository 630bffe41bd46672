#include "app/SiteMonitorDlg.h"
#include "model/SiteListFile.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/support/TempDir.h"
#include "ui/TrayIcon.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vantrel;
using vantrel::test::ModalAnswerer;
using vantrel::test::TempDir;

namespace {

template <typename T> T* byName(QWidget& w, const QString& name) {
    for (T* c : w.findChildren<T*>())
        if (c->accessibleName() == name)
            return c;
    return nullptr;
}

const char* const kTwoSites = "CREATOR=Vantrel 1.0\r\n"
                              "ST=Bottom\r\nURL=http://b\r\nTESTSTRING=\r\nCREATE=01 Jan 2026\r\nCHECK=\r\n"
                              "URLEMAIL=\r\nACTION=Sound\r\nSTATUS=New\r\n\r\n"
                              "ST=Top\r\nURL=http://t\r\nTESTSTRING=x\r\nCREATE=02 Jan 2026\r\nCHECK=\r\n"
                              "URLEMAIL=\r\nACTION=URL\r\nSTATUS=OK\r\n";

} // namespace

TEST(Startup, FirstRunWritesSettingsAndMonitors) {
    TempDir dir;
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    EXPECT_EQ(
        TempDir::readFile("vantrel.ini"),
        "CREATOR=Vantrel 1.0\r\nYOURNAME=\r\nYOUREMAIL=\r\nEMAIL1=\r\nEMAIL2=\r\nLOGFILE=\r\nERRORSOUND=\r\n"
        "NOTIFY=\r\nINTERVAL=\r\nSMTPSERVER=\r\nTOOLTIPS=yes\r\nMONITOR=yes\r\nEVERYERROR=\r\n\r\n");
    EXPECT_TRUE(TempDir::exists("vantrel.dat"));
    EXPECT_EQ(byName<QLineEdit>(dlg, "Monitor Status")->text(), "Monitor.");
    EXPECT_EQ(byName<QPushButton>(dlg, "Stop Monitor")->text(), "Stop Monitor");
    EXPECT_TRUE(dlg.checkTimer().isActive());
    EXPECT_EQ(dlg.checkTimer().interval(), 5 * 60000);
    EXPECT_EQ(dlg.windowTitle(), "Vantrel: vantrel.dat");
    // No tray on the offscreen platform: the window stays reachable.
    EXPECT_TRUE(dlg.isMinimized() || !TrayIcon::trayAvailable());
    EXPECT_EQ(dlg.tray().iconId(), TrayIcon::kOnFrame1);
    dlg.reject();
    EXPECT_EQ(TempDir::readFile("vantrel.dat"), ""); // empty list: zero bytes
}

TEST(Startup, MonitorNoKeepsMonitoringOff) {
    TempDir dir;
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\nINTERVAL=60\r\nTOOLTIPS=no\r\n");
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    EXPECT_EQ(byName<QLineEdit>(dlg, "Monitor Status")->text(), "Off.");
    EXPECT_NE(byName<QPushButton>(dlg, "Monitor"), nullptr);
    EXPECT_FALSE(dlg.checkTimer().isActive());
    EXPECT_NE(TempDir::readFile("vantrel.ini").find("MONITOR=no\r\n"), std::string::npos);
    EXPECT_NE(TempDir::readFile("vantrel.ini").find("TOOLTIPS=no\r\n"), std::string::npos);
}

TEST(Startup, RowsLoadInSavedOrderAndClosingSavesThem) {
    TempDir dir;
    TempDir::writeFile("vantrel.dat", kTwoSites);
    {
        CSiteMonitorDlg dlg;
        dlg.OnInitDialog();
        auto* model = dlg.listView()->model();
        ASSERT_EQ(model->rowCount(), 2);
        EXPECT_EQ(model->index(0, 0).data().toString(), "Top");
        EXPECT_EQ(model->index(1, 0).data().toString(), "Bottom");
        EXPECT_EQ(byName<QLineEdit>(dlg, "Total Sites")->text(), "2");
        EXPECT_EQ(byName<QLineEdit>(dlg, "Site Name")->text(), ""); // entry cleared after the load
        ::unlink("vantrel.dat");
        dlg.accept();
    }
    EXPECT_EQ(TempDir::readFile("vantrel.dat"), kTwoSites);
}

TEST(Startup, ReadOnlySettingsFileGivesTheSaveMessage) {
    TempDir dir;
    TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\n");
    ::chmod("vantrel.ini", 0444);
    ModalAnswerer answerer;
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].caption, "Error Writing File");
    EXPECT_EQ(answerer.seen()[0].text, "Save to File");
    EXPECT_EQ(TempDir::readFile("vantrel.ini"), "MONITOR=yes\r\n");
}
