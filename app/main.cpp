// marrowvale: the composition root. Builds the real dialogs, the per-user
// settings store and the main window, and runs the event loop.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/dialogs.h"
#include "app/form1.h"
#include "app/program_folder.h"
#include "app/settings.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    // Answered without a display, so packagers and scripts can ask.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("marrowvale %s\n", MV_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "Usage: marrowvale\nOpens the window that converts XML files into JSON text "
            "files; marrowvale-cli does the same from the command line.\n");
        return 0;
    }
    // Without a display Qt aborts with a long message; say what to do instead.
    const std::string noDisplay = mv::app::missingDisplayLine(
        std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"));
    if (!noDisplay.empty()) {
        std::fprintf(stderr, "%s\n", noDisplay.c_str());
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillfen"));
    QApplication::setApplicationName(QStringLiteral("Marrowvale"));
    QApplication::setApplicationVersion(QStringLiteral(MV_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(MV_APP_ID));

    mv::app::QtDialogs dialogs;
    const std::unique_ptr<mv::app::Settings> settings = mv::app::Settings::forUser();
    const mv::app::ProgramFolder folder(QCoreApplication::applicationDirPath());
    mv::app::Form1 window(dialogs, *settings, folder);
    window.show();
    return application.exec();
}
