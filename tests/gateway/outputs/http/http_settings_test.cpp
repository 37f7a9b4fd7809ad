// Where the HTTP server listens, from --http and from the configuration file.
#include <gtest/gtest.h>

#include <json/reader.h>

#include "config/config.h"
#include "outputs/http/http_settings.h"

namespace gw = qmr4100::gateway;

namespace {

struct ListenCase {
  const char* text;
  const char* address;
  unsigned short port;
};

TEST(HttpListen, LoopbackUnlessAnAddressIsGiven) {
  const ListenCase cases[] = {
      {"8080", "127.0.0.1", 8080},
      {"0", "127.0.0.1", 0},
      {"0.0.0.0:9100", "0.0.0.0", 9100},
      {"[::1]:8080", "::1", 8080},
      {"localhost:8080", "localhost", 8080},  // resolved when the server starts
  };
  for (const ListenCase& c : cases) {
    const gw::HttpListen listen = gw::parse_listen(c.text);
    EXPECT_EQ(listen.address, c.address) << c.text;
    EXPECT_EQ(listen.port, c.port) << c.text;
  }
}

TEST(HttpListen, RefusesWhatIsNoPort) {
  for (const char* text :
       {"", "http", "65536", "-1", "8080:", ":8080", "1.2.3.4:x", "80 "})
    EXPECT_THROW(gw::parse_listen(text), std::invalid_argument) << text;
}

TEST(HttpListen, SaysWhatIsWrongWithTheAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {"[::1]", "'[::1]' has no port: write [ADDR]:PORT, e.g. [::1]:8080"},
      {"::1:8080", "'::1:8080': an IPv6 address goes in brackets, e.g. [::1]:8080"},
      {"[1.2.3.4]:80", "'1.2.3.4' is not an IPv6 address"},
      {"1.2.3:80", "'1.2.3' is neither an IP address nor a host name"},
      {"my host:80", "'my host' is neither an IP address nor a host name"},
  };
  for (const auto& [text, message] : cases) {
    try {
      gw::parse_listen(text);
      ADD_FAILURE() << "accepted " << text;
    } catch (const std::invalid_argument& error) {
      EXPECT_EQ(error.what(), std::string(message));
    }
  }
}

Json::Value json(const std::string& text) {
  Json::Value value;
  std::istringstream in(text);
  Json::CharReaderBuilder builder;
  std::string errors;
  EXPECT_TRUE(Json::parseFromStream(builder, in, &value, &errors)) << errors;
  return value;
}

TEST(HttpListen, ComesFromTheConfigurationFile) {
  const std::string devices = R"("devices":[{"port":"/dev/ttyS0","data_id":1}])";
  EXPECT_FALSE(gw::parse_config(json("{" + devices + "}")).http);
  EXPECT_EQ(gw::parse_config(json("{" + devices + R"(,"http":9100})")).http->port, 9100);
  const auto any = gw::parse_config(json("{" + devices + R"(,"http":"0.0.0.0:80"})")).http;
  EXPECT_EQ(any->address, "0.0.0.0");
  EXPECT_EQ(gw::parse_config(json("{" + devices + R"(,"http":"localhost:80"})")).http->address,
            "localhost");
  for (const char* bad : {R"("http":"x")", R"("http":70000)", R"("http":true)", R"("http":-1)"})
    EXPECT_THROW(gw::parse_config(json("{" + devices + "," + bad + "}")), gw::ConfigError) << bad;
}

}  // namespace
