#pragma once
/// Record types and constants of enhanced and old-format metafiles, as the
/// published record layouts number them.

#include <cstdint>

namespace scalopex::gdi::emr {

inline constexpr std::uint32_t kHeader = 1;
inline constexpr std::uint32_t kPolyBezier = 2;
inline constexpr std::uint32_t kPolygon = 3;
inline constexpr std::uint32_t kPolyline = 4;
inline constexpr std::uint32_t kPolyBezierTo = 5;
inline constexpr std::uint32_t kPolylineTo = 6;
inline constexpr std::uint32_t kPolyPolyline = 7;
inline constexpr std::uint32_t kPolyPolygon = 8;
inline constexpr std::uint32_t kSetWindowExtEx = 9;
inline constexpr std::uint32_t kSetWindowOrgEx = 10;
inline constexpr std::uint32_t kSetViewportExtEx = 11;
inline constexpr std::uint32_t kSetViewportOrgEx = 12;
inline constexpr std::uint32_t kEof = 14;
inline constexpr std::uint32_t kSetPixelV = 15;
inline constexpr std::uint32_t kSetMapMode = 17;
inline constexpr std::uint32_t kSetBkMode = 18;
inline constexpr std::uint32_t kSetPolyFillMode = 19;
inline constexpr std::uint32_t kSetRop2 = 20;
inline constexpr std::uint32_t kSetStretchBltMode = 21;
inline constexpr std::uint32_t kSetTextColor = 24;
inline constexpr std::uint32_t kSetBkColor = 25;
inline constexpr std::uint32_t kMoveToEx = 27;
inline constexpr std::uint32_t kSaveDC = 33;
inline constexpr std::uint32_t kRestoreDC = 34;
inline constexpr std::uint32_t kSetWorldTransform = 35;
inline constexpr std::uint32_t kModifyWorldTransform = 36;
inline constexpr std::uint32_t kSelectObject = 37;
inline constexpr std::uint32_t kCreatePen = 38;
inline constexpr std::uint32_t kCreateBrushIndirect = 39;
inline constexpr std::uint32_t kDeleteObject = 40;
inline constexpr std::uint32_t kAngleArc = 41;
inline constexpr std::uint32_t kEllipse = 42;
inline constexpr std::uint32_t kRectangle = 43;
inline constexpr std::uint32_t kRoundRect = 44;
inline constexpr std::uint32_t kArc = 45;
inline constexpr std::uint32_t kChord = 46;
inline constexpr std::uint32_t kPie = 47;
inline constexpr std::uint32_t kLineTo = 54;
inline constexpr std::uint32_t kArcTo = 55;
inline constexpr std::uint32_t kSetArcDirection = 57;
inline constexpr std::uint32_t kBeginPath = 59;
inline constexpr std::uint32_t kEndPath = 60;
inline constexpr std::uint32_t kCloseFigure = 61;
inline constexpr std::uint32_t kFillPath = 62;
inline constexpr std::uint32_t kStrokeAndFillPath = 63;
inline constexpr std::uint32_t kStrokePath = 64;
inline constexpr std::uint32_t kAbortPath = 68;
inline constexpr std::uint32_t kBitBlt = 76;
inline constexpr std::uint32_t kStretchBlt = 77;
inline constexpr std::uint32_t kSetDIBitsToDevice = 80;
inline constexpr std::uint32_t kStretchDIBits = 81;
inline constexpr std::uint32_t kPolyBezier16 = 85;
inline constexpr std::uint32_t kPolygon16 = 86;
inline constexpr std::uint32_t kPolyline16 = 87;
inline constexpr std::uint32_t kPolyBezierTo16 = 88;
inline constexpr std::uint32_t kPolylineTo16 = 89;
inline constexpr std::uint32_t kPolyPolyline16 = 90;
inline constexpr std::uint32_t kPolyPolygon16 = 91;
inline constexpr std::uint32_t kCreateMonoBrush = 93;
inline constexpr std::uint32_t kCreateDIBPatternBrushPt = 94;
inline constexpr std::uint32_t kExtCreatePen = 95;
inline constexpr std::uint32_t kAlphaBlend = 114;
inline constexpr std::uint32_t kTransparentBlt = 116;

inline constexpr std::uint32_t kSetTextAlign = 22;
inline constexpr std::uint32_t kOffsetClipRgn = 26;
inline constexpr std::uint32_t kSetMetaRgn = 28;
inline constexpr std::uint32_t kExcludeClipRect = 29;
inline constexpr std::uint32_t kIntersectClipRect = 30;
inline constexpr std::uint32_t kSelectPalette = 48;
inline constexpr std::uint32_t kCreatePalette = 49;
inline constexpr std::uint32_t kSetPaletteEntries = 50;
inline constexpr std::uint32_t kRealizePalette = 52;
inline constexpr std::uint32_t kSelectClipPath = 67;
inline constexpr std::uint32_t kGdiComment = 70;
inline constexpr std::uint32_t kFillRgn = 71;
inline constexpr std::uint32_t kFrameRgn = 72;
inline constexpr std::uint32_t kInvertRgn = 73;
inline constexpr std::uint32_t kPaintRgn = 74;
inline constexpr std::uint32_t kExtSelectClipRgn = 75;
inline constexpr std::uint32_t kExtCreateFontIndirectW = 82;
inline constexpr std::uint32_t kExtTextOutA = 83;
inline constexpr std::uint32_t kExtTextOutW = 84;

inline constexpr std::uint32_t kStockObject = 0x80000000;

// Raster operations of the blits.
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;
inline constexpr std::uint32_t kSrcPaint = 0x00EE0086;
inline constexpr std::uint32_t kSrcAnd = 0x008800C6;
inline constexpr std::uint32_t kSrcInvert = 0x00660046;
inline constexpr std::uint32_t kSrcErase = 0x00440328;
inline constexpr std::uint32_t kNotSrcCopy = 0x00330008;
inline constexpr std::uint32_t kNotSrcErase = 0x001100A6;
inline constexpr std::uint32_t kMergeCopy = 0x00C000CA;
inline constexpr std::uint32_t kMergePaint = 0x00BB0226;
inline constexpr std::uint32_t kPatCopy = 0x00F00021;
inline constexpr std::uint32_t kPatPaint = 0x00FB0A09;
inline constexpr std::uint32_t kPatInvert = 0x005A0049;
inline constexpr std::uint32_t kDstInvert = 0x00550009;
inline constexpr std::uint32_t kBlackness = 0x00000042;
inline constexpr std::uint32_t kWhiteness = 0x00FF0062;

}  // namespace scalopex::gdi::emr

