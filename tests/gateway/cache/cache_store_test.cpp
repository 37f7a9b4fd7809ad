#include "cache/cache_store.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <boost/crc.hpp>
#include <gtest/gtest.h>

#include "driver/snapshot_layout.h"
#include "file_size_limit.h"

namespace fs = std::filesystem;
using qmr4100::Block;
using qmr4100::gateway::CacheStore;

namespace {

constexpr unsigned int kDataId = 1000;

Block make_block(unsigned int data_id, unsigned char fill) {
  Block block;
  block.fill(fill);
  qmr4100::put_u32le(block, qmr4100::layout::kDataId, data_id);
  return block;
}

std::string as_string(const Block& block) { return std::string(block.begin(), block.end()); }

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class CacheStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "cache_store_test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    directory = (fs::path(root) / "gateway" / "cache").string();  // made by the store
  }
  void TearDown() override { fs::remove_all(root); }

  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
      names.push_back(entry.path().filename().string());
    return names;
  }

  std::string root;
  std::string directory;
};

TEST_F(CacheStoreTest, SavedBlockLoadsBackAlone) {
  CacheStore store(directory);
  EXPECT_EQ(store.PathFor(kDataId), directory + "/varnok_qmr4100-1000.snapshot");
  const Block first = make_block(kDataId, 0x11);
  const Block second = make_block(kDataId, 0x22);
  std::string error;
  ASSERT_TRUE(store.Save(kDataId, first.data(), first.size(), error)) << error;
  ASSERT_TRUE(store.Save(kDataId, second.data(), second.size(), error)) << error;

  std::string problem = "stale";
  const auto loaded = store.Load(kDataId, problem);
  ASSERT_TRUE(loaded.has_value()) << problem;
  EXPECT_EQ(*loaded, as_string(second));
  EXPECT_EQ(problem, "");
  EXPECT_EQ(files(), std::vector<std::string>{"varnok_qmr4100-1000.snapshot"});
}

TEST_F(CacheStoreTest, TemporariesOfAnInterruptedSaveAreRemovedAtStart) {
  fs::create_directories(directory);
  const Block kept = make_block(kDataId, 0x33);
  write_file(directory + "/varnok_qmr4100-1000.snapshot", as_string(kept));
  write_file(directory + "/varnok_qmr4100-1000.snapshot.tmp-Ab12Cd", "torn");
  write_file(directory + "/notes.txt", "not ours");

  CacheStore store(directory);
  std::vector<std::string> names = files();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"notes.txt", "varnok_qmr4100-1000.snapshot"}));
  std::string problem;
  EXPECT_EQ(store.Load(kDataId, problem), as_string(kept));
}

TEST_F(CacheStoreTest, MissingFileIsNoProblem) {
  CacheStore store(directory);
  std::string problem = "stale";
  EXPECT_FALSE(store.Load(kDataId, problem).has_value());
  EXPECT_EQ(problem, "");
}

struct Damage {
  const char* name;
  std::string contents;
  const char* expected_problem;
};

TEST_F(CacheStoreTest, DamagedFilesAreNamedWithTheirProblem) {
  const Damage damages[] = {
      {"one byte short", as_string(make_block(kDataId, 0)).substr(1), "894 bytes"},
      {"one byte long", as_string(make_block(kDataId, 0)) + "x", "896 bytes"},
      {"empty", "", "0 bytes"},
      {"another device's block", as_string(make_block(1001, 0)), "data id 1001, not 1000"},
  };
  CacheStore store(directory);
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    write_file(store.PathFor(kDataId), damage.contents);
    std::string problem;
    EXPECT_FALSE(store.Load(kDataId, problem).has_value());
    EXPECT_NE(problem.find(store.PathFor(kDataId)), std::string::npos) << problem;
    EXPECT_NE(problem.find(damage.expected_problem), std::string::npos) << problem;
  }
}

// A saved file: header, then the block.
std::string saved_file(const Block& block) {
  std::string file = std::string("QMRC\x01\x00\x14\x00", 8) + std::string(12, '\0');
  for (int i = 0; i < 4; ++i) file[8 + i] = static_cast<char>(kDataId >> (8 * i));
  file[12] = static_cast<char>(0x7F);  // 895, little-endian
  file[13] = 0x03;
  boost::crc_32_type crc;
  crc.process_bytes(block.data(), block.size());
  for (int i = 0; i < 4; ++i) file[16 + i] = static_cast<char>(crc.checksum() >> (8 * i));
  return file + as_string(block);
}

std::string changed(std::string bytes, std::size_t offset, char value) {
  bytes[offset] = value;
  return bytes;
}

TEST_F(CacheStoreTest, FileCarriesMarkerVersionDataIdLengthAndCrc) {
  CacheStore store(directory);
  const Block block = make_block(kDataId, 0x5A);
  std::string error;
  ASSERT_TRUE(store.Save(kDataId, block.data(), block.size(), error)) << error;
  std::ifstream file(store.PathFor(kDataId), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), saved_file(block));
}

