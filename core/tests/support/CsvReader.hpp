#pragma once
// A strict, minimal RFC 4180 reader for checking exported CSV texts, written apart
// from the exporter so that it does not share its mistakes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantery::testing {

using CsvRecord = std::vector<std::string>;

/// The records of a CSV text whose lines end in LF (a CR inside a quoted field is
/// data). Absent when the text is malformed: a quote inside an unquoted field, text
/// after a closing quote, an unterminated quoted field, a bare CR outside quotes, or
/// a last line without its LF.
std::optional<std::vector<CsvRecord>> parseCsv(std::string_view text);

} // namespace vantery::testing
