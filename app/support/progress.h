// Progress of long work: told the share done (0 to 1), it answers whether
// to go on. Work whose progress answers false stops with the cancelling
// error (kErrCancelled) and leaves nothing half done.
#pragma once

#include <functional>

using Progress = std::function<bool(double done)>;

// Tells progress (when there is one) and throws the cancelling error when
// it answers false.
void ReportProgress(const Progress& progress, double done);
