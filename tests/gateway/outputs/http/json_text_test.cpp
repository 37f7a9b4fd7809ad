// What the gateway writes as JSON and metrics is valid UTF-8 whatever bytes a
// name or port holds.
#include <gtest/gtest.h>

#include "model/state_model.h"
#include "outputs/http/gateway_metrics.h"
#include "outputs/http/http_api.h"
#include "outputs/http/metrics_text.h"
#include "text/json_text.h"
#include "text/utf8.h"

namespace gw = qmr4100::gateway;

namespace {

struct Mended {
  const char* in;
  const char* out;
};

TEST(Utf8Text, ReplacesEachInvalidSequenceAndKeepsTheValidOnes) {
  const Mended cases[] = {
      {"plain", "plain"},
      {"机房 A", "机房 A"},
      {"\xF0\x9F\x94\x8B", "\xF0\x9F\x94\x8B"},         // U+1F50B
      {"a\xFF" "b", "a\uFFFD" "b"},                      // a byte no sequence starts with
      {"\xC3", "\uFFFD"},                                // truncated at the end
      {"\xE6\x9C" "x", "\uFFFD" "x"},                    // truncated before an ASCII byte
      {"\xC0\xAF", "\uFFFD\uFFFD"},                      // overlong '/'
      {"\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\x80\x80", "\uFFFD\uFFFD"},                      // stray continuation bytes
  };
  for (const Mended& c : cases) {
    EXPECT_EQ(gw::valid_utf8(c.in), c.out) << c.in;
    EXPECT_TRUE(gw::is_utf8(gw::valid_utf8(c.in))) << c.in;
  }
}

TEST(Utf8Text, NamesAndPortsWithInvalidBytesGoOutAsValidUtf8) {
  gw::GatewayConfig config;
  config.devices = {{"/dev/tty\xFE" "0", 1, 1000}};
  config.devices[0].name = "hall \xC3(\xFF";
  gw::StateModel model(config);
  gw::GatewayMetrics metrics(model);
  model.Published(1000, qmr4100::Block{}, {}, gw::WallClock::now());
  const std::string detail =
      model.Read(1000, [](const gw::DeviceState& device) {
        return gw::json_text(gw::device_detail(device));
      });
  EXPECT_TRUE(gw::is_utf8(detail)) << detail;
  EXPECT_NE(detail.find("\"name\":\"hall \uFFFD(\uFFFD\""), std::string::npos) << detail;
  EXPECT_EQ(gw::json_quoted("\xFF\""), "\"\uFFFD\\\"\"");
  const std::string text = gw::metrics_text(model, metrics);
  EXPECT_TRUE(gw::is_utf8(text));
  EXPECT_NE(text.find("qmr4100_port_up{port=\"/dev/tty\uFFFD" "0\"}"), std::string::npos);
}

}  // namespace
