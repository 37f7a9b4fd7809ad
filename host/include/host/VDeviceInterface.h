#pragma once

#include <string>

// Root of the host's device chain. The order of the virtual operations is the
// host's binary interface: plug-ins are called through these slots.
class VDeviceInterface {
 public:
  virtual double Get_Value(unsigned int index, const std::string& name) const = 0;
  virtual int LoadFromCache(const std::string& cached) = 0;
  virtual int LoadFromCache(const unsigned char* data, int length) = 0;
  virtual unsigned int DataId() const { return m_dataId; }
  virtual const std::string& DeviceType() const { return m_deviceType; }
  virtual int DeviceIoControl(int code, const void* in, int in_size, void* out, int out_size,
                              int& returned) = 0;
  virtual int RoundDone() = 0;
  virtual unsigned char UseControllerDb() { return m_useControllerDb; }
  virtual ~VDeviceInterface();

 protected:
  unsigned int m_dataId = 0;
  std::string m_deviceType;
  unsigned char m_useControllerDb = 0;
};
