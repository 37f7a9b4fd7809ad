// The live page's files, compiled into the program from gateway/outputs/http/web/ so that
// it needs no files on disk and nothing from the internet.
#pragma once

#include <string_view>

namespace qmr4100::gateway {

struct WebAsset {
  std::string_view path;  // "/", "/app.js", ...
  std::string_view content_type;
  std::string_view body;
};

// nullptr for a path that is not one of the page's files.
const WebAsset* find_web_asset(std::string_view path);

}  // namespace qmr4100::gateway
