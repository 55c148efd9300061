#pragma once
/// Outputs are written under a temporary name in their destination folder
/// and published under their final name only when complete, never replacing
/// a file: no partial output is ever visible, also after a kill.

#include <memory>
#include <string>

#include "core/stream.h"

namespace scalopex::output {

/// One output being written. The temporary file is a hidden ".tmp" file that
/// no image mask matches; it is removed when the object goes unpublished.
class TPendingFile {
public:
    /// Creates the temporary file in folder ("" for the current folder);
    /// failure throws EFCreateError naming wouldBe, the output meant.
    TPendingFile(const std::string& folder, const std::string& wouldBe);
    ~TPendingFile();
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;

    core::TFileStream& Stream() { return *m_stream; }
    const std::string& TemporaryPath() const { return m_path; }
    /// Closes the file; a late write error throws EWriteError naming wouldBe.
    void Close(const std::string& wouldBe);
    /// Gives the complete file the name name; false, and still pending, when
    /// a file or folder of that name exists.
    bool PublishAs(const std::string& name);

private:
    std::string m_path;
    std::unique_ptr<core::TFileStream> m_stream;
    int m_slot = -1;  // in the table the signal handler cleans up
    bool m_published = false;
};

/// "Cannot write file "%s". %s" with the system's reason for errorNumber.
[[noreturn]] void ThrowWriteError(const std::string& path, int errorNumber);

/// On SIGINT, SIGTERM and SIGHUP, removes the temporary files of outputs
/// still being written, then lets the signal take its course. Once per
/// process, before any output is written.
void RemovePendingFilesOnSignals();

}  // namespace scalopex::output
