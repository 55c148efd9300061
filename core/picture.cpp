#include "core/picture.h"

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/file_formats.h"

namespace scalopex::core {

TPicture::~TPicture()
{
    if (m_graphic)
        m_graphic->OnChange = nullptr;
}

void TPicture::Hold(std::unique_ptr<TGraphic> graphic)
{
    if (m_graphic)
        m_graphic->OnChange = nullptr;
    m_graphic = std::move(graphic);
    if (m_graphic)
        m_graphic->OnChange = [this](TGraphic&) { Changed(); };
    Changed();
}

void TPicture::Changed()
{
    if (OnChange)
        OnChange(*this);
}

void TPicture::Assign(const TGraphic* graphic)
{
    if (graphic == nullptr) {
        Hold(nullptr);
        return;
    }
    const TGraphicClass& cls = graphic->ClassType();
    if (cls.create == nullptr)
        throw base::EAbstractError();
    std::unique_ptr<TGraphic> copy = cls.create();
    copy->Assign(graphic);
    Hold(std::move(copy));
}

TBitmap& TPicture::Bitmap()
{
    if (auto* bitmap = dynamic_cast<TBitmap*>(m_graphic.get()))
        return *bitmap;
    auto bitmap = std::make_unique<TBitmap>();
    TBitmap& result = *bitmap;
    Hold(std::move(bitmap));
    return result;
}

void TPicture::LoadFromFile(const std::string& path)
{
    const std::string ext = base::ExtractFileExt(path);
    const std::string bare = ext.empty() ? ext : ext.substr(1);
    const TGraphicClass* cls = GetFileFormats().FindExt(bare);
    if (cls == nullptr || cls->create == nullptr)
        throw base::EInvalidGraphic(base::Format(base::kSUnknownExtension, bare));
    std::unique_ptr<TGraphic> graphic = cls->create();
    graphic->LoadFromFile(path);
    Hold(std::move(graphic));
}

}  // namespace scalopex::core
