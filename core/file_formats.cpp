#include "core/file_formats.h"

#include <algorithm>

#include "base/paths.h"

namespace scalopex::core {

void TFileFormatsList::Add(const std::string& extension, const std::string& description, const TGraphicClass& graphicClass)
{
    m_entries.push_back(Entry{base::LowerCase(extension), description, &graphicClass, 0});
}

const TGraphicClass* TFileFormatsList::FindExt(const std::string& extension) const
{
    const std::string ext = base::LowerCase(extension);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (it->extension == ext)
            return it->graphicClass;
    return nullptr;
}

void TFileFormatsList::Remove(const TGraphicClass& graphicClass)
{
    std::erase_if(m_entries, [&](const Entry& e) { return e.graphicClass->InheritsFrom(graphicClass); });
}

std::string TFileFormatsList::GraphicFileMask(const TGraphicClass& base) const
{
    std::string mask;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->extension.empty() || !it->graphicClass->InheritsFrom(base))
            continue;
        if (!mask.empty())
            mask += ';';
        mask += "*." + it->extension;
    }
    return mask;
}

TFileFormatsList& GetFileFormats()
{
    static TFileFormatsList list;
    return list;
}

}  // namespace scalopex::core
