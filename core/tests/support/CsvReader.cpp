#include "CsvReader.hpp"

namespace vantery::testing {

std::optional<std::vector<CsvRecord>> parseCsv(std::string_view text) {
    std::vector<CsvRecord> records;
    CsvRecord current;
    std::string field;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        // At the start of a field.
        if (text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= n) return std::nullopt; // unterminated
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            if (i < n && text[i] != ',' && text[i] != '\n') return std::nullopt;
        } else {
            while (i < n && text[i] != ',' && text[i] != '\n') {
                if (text[i] == '"' || text[i] == '\r') return std::nullopt;
                field += text[i++];
            }
        }
        if (i >= n) return std::nullopt; // every record ends in LF
        current.push_back(std::move(field));
        field.clear();
        if (text[i] == '\n') {
            records.push_back(std::move(current));
            current.clear();
        }
        ++i;
    }
    return records;
}

} // namespace vantery::testing
