#pragma once

class SMDSPDevice;

// Factory interfaces a plug-in hands the host; inline, as the host ships them.
class Provider {
 public:
  virtual ~Provider() {}
};

class SMDSPDeviceProvider : public Provider {
 public:
  ~SMDSPDeviceProvider() override {}
  // A new device object; the caller owns it and must hold it in a std::shared_ptr.
  virtual SMDSPDevice* create() const = 0;
};
