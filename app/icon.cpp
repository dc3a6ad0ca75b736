// velm-icon FILE [SIZE]: writes the program's picture (the one its windows
// carry) as a PNG file, for the desktop's menu.

#include "shell/MenuIcons.h"

#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char **argv)
{
    // Painting needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: velm-icon FILE [SIZE]\n");
        return 2;
    }
    const int size = argc == 3 ? QByteArray(argv[2]).toInt() : 256;
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "velm-icon: SIZE must lie between 16 and 1024\n");
        return 2;
    }
    if (!shell::appPixmap(size).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "velm-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
