// zelvo: the desktop editor.
#include <cstdio>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/CMainFrame.h"
#include "app/CZelvoApp.h"
#include "core/RowBands.h"

int main(int argc, char** argv) {
    // Before the application object, which needs a display.
    if (const auto help = zelvo::CZelvoApp::HelpRequested(argc, argv)) {
        std::fputs(help->c_str(), stdout);
        return 0;
    }
    zelvo::WaitPassivelyBetweenPasses(argv);
    zelvo::CZelvoApp app(argc, argv);
    QString error;
    auto options = zelvo::CZelvoApp::ParseCommandLine(app.arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "zelvo: %s\n", qPrintable(error));
        return 2;
    }
    zelvo::CZelvoApp::KeepFileBytes(*options, argc, argv);
    if (!app.InitInstance(*options)) return 1;
    if (!options->screenshot.isEmpty()) {
        // For reviewing the look: the whole screen (main window and palettes) once it settled.
        const QString out = options->screenshot;
        QTimer::singleShot(2500, &app, [&app, out] {
            QScreen* screen = QGuiApplication::primaryScreen();
            const bool ok = screen && screen->grabWindow(0).save(out, "PNG");
            if (!ok) std::fprintf(stderr, "zelvo: could not write %s\n", qPrintable(out));
            app.MainFrame()->close();
            app.exit(ok ? 0 : 1);
        });
    }
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    const int rc = app.exec();
    app.ExitInstance();
    return rc;
}
