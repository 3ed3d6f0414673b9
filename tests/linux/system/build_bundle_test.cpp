#include "platform/linux/build_bundle.h"

#include <gtest/gtest.h>

#include <regex>

namespace glidewheel::platform::linuxdesktop {
namespace {

TEST(BuildBundle, GivesTheVersionAsAString) {
    const auto info = BuildBundle().infoDictionary();
    ASSERT_TRUE(info.has_value());
    const auto* version = std::get_if<std::string>(&info->at("CFBundleShortVersionString"));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(std::regex_match(*version, std::regex(R"(\d+\.\d+\.\d+)"))) << *version;
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
