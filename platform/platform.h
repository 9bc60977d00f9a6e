// The four facilities through which the program reaches Windows.
#pragma once

#include "platform/config_manager.h"
#include "platform/endpoint_properties.h"
#include "platform/process.h"
#include "platform/setup_api.h"

namespace orvane {

struct Platform {
  Process& process;
  SetupApi& setup;
  ConfigManager& config;
  EndpointProperties& com;
};

}  // namespace orvane
