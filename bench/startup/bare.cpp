// The yardstick for start-up: the least a Qt 6 program does to show a
// main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Identify intervals");
    window.resize(640, 480);
    window.show();
    return app.exec();
}
