// The decoded view of a device's last published block: one JSON document
// that every output publishes unchanged. The block's raw regions and most of
// its floats carry no meaning the driver states, so they keep neutral names;
// configured labels and units travel beside them under "labels".
#pragma once

#include <string>

#include <json/value.h>

#include "model/device_state.h"

namespace qmr4100::gateway {

// Keys: data_id, name, time, received, module_count, system_value, modules
// [{module, value, states, status, fault, comm_failure}], values_a2, value_95,
// battery, block, and labels when configured. A device that has not published
// yet has a view with only data_id and name (and labels). Written directly as
// text: it goes out at every publication, and a document tree of 64 modules
// costs far more than the polling cycle itself.
std::string decoded_view_text(const DeviceState& device);
// The same document as a tree, for outputs that put it inside another one.
Json::Value decoded_view(const DeviceState& device);

// "2026-12-08T21:05:39+01:00": the block's own timestamp, local time of the
// gateway, with the gateway's offset from UTC at that time.
std::string block_time_text(const Block& block);

}  // namespace qmr4100::gateway
