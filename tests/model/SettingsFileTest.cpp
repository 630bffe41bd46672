#include "model/SettingsFile.h"

#include <gtest/gtest.h>

using namespace vantrel;

TEST(SettingsFile, LayoutIsByteExact) {
    Settings s;
    s.toolTips = "yes";
    s.monitor = "yes";
    EXPECT_EQ(SettingsFile::serialize(s), "CREATOR=Vantrel 1.0\r\nYOURNAME=\r\nYOUREMAIL=\r\nEMAIL1=\r\nEMAIL2=\r\n"
                                          "LOGFILE=\r\nERRORSOUND=\r\nNOTIFY=\r\nINTERVAL=\r\nSMTPSERVER=\r\n"
                                          "TOOLTIPS=yes\r\nMONITOR=yes\r\nEVERYERROR=\r\n\r\n");
}

TEST(SettingsFile, RoundTripDropsEqualsSignsAndTrailingBlanks) {
    Settings s{"Jo=Doe", "jo@x", "a@x", "b@x", "log.txt", "s.wav", "Every Check", "10", "mail:2525",
               "no", "no", "yes ", ""};
    Settings back;
    SettingsFile::parse(SettingsFile::serialize(s), back);
    EXPECT_EQ(back.yourName, "JoDoe");
    EXPECT_EQ(back.everyError, "yes");
    EXPECT_EQ(back.smtpServer, "mail:2525");
    back.yourName = s.yourName;
    back.everyError = s.everyError;
    EXPECT_EQ(back, s);
}

TEST(SettingsFile, AnyOrderUnknownKeysAndMissingKeysKeepValues) {
    Settings s;
    s.notify = "kept";
    SettingsFile::parse("MONITOR=no\n\nFOO=bar\n YOURNAME=skipped\nINTERVAL=60\nINTERVAL=15\nEMAIL1=last", s);
    EXPECT_EQ(s.monitor, "no");
    EXPECT_EQ(s.interval, "15");
    EXPECT_EQ(s.notify, "kept");
    EXPECT_EQ(s.yourName, "");
    EXPECT_EQ(s.email1, ""); // no line end: ignored
}
