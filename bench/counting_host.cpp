// This definition interposes the host runtime's CheckThresholdBool: the
// benchmark executable's symbol wins over the shared library's. In counting
// mode it only counts; otherwise it forwards to the runtime's definition.
#include "counting_host.h"

#include <dlfcn.h>

#include <stdexcept>

#include "host/SMDVDevice.h"

namespace bench {
namespace {

bool g_counting = false;
std::uint64_t g_evaluations = 0;

using CheckFn = bool (*)(SMDVDevice*, int, const std::string&, const std::string&,
                         const std::string&, const std::string&, bool, unsigned short);

CheckFn runtime_check() {
  static const CheckFn fn = [] {
    void* sym = dlsym(RTLD_NEXT,
                      "_ZN10SMDVDevice18CheckThresholdBoolEiRKNSt7__cxx1112basic_stringIcSt11char_"
                      "traitsIcESaIcEEES7_S7_S7_bt");
    if (sym == nullptr) throw std::runtime_error("host runtime's CheckThresholdBool not found");
    return reinterpret_cast<CheckFn>(sym);
  }();
  return fn;
}

}  // namespace

void set_counting_host(bool counting) { g_counting = counting; }
std::uint64_t counted_evaluations() { return g_evaluations; }

}  // namespace bench

bool SMDVDevice::CheckThresholdBool(int level, const std::string& id, const std::string& code,
                                    const std::string& name, const std::string& desc,
                                    bool active, unsigned short seq) {
  ++bench::g_evaluations;
  if (bench::g_counting) return true;
  return bench::runtime_check()(this, level, id, code, name, desc, active, seq);
}
