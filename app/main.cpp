#include <QApplication>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle("Sound Tikkora Meter");
    w.resize(800, 610);
    w.show();
    return app.exec();
}
