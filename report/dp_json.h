// The decoded DP services as JSON: one object per data unit, members in snake_case, absent values
// as null, bytes as lowercase hex without separators. Every object carries `malformed` (the
// reason, or null) and `remark` (or null); on a short data unit every other member is null.
#pragma once

#include <nlohmann/json.hpp>

#include "dp/dp_services.h"

namespace fdc {

nlohmann::ordered_json DecodedJson(const dp::SlaveDiag& diag);
nlohmann::ordered_json DecodedJson(const dp::SetPrm& prm);
nlohmann::ordered_json DecodedJson(const dp::Config& config);
nlohmann::ordered_json DecodedJson(const dp::GlobalControl& control);
nlohmann::ordered_json DecodedJson(const dp::SetSlaveAdd& add);
nlohmann::ordered_json DecodedJson(const dp::Dpv1Acyclic& pdu);
// What a slave's GSD file adds: its texts for a diagnosis, its names for the user parameters.
nlohmann::ordered_json GsdTextsJson(const std::vector<dp::GsdDiagText>& texts);
nlohmann::ordered_json GsdParametersJson(const std::vector<dp::GsdParameter>& parameters);

}  // namespace fdc
