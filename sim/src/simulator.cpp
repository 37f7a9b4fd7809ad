#include "qmr4100/sim/simulator.h"

#include <sstream>

#include "answers.h"
#include "fault_effects.h"

namespace qmr4100::sim {
namespace {

using ydt1363::DecodeError;
using ydt1363::Rtn;

constexpr std::uint8_t kCmd42 = 0x42;
constexpr std::uint8_t kCmd43 = 0x43;
constexpr std::uint8_t kCmd44 = 0x44;
constexpr std::uint8_t kCmd9C = 0x9C;

// Pieces of a split answer follow each other after this gap.
constexpr std::chrono::milliseconds kSplitGap{2};

struct ScreenRow {
  DecodeError error;
  Rtn rtn;
};

// Commands that arrive damaged but readable up to CID2 get a refusal.
// Others (cut off, not hex) cannot be told apart from line noise and get none.
constexpr ScreenRow kRefusals[] = {
    {DecodeError::BadChksum, Rtn::BadChecksum},
    {DecodeError::BadLchksum, Rtn::BadLchksum},
    {DecodeError::OddLength, Rtn::BadFormat},
    {DecodeError::LengthMismatch, Rtn::BadFormat},
};

const ScreenRow* refusal_for(DecodeError error) {
  for (const ScreenRow& row : kRefusals) {
    if (row.error == error) return &row;
  }
  return nullptr;
}

std::string encode_answer(const ydt1363::Header& command, std::uint8_t rtn, const Info& info) {
  std::string frame;
  ydt1363::encode(kVer, command.adr, command.cid1, rtn, info.data(), info.size(), frame);
  return frame;
}

}  // namespace

Simulator::Simulator(Scenario scenario, FaultPlan faults)
    : scenario_(std::move(scenario)),
      plan_(std::move(faults)),
      rng_(plan_.seed),
      assembler_([this](std::string_view frame) { on_frame(frame); }) {}

std::vector<Simulator::Output> Simulator::receive(std::string_view bytes) {
  pending_.clear();
  assembler_.feed(bytes);
  return std::move(pending_);
}

void Simulator::set_faults(FaultPlan faults) {
  plan_ = std::move(faults);
  rng_.seed(plan_.seed);
}

Block Simulator::expected_block(int cycle) const { return sim::expected_block(scenario_, cycle); }

std::uint64_t Simulator::injected(Fault fault) const {
  return fault_counts_[static_cast<std::size_t>(fault)];
}

bool Simulator::roll(Fault fault) {
  for (const FaultSetting& setting : plan_.faults) {
    if (setting.fault == fault) return std::bernoulli_distribution(setting.rate)(rng_);
  }
  return false;
}

bool Simulator::inject(Fault fault, Event& event) {
  if (!roll(fault)) return false;
  ++fault_counts_[static_cast<std::size_t>(fault)];
  event.faults.push_back(fault);
  return true;
}

void Simulator::on_frame(std::string_view frame) {
  ydt1363::Header header;
  const DecodeError error =
      ydt1363::decode(frame, header, command_info_.data(), command_info_.size());
  const ScreenRow* refusal = refusal_for(error);
  if (error != DecodeError::None && refusal == nullptr) return;
  if (header.adr != scenario_.address) return;  // another device's command

  Event event;
  event.address = header.adr;
  event.cid2 = header.cid2;
  event.cycle = cycle_;
  // On a half-duplex line the command comes back before anything else.
  if (inject(Fault::Echo, event)) pending_.push_back({std::string(frame)});

  if (refusal != nullptr) {
    event.rtn = static_cast<std::uint8_t>(refusal->rtn);
  } else if (header.ver != kVer) {
    event.rtn = static_cast<std::uint8_t>(Rtn::BadVersion);
  } else if (header.cid1 != kCid1 || !is_command(header.cid2)) {
    event.rtn = static_cast<std::uint8_t>(Rtn::BadCid2);
  } else {
    answer(header, event);
    return;
  }
  send(encode_answer(header, event.rtn, {}), event);
}

void Simulator::answer(const ydt1363::Header& command, Event& event) {
  if (inject(Fault::PortBounce, event)) {
    pending_.push_back({std::string(), std::chrono::milliseconds{0}, true});
    return finish(event);
  }
  if (inject(Fault::Drop, event)) return finish(event);
  if (command.cid2 == kCmd42) ++cycle_;
  event.cycle = cycle_;

  Info info;
  if (inject(Fault::ErrorCode, event)) {
    event.rtn = error_code(rng_);
  } else {
    info = answer_content(command.cid2, event);
  }
  std::string frame = encode_answer(command, event.rtn, info);
  if (inject(Fault::BadChecksum, event)) corrupt_checksum(frame);
  send(std::move(frame), event);
}

Info Simulator::answer_content(std::uint8_t cid2, Event& event) {
  Scenario now = at_cycle(scenario_, cycle_);
  if (cid2 == kCmd42 && inject(Fault::ModulesAbove64, event)) {
    now = with_modules_above_64(now, rng_);
  }
  if (cid2 == kCmd9C && inject(Fault::EntriesAbove50, event)) {
    now = with_entries_above_50(now, rng_);
  }
  Info info;
  answer_info(cid2, now, info);
  if ((cid2 == kCmd43 || cid2 == kCmd44) && inject(Fault::CountMismatch, event)) {
    mismatch_count(info);
  }
  if (!info.empty() && inject(Fault::ShortAnswer, event)) shorten(info, rng_);
  return info;
}

void Simulator::send(std::string frame, Event& event) {
  const std::size_t first = pending_.size();
  if (inject(Fault::Noise, event)) pending_.push_back({noise_bytes(rng_)});
  if (inject(Fault::Split, event)) {
    for (std::string& piece : split_frame(frame, rng_)) {
      const bool first_piece = pending_.size() == first;
      pending_.push_back({std::move(piece), first_piece ? std::chrono::milliseconds{0} : kSplitGap});
    }
  } else {
    pending_.push_back({std::move(frame)});
  }
  if (inject(Fault::Delay, event)) pending_[first].delay = delay_;
  ++answers_;
  event.answered = true;
  finish(event);
}

void Simulator::finish(Event& event) {
  if (record_events_) events_.push_back(std::move(event));
}

std::string format_event(const Simulator::Event& event) {
  std::ostringstream line;
  line << std::hex << std::uppercase;
  line << "cycle " << std::dec << event.cycle << std::hex << ": 0x" << int{event.cid2};
  if (event.answered) {
    line << " answered RTN " << (event.rtn < 0x10 ? "0" : "") << int{event.rtn};
  } else {
    line << " not answered";
  }
  if (!event.faults.empty()) {
    line << ", faults:";
    for (Fault f : event.faults) line << ' ' << fault_name(f);
  }
  return line.str();
}

}  // namespace qmr4100::sim
