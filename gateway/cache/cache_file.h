// The contents of one snapshot cache file: a header that makes the file
// recognisable and checkable, followed by the 895-byte block.
//
// | Offset | Width | Content                                        |
// |--------|-------|------------------------------------------------|
// | 0      | 4     | format marker "QMRC"                           |
// | 4      | 2     | format version, u16 little-endian (1)          |
// | 6      | 2     | header length, u16 little-endian (20)          |
// | 8      | 4     | data id, u32 little-endian                     |
// | 12     | 4     | block length, u32 little-endian (895)          |
// | 16     | 4     | CRC-32 of the block, u32 little-endian         |
// | 20     | 895   | the snapshot block                             |
//
// Files of gateways before this format hold the bare 895-byte block; they
// are still read when bytes 0-3 carry the expected data id and the module
// count is one a driver publishes. The next save writes the format above.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "driver/snapshot_layout.h"

namespace qmr4100::gateway::cache_file {

namespace offset {
constexpr std::size_t kMarker = 0;
constexpr std::size_t kVersion = 4;
constexpr std::size_t kHeaderLength = 6;
constexpr std::size_t kDataId = 8;
constexpr std::size_t kBlockLength = 12;
constexpr std::size_t kCrc = 16;
constexpr std::size_t kBlock = 20;
}  // namespace offset

constexpr char kMarker[] = "QMRC";
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = offset::kBlock;
constexpr std::size_t kFileSize = kHeaderSize + layout::kBlockSize;

// "varnok_qmr4100-<data id>.snapshot"
std::string file_name(unsigned int data_id);
// The data id in a file name of that form; nullopt for any other name.
std::optional<unsigned int> data_id_of(const std::string& file_name);

// Why a file of `size` bytes cannot be a cache file; "" when it can.
std::string size_problem(std::size_t size);

// The whole file for `block`, its header filled from the block.
std::string encode(const Block& block);

struct Contents {
  std::optional<Block> block;  // nullopt: not restorable, see `problem`
  std::string problem;
  bool old_format = false;  // the bare block of an earlier gateway
};

// Checks the file's bytes; `data_id`, when known, must be the one they hold.
// An old-format file is recognised only with a known data id.
Contents decode(const std::string& bytes, std::optional<unsigned int> data_id);

}  // namespace qmr4100::gateway::cache_file
