// Writes the fuzzer's seed files into a folder: every format, EXIF orientations 1 to 8 in
// both byte orders, a HEIC with a thumbnail. Each starts with the byte the fuzz target
// reads as the extension and cover.
#include "../platform/ImageFiles.h"

#include <QFile>
#include <QGuiApplication>

using namespace ImageFiles;

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    QGuiApplication app(argc, argv); // loads the image format plugins
    const QByteArray dir(argv[1]);
    int written = 0;
    const auto write = [&](const QByteArray &name, int extension, const B &bytes) {
        for (const int cover : {0x00, 0x10}) {
            QFile file(QString::fromLocal8Bit(dir + '/' + name + (cover ? "-cover" : "")));
            if (!bytes.isEmpty() && file.open(QIODevice::WriteOnly))
                written += file.write(char(extension | cover) + bytes) > 0;
        }
    };
    const QImage image = quadrants({24, 16});
    const QList<std::pair<const char *, int>> formats{{"jpg", 0}, {"png", 2}, {"tiff", 6}, {"bmp", 8}, {"webp", 9}};
    for (const auto &[format, extension] : formats) {
        write(format, extension, encoded(image, format));
        for (int orientation = 1; orientation <= 8 && B("jpg tiff webp").contains(format); ++orientation)
            for (const bool little : {false, true})
                write(format + ('-' + B::number(orientation)) + (little ? "-ii" : "-mm"), extension,
                      withOrientation(image, format, orientation, little));
    }
    write("gif", 3, gif(image));
    write("heic", 4, heic(image, heif_orientation_rotate_90_cw, 8));
    printf("%d seeds in %s\n", written, dir.constData());
    return 0;
}
