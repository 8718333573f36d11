// A window with the caption given on the command line, shown until the
// program is ended: another program's window for the window lookup to find.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    QWidget window;
    window.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    window.resize(200, 100);
    window.show();
    return app.exec();
}
