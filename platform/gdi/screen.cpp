#include "platform/gdi/screen.h"

namespace scalopex::gdi {

namespace {
TScreenMetrics g_metrics;
}

const TScreenMetrics& ScreenMetrics() { return g_metrics; }
void SetScreenMetrics(const TScreenMetrics& metrics) { g_metrics = metrics; }

}  // namespace scalopex::gdi
