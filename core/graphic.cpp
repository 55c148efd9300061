#include "core/graphic.h"

#include "base/exceptions.h"
#include "core/bitmap.h"

namespace scalopex::core {

bool TGraphicClass::InheritsFrom(const TGraphicClass& other) const
{
    for (const TGraphicClass* c = this; c != nullptr; c = c->parent)
        if (c == &other)
            return true;
    return false;
}

const TGraphicClass& TGraphic::StaticClass()
{
    static const TGraphicClass cls{"TGraphic", nullptr, nullptr};
    return cls;
}

void TCanvas::Draw(int x, int y, const TGraphic* graphic)
{
    if (graphic == nullptr || graphic->Empty())
        return;
    graphic->Draw(*this, TRect{x, y, x + graphic->Width(), y + graphic->Height()});
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic* graphic)
{
    if (graphic == nullptr || graphic->Empty())
        return;
    graphic->Draw(*this, rect);
}

void TGraphic::Assign(const TGraphic* source)
{
    if (source == nullptr)
        throw base::EConvertError(base::Format("Cannot assign a %s to a %s", "nil", ClassName()));
    source->AssignTo(*this);
}

void TGraphic::AssignTo(TGraphic& dest) const
{
    throw base::EConvertError(base::Format("Cannot assign a %s to a %s", ClassName(), dest.ClassName()));
}

void TGraphic::Changed()
{
    m_modified = true;
    if (OnChange)
        OnChange(*this);
}

void TGraphic::Draw(TCanvas&, const TRect&) const { throw base::EAbstractError(); }
bool TGraphic::Empty() const { throw base::EAbstractError(); }
int TGraphic::Width() const { throw base::EAbstractError(); }
int TGraphic::Height() const { throw base::EAbstractError(); }
void TGraphic::SetWidth(int) { throw base::EAbstractError(); }
void TGraphic::SetHeight(int) { throw base::EAbstractError(); }
void TGraphic::LoadFromStream(TStream&) { throw base::EAbstractError(); }
void TGraphic::SaveToStream(TStream&) { throw base::EAbstractError(); }

void TGraphic::SetTransparent(bool value)
{
    if (value != m_transparent) {
        m_transparent = value;
        Changed();
    }
}

void TGraphic::LoadFromFile(const std::string& path)
{
    TFileStream stream(path, TFileStream::Mode::OpenRead);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& path)
{
    TFileStream stream(path, TFileStream::Mode::Create);
    SaveToStream(stream);
}

}  // namespace scalopex::core
