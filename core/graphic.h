#pragma once
/// TGraphic, the abstract image-format object every format class derives
/// from; TCanvas, the drawing surface graphics are drawn onto; and the class
/// descriptors through which the format registry creates graphics.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/colors.h"
#include "core/stream.h"
#include "platform/gdi/palette.h"

namespace scalopex::core {

class TGraphic;
class TBitmap;

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

/// Describes a graphic class: its name, its parent and how to make one.
struct TGraphicClass {
    const char* name;
    const TGraphicClass* parent;
    std::unique_ptr<TGraphic> (*create)();

    /// True when this class is other or derives from it.
    bool InheritsFrom(const TGraphicClass& other) const;
};

/// Declares the class descriptor of a graphic class inside its body.
#define SCALOPEX_GRAPHIC_CLASS(Name)                                                   \
public:                                                                                \
    static const ::scalopex::core::TGraphicClass& StaticClass();                       \
    const ::scalopex::core::TGraphicClass& ClassType() const override { return StaticClass(); }

/// Defines the class descriptor of a concrete graphic class in its .cpp.
#define SCALOPEX_DEFINE_GRAPHIC_CLASS(Name, Parent)                                                     \
    const ::scalopex::core::TGraphicClass& Name::StaticClass()                                          \
    {                                                                                                   \
        static const ::scalopex::core::TGraphicClass cls{                                               \
            #Name, &Parent::StaticClass(),                                                              \
            []() -> std::unique_ptr<::scalopex::core::TGraphic> { return std::make_unique<Name>(); }};  \
        return cls;                                                                                     \
    }

/// Defines the class descriptor of an abstract graphic class: it names its
/// parent but cannot be made.
#define SCALOPEX_DEFINE_ABSTRACT_GRAPHIC_CLASS(Name, Parent)                        \
    const ::scalopex::core::TGraphicClass& Name::StaticClass()                       \
    {                                                                                \
        static const ::scalopex::core::TGraphicClass cls{#Name, &Parent::StaticClass(), nullptr}; \
        return cls;                                                                  \
    }

/// A drawing surface with a brush (fill colour) and a font colour.
class TCanvas {
public:
    virtual ~TCanvas() = default;

    TColor BrushColor() const { return m_brushColor; }
    void SetBrushColor(TColor color) { m_brushColor = color; }
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color) { m_fontColor = color; }

    /// Draws graphic at (x, y) in its own size; nothing for an absent or
    /// empty graphic.
    void Draw(int x, int y, const TGraphic* graphic);
    /// Draws graphic stretched into rect.
    void StretchDraw(const TRect& rect, const TGraphic* graphic);

    /// Paints source into rect: nearest source pixel, no blending; where
    /// source is transparent the surface is left unchanged.
    virtual void DrawBitmap(const TRect& rect, const TBitmap& source) = 0;
    /// Fills rect with the brush colour.
    virtual void FillRect(const TRect& rect) = 0;

private:
    TColor m_brushColor = clWhite;
    TColor m_fontColor = clBlack;  // the window-text colour
};

class TGraphic {
public:
    virtual ~TGraphic() = default;
    static const TGraphicClass& StaticClass();
    virtual const TGraphicClass& ClassType() const = 0;
    std::string ClassName() const { return ClassType().name; }

    /// Copies source into this graphic. The base asks the source's AssignTo,
    /// which fails with "Cannot assign a %s to a %s".
    virtual void Assign(const TGraphic* source);
    /// The source side of Assign: fills dest from this graphic when it can.
    virtual void AssignTo(TGraphic& dest) const;

    /// Sets Modified and raises OnChange.
    virtual void Changed();
    /// Draws the graphic into rect of canvas.
    virtual void Draw(TCanvas& canvas, const TRect& rect) const;
    virtual bool Empty() const;
    virtual int Width() const;
    virtual int Height() const;
    virtual void SetWidth(int width);
    virtual void SetHeight(int height);
    /// The graphic's palette; empty when it has none.
    virtual gdi::TLogPalette Palette() const { return {}; }
    virtual void SetPalette(const gdi::TLogPalette&) {}
    virtual bool Transparent() const { return m_transparent; }
    virtual void SetTransparent(bool value);

    /// The raster this graphic paints, pixel for pixel, when drawn at its own
    /// size, if it keeps one (decoding it on demand); null otherwise. Lets a
    /// caller share that raster instead of drawing a copy.
    virtual const TBitmap* Raster() const { return nullptr; }

    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromFile(const std::string& path);
    virtual void SaveToFile(const std::string& path);

    bool Modified() const { return m_modified; }
    void SetModified(bool value) { m_modified = value; }
    std::function<void(TGraphic&)> OnChange;

protected:
    bool m_transparent = false;

private:
    bool m_modified = false;
};

}  // namespace scalopex::core
