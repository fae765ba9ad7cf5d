// Runs the action a request names. Every outcome is told inside the reply object.
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "app/lead.h"

nlohmann::json dispatch_action(std::string_view action, const nlohmann::json& payload,
                               const LeadEndpoint& endpoint = vendor_endpoint());
