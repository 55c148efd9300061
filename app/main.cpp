// scalopex: the window. The first command-line argument, if any, is opened
// as the current file.

#include <string>
#include <vector>

#include <QApplication>

#include "app/main_window.h"
#include "formats/registry.h"
#include "output/publishing.h"
#include "platform/memory.h"

int main(int argc, char** argv)
{
    scalopex::platform::TuneAllocatorForImages();
    scalopex::output::RemovePendingFilesOnSignals();
    scalopex::formats::RegisterFileFormats();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(scalopex::app::kCaption));

    // Qt has taken its own options out of argv by now; paths stay as the
    // bytes the system gave.
    scalopex::app::TWindowOptions options;
    for (int i = 1; i < argc; ++i)
        options.arguments.emplace_back(argv[i]);
    scalopex::app::TForm1 window(std::move(options));
    window.show();
    return QApplication::exec();
}
