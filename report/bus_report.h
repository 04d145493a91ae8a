// The bus health report's writers — the complete figures as JSON, the station table as CSV, the
// text report for people — over the figures and findings of the engine.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "engine/bus_findings.h"

namespace fdc {

// {"run": {...}, "stations": [...], "minutes": [...]}, absent figures as null.
void WriteBusJson(const BusFigures& figures, std::ostream& out);
// The station table: a header row, then one row per station, RFC 4180 (CRLF line ends, quoted
// where needed), absent figures as empty fields.
void WriteBusCsv(const BusFigures& figures, std::ostream& out);
// The report for people, at most 100 columns wide: findings (or the healthy line), the live list,
// the station table, the run summary.
void WriteBusTextReport(const BusFigures& figures, std::ostream& out);

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a quote, CR or LF.
std::string CsvField(std::string_view text);

}  // namespace fdc
