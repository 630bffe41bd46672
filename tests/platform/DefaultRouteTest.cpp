#include "platform/InterfaceNetworkStatus.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

const std::string kV4Heading =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const std::string kV4Local = "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
const std::string kV4Default = "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
const std::string kZero = std::string(32, '0');
// The kernel's own ::/0 on loopback is a rejection, not a way out.
const std::string kV6LoopbackReject =
    kZero + " 00 " + kZero + " 00 " + kZero + " ffffffff 00000001 00000000 00200200       lo\n";
const std::string kV6Default = kZero + " 00 " + kZero +
                               " 00 fd000000000000000000000000000001 00000400 "
                               "00000002 00000000 00000003     eth0\n";
const std::string kV6Link = "fe800000000000000000000000000000 40 " + kZero + " 00 " + kZero +
                            " 00000100 00000002 00000000 00000001     eth0\n";

} // namespace

// A default route by either family counts; a network of the link alone, a
// route that is down, a rejection or loopback's does not.
TEST(DefaultRoute, OnlyAnUpRouteOffThisMachineCounts) {
    EXPECT_TRUE(InterfaceNetworkStatus::hasDefaultRoute(kV4Heading + kV4Local + kV4Default, ""));
    EXPECT_TRUE(InterfaceNetworkStatus::hasDefaultRoute(kV4Heading + kV4Local, kV6Link + kV6Default));
    EXPECT_FALSE(InterfaceNetworkStatus::hasDefaultRoute(kV4Heading + kV4Local, kV6Link + kV6LoopbackReject));
    std::string down = kV4Default;
    down.replace(down.find("0003"), 4, "0002");
    EXPECT_FALSE(InterfaceNetworkStatus::hasDefaultRoute(kV4Heading + down, ""));
    // The heading is never read as a route, whatever it holds.
    EXPECT_FALSE(InterfaceNetworkStatus::hasDefaultRoute(kV4Default, ""));
    EXPECT_FALSE(InterfaceNetworkStatus::hasDefaultRoute("", ""));
}
