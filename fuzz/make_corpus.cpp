// Writes the seed inputs of every fuzz target under DIR/<target>/, built from
// the wire examples of the tests and from well-formed polling cycles made
// with the codec. Run: fuzz_make_corpus DIR.
// Files are rewritten with the same content on every run; inputs added by
// hand (regressions) are left alone.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "answer_fields.h"
#include "cache/cache_file.h"
#include "cycle_input.h"
#include "driver/snapshot_layout.h"
#include "qmr4100/sim/scenario.h"
#include "wire_examples.h"
#include "ydt1363/frame.h"

namespace {

namespace fs = std::filesystem;
namespace layout = qmr4100::layout;
using qmr4100::fuzz::Op;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kVer = 0x21;
constexpr std::uint8_t kAddress = 1;

struct Answer {
  std::uint8_t code;
  Bytes info;
};

Bytes counting(std::size_t size, std::uint8_t first) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

// The eight answers of one cycle for `modules` rectifier modules; module i
// has value i + 1 tenths and, for odd i, one skip byte.
std::vector<Answer> cycle_answers(std::uint8_t modules) {
  Bytes a42{0x00, 0x01, 0xF4, modules}, a43{modules}, a44{modules};
  for (std::uint8_t i = 0; i < modules; ++i) {
    const std::uint8_t skip = i % 2;
    a42.insert(a42.end(), {0x00, static_cast<std::uint8_t>(i + 1), skip});
    if (skip != 0) a42.push_back(0xAA);
    a43.insert(a43.end(), {0x01, 0x02, 0x03, 0x00});
    a44.insert(a44.end(), {i % 3 == 0 ? std::uint8_t{0x01} : std::uint8_t{0xFE}, 0x00});
  }
  return {{0x42, a42},
          {0x43, a43},
          {0x44, a44},
          {0x91, counting(layout::kBatterySize, 0x10)},
          {0x95, {0x01, 0x02, 0x01, 0xF4}},
          {0x9C, {0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
          {0x86, counting(layout::kRaw86Size, 0x40)},
          {0xA2, counting(layout::kAnswerSizeA2, 0x01)}};
}

std::string frame_of(std::uint8_t rtn, const Bytes& info) {
  std::string frame;
  ydt1363::encode(kVer, kAddress, 0x41, rtn, info.data(), info.size(), frame);
  return frame;
}

std::string as_text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

std::string hex_name(const char* prefix, std::uint8_t code) {
  char name[32];
  std::snprintf(name, sizeof name, "%s-%02X", prefix, code);
  return name;
}

class CorpusWriter {
 public:
  explicit CorpusWriter(fs::path root) : root_(std::move(root)) {}

  void write(const std::string& target, const std::string& name, const std::string& input) {
    const fs::path dir = root_ / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << input;
    ++written_;
  }
  int written() const { return written_; }

 private:
  fs::path root_;
  int written_ = 0;
};

// The tests' cycle of three modules, frame by frame as on the line.
constexpr const char* kWireAnswers[] = {wire::kAnswer42, wire::kAnswer43, wire::kAnswer44,
                                        wire::kAnswer91, wire::kAnswer95, wire::kAnswer9C,
                                        wire::kAnswer86, wire::kAnswerA2};
constexpr std::uint8_t kWireModules = 3;

void write_wire_seeds(CorpusWriter& out) {
  std::string stream = std::string("\x11") + wire::kCommand42;
  std::string cycle;
  append_action(cycle, Op::Refresh);
  std::uint8_t index = 0;
  for (const char* frame : kWireAnswers) {
    const ydt1363::DecodeResult answer = ydt1363::decode(frame);
    if (answer.error != ydt1363::DecodeError::None) {
      throw std::runtime_error(std::string("wire example does not decode: ") + frame);
    }
    const std::uint8_t code = qmr4100::fuzz::kCycleCodes[index];
    const std::string info = as_text(answer.frame.info);
    out.write("frame", hex_name("wire-answer", code), frame);
    out.write("decoders", hex_name("wire-answer", code),
              std::string{static_cast<char>(index++), static_cast<char>(kWireModules)} + info);
    append_action(cycle, Op::Answer, std::string(1, '\0') + info);
    stream += frame;
  }
  out.write("frame", "wire-command-42", wire::kCommand42);
  out.write("stream", "wire-cycle-after-echo", stream);
  out.write("cycle", "wire-cycle", cycle);
}

void write_frame_seeds(CorpusWriter& out) {
  for (const Answer& answer : cycle_answers(2)) {
    out.write("frame", hex_name("answer", answer.code), frame_of(0x00, answer.info));
  }
  out.write("frame", "command-42", frame_of(0x42, {}));
  out.write("frame", "error-rtn-02", frame_of(0x02, {}));
}

void write_stream_seeds(CorpusWriter& out) {
  std::string stream = "\x07noise";
  for (const Answer& answer : cycle_answers(2)) stream += frame_of(0x00, answer.info);
  out.write("stream", "cycle-in-small-chunks", stream);
  std::string cut = frame_of(0x00, {0x01, 0x02});
  cut.insert(7, frame_of(0x00, {}));  // a frame starting inside another
  out.write("stream", "frame-cut-by-frame", "\x33" + cut + "~0001");
}

// The host starts a cycle and the device gives the first `answers` answers,
// each with return code 0.
std::string cycle_input(std::uint8_t modules, std::size_t answers = 8) {
  std::string input;
  append_action(input, Op::Refresh);
  const std::vector<Answer> all = cycle_answers(modules);
  for (std::size_t i = 0; i < answers; ++i) {
    append_action(input, Op::Answer, std::string(1, '\0') + as_text(all[i].info));
  }
  return input;
}

void write_cycle_seeds(CorpusWriter& out) {
  for (std::uint8_t modules : {0, 2, 64}) {
    out.write("cycle", "cycle-" + std::to_string(modules) + "-modules", cycle_input(modules));
  }
  std::string restored;
  append_action(restored, Op::Cache, as_text(counting(layout::kBlockSize, 0)));
  out.write("cycle", "restore-then-cycle", restored + cycle_input(2));

  std::string echoed = cycle_input(2, 4);
  append_action(echoed, Op::Raw, frame_of(0x42, {}));
  out.write("cycle", "own-command-echoed", echoed + cycle_input(1));
}

void write_decoder_seeds(CorpusWriter& out) {
  int index = 0;
  for (const Answer& answer : cycle_answers(2)) {
    const std::string header{static_cast<char>(index++), 2};
    out.write("decoders", hex_name("answer", answer.code), header + as_text(answer.info));
  }
}

void write_cache_seeds(CorpusWriter& out) {
  const std::string block = as_text(counting(layout::kBlockSize, 0));
  out.write("cache", "bytes-895", '\x00' + block);
  out.write("cache", "string-895", '\x01' + block);
  out.write("cache", "bytes-894", '\x00' + block.substr(1));
  qmr4100::Block saved{};
  qmr4100::put_u32le(saved, layout::kDataId, 1000);  // the data id the harness reads files for
  out.write("cache", "file-1000", '\x00' + qmr4100::gateway::cache_file::encode(saved));
}

void write_scenario_seeds(CorpusWriter& out) {
  namespace sim = qmr4100::sim;
  out.write("scenario", "default", sim::scenario_to_json(sim::default_scenario()));
  out.write("scenario", "two-modules-ramp",
            R"({"address": 2, "system_value": 535,
                "modules": [{"value": 125, "states": [1, 2, 3], "status": 0, "skip": 1},
                            {"value": 130, "status": 254}],
                "entries_9c": [[1, 2, 3, 4]], "values_a2": [1, 2, 3],
                "changes": [{"from": 3, "to": 4, "module": 2, "status": 1},
                            {"from": 1, "to": 5, "system_value": 531, "step": 1}]})");
}

void write_config_seeds(CorpusWriter& out) {
  out.write("config", "one-device",
            R"({"devices": [{"port": "/dev/ttyS0", "address": 1, "data_id": 1000}],
                "interval": 5, "timeout": 2, "cache_dir": "/var/cache/qmr4100"})");
  out.write("config", "every-key",
            R"({"devices": [{"port": "/dev/ttyS0", "address": 1, "data_id": 1000, "name": "A",
                             "baud": 19200, "interval": 1, "fields": {"value_95": {"unit": "A"}}}],
                "interval": 5, "timeout": 2, "cache_dir": "/c", "record": "/r.jsonl",
                "record_max_mb": 10, "offline_after": 3,
                "fields": {"system_value": {"label": "bus", "unit": "V"}}})");
  out.write("config", "bus-of-two",
            R"({"devices": [{"port": "/dev/ttyUSB0", "address": 1, "data_id": 1000},
                            {"port": "/dev/ttyUSB0", "address": 2, "data_id": 1001}],
                "interval": 0, "timeout": 0.5})");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]) == "--help") {
    std::cerr << "usage: fuzz_make_corpus DIR\n"
                 "Writes the seed inputs of every fuzz target under DIR/<target>/.\n";
    return argc == 2 ? 0 : 2;
  }
  try {
    CorpusWriter out(argv[1]);
    write_wire_seeds(out);
    write_frame_seeds(out);
    write_stream_seeds(out);
    write_cycle_seeds(out);
    write_decoder_seeds(out);
    write_cache_seeds(out);
    write_scenario_seeds(out);
    write_config_seeds(out);
    std::cout << "fuzz_make_corpus: " << out.written() << " seeds under " << argv[1] << "\n";
  } catch (const std::exception& error) {
    std::cerr << "fuzz_make_corpus: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
