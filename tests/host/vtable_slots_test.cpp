// The host calls a plug-in only through virtual-table slots, so every
// operation must sit in the slot the host was built with. Under the Itanium
// C++ ABI a pointer to a virtual member function holds 1 + slot * sizeof(void*);
// the ARM variant (armhf, arm64), whose code addresses may be odd (Thumb),
// holds slot * sizeof(void*) and marks "virtual" in the adjustment's low bit.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "driver/VARNOK_QMR4100.h"

namespace {

using Driver = VARNOK_QMR4100;

struct MemberPointerBits {
  std::uintptr_t ptr;
  std::ptrdiff_t adj;
};

template <typename MemberPointer>
long slot_of(MemberPointer member) {
  static_assert(sizeof(MemberPointer) == sizeof(MemberPointerBits));
  MemberPointerBits bits{};
  std::memcpy(&bits, &member, sizeof bits);
#if defined(__arm__) || defined(__aarch64__)
  EXPECT_EQ(bits.adj >> 1, 0) << "the device chain uses single inheritance only";
  EXPECT_EQ(bits.adj & 1, 1) << "not a virtual function";
  const std::uintptr_t offset = bits.ptr;
#else
  EXPECT_EQ(bits.adj, 0) << "the device chain uses single inheritance only";
  EXPECT_EQ(bits.ptr % sizeof(void*), 1u) << "not a virtual function";
  const std::uintptr_t offset = bits.ptr - 1;
#endif
  return static_cast<long>(offset / sizeof(void*));
}

struct Slot {
  long slot;
  const char* operation;
  long actual;
};

// One row per slot, in the host's order.
std::vector<Slot> driver_slots() {
  using GetValue = double (Driver::*)(unsigned int, const std::string&) const;
  using LoadString = int (Driver::*)(const std::string&);
  using LoadBytes = int (Driver::*)(const unsigned char*, int);
  return {
      {0, "Get_Value(unsigned int, const std::string&) const",
       slot_of<GetValue>(&Driver::Get_Value)},
      {1, "LoadFromCache(const std::string&)", slot_of<LoadString>(&Driver::LoadFromCache)},
      {2, "LoadFromCache(const unsigned char*, int)", slot_of<LoadBytes>(&Driver::LoadFromCache)},
      {3, "DataId() const", slot_of(&Driver::DataId)},
      {4, "DeviceType() const", slot_of(&Driver::DeviceType)},
      {5, "DeviceIoControl(int, const void*, int, void*, int, int&)",
       slot_of(&Driver::DeviceIoControl)},
      {6, "RoundDone()", slot_of(&Driver::RoundDone)},
      {7, "UseControllerDb()", slot_of(&Driver::UseControllerDb)},
      {10, "Reset()", slot_of(&Driver::Reset)},
      {11, "InitV(SMDVDevice*, unsigned int, const Json::Value&)", slot_of(&Driver::InitV)},
      {12, "Init(std::weak_ptr<SMDController>, unsigned int, const Json::Value&)",
       slot_of(&Driver::Init)},
      {13, "InitSetting(const Json::Value&)", slot_of(&Driver::InitSetting)},
      {14, "IsSupportDevice(const std::string&) const", slot_of(&Driver::IsSupportDevice)},
      {15, "GetChildVDevice(unsigned int)", slot_of(&Driver::GetChildVDevice)},
      {16, "GetAllChildVDevices()", slot_of(&Driver::GetAllChildVDevices)},
      {17, "SendSP(int, const unsigned char*, unsigned int, bool)", slot_of(&Driver::SendSP)},
      {18, "SendDelayData(int)", slot_of(&Driver::SendDelayData)},
      {19, "SendDoData(int, char)", slot_of(&Driver::SendDoData)},
      {20, "ReadDi(int)", slot_of(&Driver::ReadDi)},
      {21, "ReadAi(int)", slot_of(&Driver::ReadAi)},
      {22, "Get_SP_Value(unsigned int, const std::string&)", slot_of(&Driver::Get_SP_Value)},
      {23, "RefreshStatus()", slot_of(&Driver::RefreshStatus)},
      {24, "process(unsigned char*, unsigned int)", slot_of(&Driver::process)},
      {25, "IsProcessing()", slot_of(&Driver::IsProcessing)},
      {26, "IsStalled()", slot_of(&Driver::IsStalled)},
      {27, "SendData(const unsigned char*, unsigned int)", slot_of(&Driver::SendData)},
      {28, "SendParityData(const unsigned char*, unsigned int, EnumParity)",
       slot_of(&Driver::SendParityData)},
      {29, "OpenPort()", slot_of(&Driver::OpenPort)},
      {30, "ClosePort()", slot_of(&Driver::ClosePort)},
      {31, "process_payload()", slot_of(&Driver::process_payload)},
      {32, "process_error()", slot_of(&Driver::process_error)},
  };
}

TEST(VtableSlots, EveryOperationSitsInTheHostsSlot) {
  for (const Slot& row : driver_slots()) EXPECT_EQ(row.actual, row.slot) << row.operation;
}

TEST(VtableSlots, TheTwoDestructorsFillSlotsEightAndNine) {
  EXPECT_TRUE(std::has_virtual_destructor_v<VDeviceInterface>);
  EXPECT_EQ(slot_of(&Driver::Reset) - slot_of(&Driver::UseControllerDb), 3);
}

// A virtual added by a class derived from the driver lands in the first slot
// after the driver's table, which shows the driver's table ends at 32.
struct ProbeDerived : VARNOK_QMR4100 {
  virtual void first_new_virtual() {}
};

TEST(VtableSlots, TheDriverAddsNoSlotOfItsOwn) {
  EXPECT_TRUE(std::is_polymorphic_v<VARNOK_QMR4100>);
  EXPECT_EQ(slot_of(&ProbeDerived::first_new_virtual), 33);
}

// The factory's table: two destructors, then create.
struct ProbeProvider : VARNOK_QMR4100Provider {
  virtual void first_new_virtual() {}
};

TEST(VtableSlots, ProviderCreateFollowsTheTwoDestructors) {
  EXPECT_EQ(slot_of(&VARNOK_QMR4100Provider::create), 2);
  EXPECT_EQ(slot_of(&ProbeProvider::first_new_virtual), 3);
}

}  // namespace
