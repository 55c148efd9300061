#pragma once
/// Screen metrics. Without a display the defaults keep headless runs
/// deterministic; the window sets the real values at start-up.

namespace scalopex::gdi {

struct TScreenMetrics {
    int bitsPerPixel = 24;
    int pixelsPerInchX = 96;
    int pixelsPerInchY = 96;
    int widthPixels = 1920;
    int heightPixels = 1080;
    int widthMillimetres = 508;
    int heightMillimetres = 286;
};

const TScreenMetrics& ScreenMetrics();
void SetScreenMetrics(const TScreenMetrics& metrics);

}  // namespace scalopex::gdi
