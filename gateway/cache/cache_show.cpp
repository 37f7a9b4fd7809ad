#include "cache/cache_show.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include <fmt/format.h>

#include "cache/cache_file.h"
#include "cache/cache_store.h"
#include "text/block_view.h"

namespace qmr4100::gateway {
namespace {

namespace fs = std::filesystem;

constexpr int kUnsound = 2;

// The data id is known from the name the gateway gives the file; an old
// bare-block file is recognised only under that name.
int show_file(const fs::path& path, std::ostream& out, std::ostream& err) {
  const auto data_id = cache_file::data_id_of(path.filename().string());
  const cache_file::Contents contents = CacheStore::Read(path.string(), data_id);
  if (!contents.block) {
    err << fmt::format("{}: {}\n", path.string(), contents.problem);
    return kUnsound;
  }
  if (contents.old_format)
    out << fmt::format("{}: old format, a bare block; the gateway's next save adds the header\n",
                       path.string());
  out << describe_block(*contents.block);
  return 0;
}

std::vector<fs::path> cache_files_in(const fs::path& directory) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(directory)) {
    if (cache_file::data_id_of(entry.path().filename().string())) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

int show_directory(const fs::path& directory, std::ostream& out, std::ostream& err) {
  const std::vector<fs::path> files = cache_files_in(directory);
  if (files.empty()) {
    err << fmt::format("{}: holds no cache files (varnok_qmr4100-<data id>.snapshot)\n",
                       directory.string());
    return kUnsound;
  }
  int result = 0;
  for (const fs::path& file : files) {
    out << fmt::format("== {}\n", file.string());
    result = std::max(result, show_file(file, out, err));
  }
  return result;
}

}  // namespace

int show_cache(const std::string& path, std::ostream& out, std::ostream& err) {
  return fs::is_directory(path) ? show_directory(path, out, err) : show_file(path, out, err);
}

}  // namespace qmr4100::gateway
