#include "host/VDeviceInterface.h"

VDeviceInterface::~VDeviceInterface() = default;
