#include "platform/CSignalCleanup.h"
#include "wizard/CMorphApp.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kHelp =
    "usage: quillarend [--help | --version]\n"
    "\n"
    "Starts the Quillarend wizard: choose two pictures of the same size, mark pairs of\n"
    "corresponding points on them, preview the morph and write the frame on show or a\n"
    "numbered sequence of pictures (the name's extension chooses the format: .jpg,\n"
    ".png, .bmp ...), or one MP4, WebM, MKV or GIF video (with ffmpeg).\n"
    "The headless renderer is quillarend-render.\n"
    "\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before any window system is needed; the wizard reads no argument.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("Quillarend " QUILLAREND_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    // A write interrupted by SIGINT, SIGTERM or SIGHUP leaves no temporary file.
    CSignalCleanup::Install();
    CMorphApp app(argc, argv);
    // Lets the desktop match the window to its entry and icon.
    CMorphApp::setDesktopFileName(QStringLiteral(QUILLAREND_APP_ID));
    return app.InitInstance() ? app.exec() : 0;
}
