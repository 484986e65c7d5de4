#pragma once
// A small fixed report for exporter tests: eight requests over two days in one zone,
// with every cost outcome, escaping hazards and non-ASCII labels.
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::testing {

/// The zone of the sample: Asia/Kolkata (+05:30, no daylight saving).
Calendar sampleCalendar();

/// The eight requests, R1 to R8, in input order; their request keys are "m<n>:r<n>".
std::vector<UsageRecord> sampleRecords();

/// The report of the records on 2026-03-09 and 2026-03-10, with hours, with the
/// sample's diagnostics, and with a few links and provenance sets altered so that every
/// attribution sentence appears.
Report sampleReport();

/// Six cached files: five contribute (one request appears in two of them), one holds
/// only a request from before the period.
std::vector<ScanCache::FileProvenance> sampleFiles();

/// 2026-03-10 18:30:00 in the sample's zone.
double sampleGeneratedAt();

/// Export options for the sample: its two days, its zone, sampleGeneratedAt() and
/// sampleFiles().
Exporter::Options sampleOptions();

/// A bucket holding only a request count and a cost.
Bucket bucketWith(std::int64_t requests, double priced, std::int64_t unpriced,
                  std::set<std::string> models = {});

} // namespace vantery::testing