namespace scalopex::gdi::wmr {

inline constexpr std::uint16_t kEof = 0x0000;
inline constexpr std::uint16_t kRealizePalette = 0x0035;
inline constexpr std::uint16_t kSetTextAlign = 0x012E;
inline constexpr std::uint16_t kSelectClipRegion = 0x012C;
inline constexpr std::uint16_t kInvertRegion = 0x012A;
inline constexpr std::uint16_t kPaintRegion = 0x012B;
inline constexpr std::uint16_t kOffsetClipRgn = 0x0220;
inline constexpr std::uint16_t kFillRegion = 0x0228;
inline constexpr std::uint16_t kSelectPalette = 0x0234;
inline constexpr std::uint16_t kExcludeClipRect = 0x0415;
inline constexpr std::uint16_t kIntersectClipRect = 0x0416;
inline constexpr std::uint16_t kFrameRegion = 0x0429;
inline constexpr std::uint16_t kTextOut = 0x0521;
inline constexpr std::uint16_t kExtTextOut = 0x0A32;
inline constexpr std::uint16_t kSaveDC = 0x001E;
inline constexpr std::uint16_t kSetBkMode = 0x0102;
inline constexpr std::uint16_t kSetMapMode = 0x0103;
inline constexpr std::uint16_t kSetRop2 = 0x0104;
inline constexpr std::uint16_t kSetPolyFillMode = 0x0106;
inline constexpr std::uint16_t kSetStretchBltMode = 0x0107;
inline constexpr std::uint16_t kRestoreDC = 0x0127;
inline constexpr std::uint16_t kSelectObject = 0x012D;
inline constexpr std::uint16_t kDibCreatePatternBrush = 0x0142;
inline constexpr std::uint16_t kDeleteObject = 0x01F0;
inline constexpr std::uint16_t kSetBkColor = 0x0201;
inline constexpr std::uint16_t kSetTextColor = 0x0209;
inline constexpr std::uint16_t kSetWindowOrg = 0x020B;
inline constexpr std::uint16_t kSetWindowExt = 0x020C;
inline constexpr std::uint16_t kSetViewportOrg = 0x020D;
inline constexpr std::uint16_t kSetViewportExt = 0x020E;
inline constexpr std::uint16_t kLineTo = 0x0213;
inline constexpr std::uint16_t kMoveTo = 0x0214;
inline constexpr std::uint16_t kCreatePenIndirect = 0x02FA;
inline constexpr std::uint16_t kCreateFontIndirect = 0x02FB;
inline constexpr std::uint16_t kCreateBrushIndirect = 0x02FC;
inline constexpr std::uint16_t kCreatePalette = 0x00F7;
inline constexpr std::uint16_t kCreatePatternBrush = 0x01F9;
inline constexpr std::uint16_t kCreateRegion = 0x06FF;
inline constexpr std::uint16_t kPolygon = 0x0324;
inline constexpr std::uint16_t kPolyline = 0x0325;
inline constexpr std::uint16_t kEllipse = 0x0418;
inline constexpr std::uint16_t kRectangle = 0x041B;
inline constexpr std::uint16_t kSetPixel = 0x041F;
inline constexpr std::uint16_t kPolyPolygon = 0x0538;
inline constexpr std::uint16_t kRoundRect = 0x061C;
inline constexpr std::uint16_t kArc = 0x0817;
inline constexpr std::uint16_t kPie = 0x081A;
inline constexpr std::uint16_t kChord = 0x0830;
inline constexpr std::uint16_t kDibBitBlt = 0x0940;
inline constexpr std::uint16_t kDibStretchBlt = 0x0B41;
inline constexpr std::uint16_t kSetDIBToDev = 0x0D33;
inline constexpr std::uint16_t kStretchDib = 0x0F43;

}  // namespace scalopex::gdi::wmr
