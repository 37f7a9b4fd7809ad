// The cache restore over arbitrary bytes and lengths. Input: byte 0 chooses
// between the byte overload, the string overload and a negative length; the
// rest is the cached copy, on the heap at exactly its size. Only a copy of
// exactly 895 bytes is taken, whole; anything else changes nothing. A value
// query afterwards always refuses with one of its three messages.
// The same bytes read as the gateway's cache file give a block only when the
// header is exactly what a save writes, or when they are an old bare block
// of the device.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "cache/cache_file.h"
#include "driver/VARNOK_QMR4100.h"
#include "fuzz_check.h"

namespace {

enum class Call { Bytes, String, NegativeLength };

int restore(VARNOK_QMR4100& device, Call call, const std::uint8_t* cached, std::size_t size) {
  const int length = static_cast<int>(size);
  switch (call) {
    case Call::Bytes: return device.LoadFromCache(cached, length);
    case Call::String:
      return device.LoadFromCache(std::string(reinterpret_cast<const char*>(cached), size));
    case Call::NegativeLength: return device.LoadFromCache(cached, -length - 1);
  }
  return 0;
}

bool refuses_query(const VARNOK_QMR4100& device) {
  try {
    device.Get_Value(0, "");
  } catch (const std::out_of_range& refusal) {
    const std::string message = refusal.what();
    return message == "数据未就绪" || message == "不支持变量" || message == "数据已超时";
  }
  return false;
}

void check_cache_file(const std::uint8_t* bytes, std::size_t size) {
  constexpr unsigned int kDataId = 1000;
  const std::string file(reinterpret_cast<const char*>(bytes), size);
  const auto contents = qmr4100::gateway::cache_file::decode(file, kDataId);
  if (!contents.block) {
    FUZZ_CHECK(!contents.problem.empty());
    return;
  }
  FUZZ_CHECK(qmr4100::get_u32le(*contents.block, qmr4100::layout::kDataId) == kDataId);
  FUZZ_CHECK(contents.old_format ? size == qmr4100::layout::kBlockSize
                                 : qmr4100::gateway::cache_file::encode(*contents.block) == file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Call call = static_cast<Call>(data[0] % 3);
  const std::size_t cached_size = size - 1;
  auto cached = std::make_unique<std::uint8_t[]>(cached_size);
  std::copy_n(data + 1, cached_size, cached.get());

  auto device = std::make_shared<VARNOK_QMR4100>();
  const qmr4100::Block before = device->Snapshot();
  const int result = restore(*device, call, cached.get(), cached_size);

  const bool taken = call != Call::NegativeLength && cached_size == qmr4100::layout::kBlockSize;
  FUZZ_CHECK(result == (taken ? 1 : 0));
  FUZZ_CHECK(device->DataValid() == (taken ? 1 : 0));
  if (taken) {
    FUZZ_CHECK(std::equal(cached.get(), cached.get() + cached_size, device->Snapshot().begin()));
  } else {
    FUZZ_CHECK(device->Snapshot() == before);
  }
  FUZZ_CHECK(refuses_query(*device));
  check_cache_file(cached.get(), cached_size);
  return 0;
}
