// InfoLog fills "{}" placeholders and hands the line to the controller.
#include <gtest/gtest.h>

#include <memory>

#include "capture_controller.h"
#include "probe_device.h"

namespace {

struct LogCase {
  const char* format;
  unsigned int first;
  int second;
  const char* line;
};

const LogCase kLogCases[] = {
    {"VARNOK_QMR4100:ProcotolError {} read 41_42 p is {} not 0", 1000, 1,
     "VARNOK_QMR4100:ProcotolError 1000 read 41_42 p is 1 not 0"},
    {"{} {}", 4294967295u, -2147483647 - 1, "4294967295 -2147483648"},
    {"only {}", 5, 6, "only 5"},
    {"no placeholder", 5, 6, "no placeholder"},
    {"unclosed {", 5, 6, "unclosed {"},  // a broken format keeps its text
    {"{} {} {}", 5, 6, "{} {} {}"},      // too few values: the text as given
};

TEST(InfoLog, FormatsPlaceholdersForTheController) {
  auto controller = std::make_shared<CaptureController>();
  ProbeDevice device;
  device.Init(controller, 1000, Json::Value());
  for (const LogCase& c : kLogCases) device.InfoLog(c.format, c.first, c.second);

  ASSERT_EQ(controller->log.size(), std::size(kLogCases));
  for (std::size_t i = 0; i < std::size(kLogCases); ++i) {
    EXPECT_EQ(controller->log[i], kLogCases[i].line) << kLogCases[i].format;
  }
}

TEST(InfoLog, WithoutAControllerGoesNowhere) {
  ProbeDevice device;
  device.InfoLog("{} {}", 1, 2);
  auto controller = std::make_shared<CaptureController>();
  device.Init(controller, 1, Json::Value());
  controller.reset();  // the link no longer locks
  device.InfoLog("{} {}", 1, 2);
  SUCCEED();
}

}  // namespace
