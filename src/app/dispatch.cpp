#include "app/dispatch.h"

#include "app/open_url.h"

// Action names are compared byte for byte: no case folding, nothing trimmed.
nlohmann::json dispatch_action(std::string_view action, const nlohmann::json& payload, const LeadEndpoint& endpoint) {
  if (action == "submit_lead") return submit_lead(payload, endpoint);
  if (action == "open_url") return open_url(payload);
  return {{"error", "Unknown action"}};
}
