#pragma once
/// GO ALL on several cores, for the batch command: workers open, scale and
/// encode the files; every output is published, and every line and message
/// given, in input order, so a run gives exactly what TRunner::GoAll gives.

#include "output/runs.h"

namespace scalopex::output {

/// The cores this process may run on (at least 1).
int AvailableCores();

/// GO ALL over host's files with jobs workers (1 or fewer: TRunner::GoAll
/// itself). The host's settings, active slots and files are read once when
/// the run starts; its desktop, current file and written-file calls happen
/// on the calling thread, in input order. At most jobs + 1 files are in
/// flight at a time.
TBatchResult GoAllInParallel(IRunHost& host, int jobs);

}  // namespace scalopex::output
