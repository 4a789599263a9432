// marrowvale: the composition root. Builds the real dialogs, the per-user
// settings store and the main window, and runs the event loop.

#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/signal_exit.h"
#include "app/start_arguments.h"
#include "app/startup.h"
#include "engine/cpu/isa.h"
#include "engine/durability.h"
#include "ui/dialogs.h"
#include "ui/program_folder.h"
#include "ui/settings.h"

namespace {

std::string currentFolder() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr && errno == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

}  // namespace

int main(int argc, char** argv) {
    // Answered without a display, so packagers and scripts can ask.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("marrowvale %s\n", MV_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "%s\nOpens the window that converts XML files into JSON text files, with the "
            "files given,\nand the files of the folders given, in its list. marrowvale-cli "
            "does the same\nfrom the command line.\n",
            mv::app::kWindowUsage);
        return 0;
    }
    // A window started from a menu has no one to refuse to: it says so where
    // a bug report would look and goes on with the widest variant.
    if (const std::string isa = mv::engine::cpu::requestError(); !isa.empty()) {
        std::fprintf(stderr, "marrowvale: %s; the widest variant runs instead\n", isa.c_str());
    }
    // Without a display Qt aborts with a long message; say what to do instead.
    const std::string noDisplay = mv::app::missingDisplayLine(
        std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"));
    if (!noDisplay.empty()) {
        std::fprintf(stderr, "%s\n", noDisplay.c_str());
        return 1;
    }

    mv::engine::reserveDescriptors();  // before the first thread
    mv::app::endOnSignals();
    QApplication application(argc, argv);  // takes its own options out of argv
    const mv::app::StartArguments start = mv::app::parseStartArguments(
        std::vector<std::string>(argv + 1, argv + argc), currentFolder());
    if (!start.error.empty()) {
        std::fprintf(stderr, "%s\n", start.error.c_str());
        return 2;
    }
    QApplication::setOrganizationName(QStringLiteral("Quillfen"));
    QApplication::setApplicationName(QStringLiteral("Marrowvale"));
    QApplication::setApplicationVersion(QStringLiteral(MV_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(MV_APP_ID));

    mv::ui::QtDialogs dialogs;
    const std::unique_ptr<mv::ui::Settings> settings = mv::ui::Settings::forUser();
    const mv::ui::ProgramFolder folder(QCoreApplication::applicationDirPath());
    mv::app::Form1 window(dialogs, *settings, folder);
    window.show();
    // Once the window shows, so that a long folder walk shows its progress.
    QTimer::singleShot(0, &window, [&] { window.addPaths(start.paths); });
    return application.exec();
}
