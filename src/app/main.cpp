// zelvo: the desktop editor. The main frame, menus and palettes are not built yet; this opens
// the main window so that the start command and packaging can be exercised.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zelvo");
    QMainWindow frame;
    frame.setWindowTitle("Zelvo");
    frame.resize(1024, 768);
    frame.show();
    return app.exec();
}