TEST_F(CacheStoreTest, FilesFailingTheCheckAreNotRestored) {
  const std::string good = saved_file(make_block(kDataId, 0x21));
  std::string random(895, '\0');
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>(i * 151 + 7);
  const Damage damages[] = {
      {"random bytes", random, "not a cache file: no format marker"},
      {"random bytes of the size of a file", random + std::string(20, 'x'), "no format marker"},
      {"block byte changed", changed(good, 20 + 300, 0x22), "CRC mismatch"},
      {"CRC changed", changed(good, 16, 0x00), "CRC mismatch"},
      {"later version", changed(good, 4, 0x02), "version 2"},
      {"another block length", changed(good, 12, 0x7E), "894-byte block"},
      {"header of another device", changed(good, 8, 0x01), "data id 769, not 1000"},
      {"old block of too many modules", as_string(make_block(kDataId, 65)), "module count 65"},
  };
  CacheStore store(directory);
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    write_file(store.PathFor(kDataId), damage.contents);
    std::string problem;
    EXPECT_FALSE(store.Load(kDataId, problem).has_value());
    EXPECT_NE(problem.find(damage.expected_problem), std::string::npos) << problem;
  }
}

// Files of gateways before the header are restored, and the next save
// writes the header.
TEST_F(CacheStoreTest, OldBareBlockIsRestoredAndRewrittenOnSave) {
  CacheStore store(directory);
  const Block old_block = make_block(kDataId, 0x30);
  write_file(store.PathFor(kDataId), as_string(old_block));
  std::string problem;
  EXPECT_EQ(store.Load(kDataId, problem), as_string(old_block)) << problem;
  EXPECT_TRUE(CacheStore::Read(store.PathFor(kDataId), kDataId).old_format);
  EXPECT_FALSE(CacheStore::Read(store.PathFor(kDataId), std::nullopt).block.has_value());

  std::string error;
  ASSERT_TRUE(store.Save(kDataId, old_block.data(), old_block.size(), error)) << error;
  EXPECT_FALSE(CacheStore::Read(store.PathFor(kDataId), std::nullopt).old_format);
  EXPECT_EQ(store.Load(kDataId, problem), as_string(old_block)) << problem;
}

TEST_F(CacheStoreTest, DirectoryInPlaceOfTheFileIsUnreadable) {
  CacheStore store(directory);
  fs::create_directory(store.PathFor(kDataId));
  std::string problem;
  EXPECT_FALSE(store.Load(kDataId, problem).has_value());
  EXPECT_NE(problem.find("not a regular file"), std::string::npos) << problem;
}

TEST_F(CacheStoreTest, RefusedBlocksKeepTheOldFile) {
  CacheStore store(directory);
  const Block good = make_block(kDataId, 0x33);
  std::string error;
  ASSERT_TRUE(store.Save(kDataId, good.data(), good.size(), error)) << error;

  const Block foreign = make_block(1001, 0x44);
  EXPECT_FALSE(store.Save(kDataId, foreign.data(), foreign.size(), error));
  EXPECT_NE(error.find("data id 1001"), std::string::npos) << error;
  EXPECT_FALSE(store.Save(kDataId, good.data(), good.size() - 1, error));
  EXPECT_NE(error.find("894 bytes"), std::string::npos) << error;

  std::string problem;
  EXPECT_EQ(store.Load(kDataId, problem), as_string(good));
}

TEST_F(CacheStoreTest, FailedWriteKeepsTheOldFileAndNoTemporary) {
  CacheStore store(directory);
  const Block old_block = make_block(kDataId, 0x55);
  std::string error;
  ASSERT_TRUE(store.Save(kDataId, old_block.data(), old_block.size(), error)) << error;

  const Block new_block = make_block(kDataId, 0x66);
  bool saved = true;
  {
    FileSizeLimit disk_nearly_full(100);
    saved = store.Save(kDataId, new_block.data(), new_block.size(), error);
  }
  EXPECT_FALSE(saved);
  EXPECT_NE(error.find(store.PathFor(kDataId)), std::string::npos) << error;
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;

  std::string problem;
  EXPECT_EQ(store.Load(kDataId, problem), as_string(old_block));
  EXPECT_EQ(files(), std::vector<std::string>{"varnok_qmr4100-1000.snapshot"});
}

TEST_F(CacheStoreTest, DirectoryReplacedByAFileFailsCleanly) {
  CacheStore store(directory);
  fs::remove_all(directory);
  write_file(directory, "not a directory");
  const Block block = make_block(kDataId, 0x77);
  std::string error;
  EXPECT_FALSE(store.Save(kDataId, block.data(), block.size(), error));
  EXPECT_NE(error.find(store.PathFor(kDataId)), std::string::npos) << error;
  EXPECT_NE(error.find("temporary file"), std::string::npos) << error;
}

}  // namespace
