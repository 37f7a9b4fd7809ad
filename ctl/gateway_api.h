// The gateway's JSON API as qmr4100ctl reads it: each document both as the
// text the gateway sent (printed unchanged by --json) and parsed.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include <json/value.h>

#include "http_get.h"

namespace qmr4100::ctl {

struct Document {
  std::string text;
  Json::Value json;
};

// The gateway answered, but not with the document asked for.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// No device of that data id on the gateway (a Refused of its own kind).
class NoSuchDevice : public Refused {
 public:
  using Refused::Refused;
};

class GatewayApi {
 public:
  GatewayApi(GatewayUrl url, std::chrono::milliseconds timeout);

  // Each throws Unreachable, NoSuchDevice or Refused.
  Document Devices() const;
  Document Device(const std::string& data_id) const;
  Document History(const std::string& data_id) const;

  const GatewayUrl& Url() const { return m_url; }

 private:
  Document Get(const std::string& target, const std::string& data_id) const;

  GatewayUrl m_url;
  std::chrono::milliseconds m_timeout;
};

// A data id as the API takes it: decimal digits within 32 bits; throws
// std::invalid_argument.
std::string checked_data_id(const std::string& text);

}  // namespace qmr4100::ctl
