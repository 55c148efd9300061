#pragma once
/// TFileFormatsList: the process-wide registry from file extension to
/// graphic class. The newest registration of an extension wins.

#include <string>
#include <vector>

#include "core/graphic.h"

namespace scalopex::core {

class TFileFormatsList {
public:
    struct Entry {
        std::string extension;  // lower case, without the dot
        std::string description;
        const TGraphicClass* graphicClass;
        int descriptionResource = 0;
    };

    /// Appends an entry; the extension is lower-cased.
    void Add(const std::string& extension, const std::string& description, const TGraphicClass& graphicClass);
    /// The class of the newest entry for extension (no dot, any case), or null.
    const TGraphicClass* FindExt(const std::string& extension) const;
    /// Removes every entry whose class is graphicClass or derives from it.
    void Remove(const TGraphicClass& graphicClass);
    /// "*.ext" for every entry whose class derives from base, newest first,
    /// joined by ";".
    std::string GraphicFileMask(const TGraphicClass& base) const;
    const std::vector<Entry>& Entries() const { return m_entries; }
    void Clear() { m_entries.clear(); }

private:
    std::vector<Entry> m_entries;
};

/// The process-wide registry.
TFileFormatsList& GetFileFormats();

}  // namespace scalopex::core
