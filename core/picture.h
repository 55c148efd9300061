#pragma once
/// TPicture: the owner of one graphic. It opens files by their extension
/// through the format registry and raises OnChange after every change of
/// its graphic or its replacement.

#include <functional>
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/graphic.h"

namespace scalopex::core {

class TPicture {
public:
    TPicture() = default;
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    /// The held graphic, or null.
    TGraphic* Graphic() const { return m_graphic.get(); }
    /// Holds a new instance of graphic's class assigned from it; null empties.
    void Assign(const TGraphic* graphic);
    void Assign(const TPicture& other) { Assign(other.Graphic()); }
    /// The held graphic when it is a TBitmap; otherwise a new empty bitmap
    /// replaces it.
    TBitmap& Bitmap();
    int Width() const { return m_graphic ? m_graphic->Width() : 0; }
    int Height() const { return m_graphic ? m_graphic->Height() : 0; }
    /// Opens path with the class registered for its extension. On failure the
    /// previous graphic stays.
    void LoadFromFile(const std::string& path);

    std::function<void(TPicture&)> OnChange;

private:
    void Hold(std::unique_ptr<TGraphic> graphic);
    void Changed();

    std::unique_ptr<TGraphic> m_graphic;
};

}  // namespace scalopex::core
