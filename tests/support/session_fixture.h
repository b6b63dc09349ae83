// A fixture for the tests that drive the plug-in through the session layer:
// the stand-in reset and the plug-in loaded before each test, the stand-in
// reset again after it so nothing it handed out outlives the test.
#ifndef WYN_SUPPORT_SESSION_FIXTURE_H
#define WYN_SUPPORT_SESSION_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "cwedit.h"
#include "session.h"

namespace support {

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cw_reset();
    std::string error;
    ASSERT_TRUE(plugin.load(WYN_PLUGIN_PATH, &error)) << error;
  }
  void TearDown() override { cw_reset(); }
  wyn::Plugin plugin;
};

}  // namespace support

#endif
