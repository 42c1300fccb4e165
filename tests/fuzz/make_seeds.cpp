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
            if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly))
                continue;
            file.write(char(extension | cover) + bytes);
            ++written;
        }
    };
    const QImage image = quadrants({24, 16});
    write("jpeg", 0, encoded(image, "jpg"));
    write("png", 2, encoded(image, "png"));
    write("gif", 3, gif(image));
    write("heic", 4, heic(image, heif_orientation_rotate_90_cw, 8));
    write("tiff", 6, encoded(image, "tiff"));
    write("bmp", 8, encoded(image, "bmp"));
    write("webp", 9, encoded(image, "webp"));
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const bool little : {false, true}) {
            const QByteArray tag = QByteArray::number(orientation) + (little ? "-ii" : "-mm");
            write("jpeg-" + tag, 0, jpegWithOrientation(image, orientation, little));
            write("tiff-" + tag, 6, tiffWithOrientation(image, orientation, little));
            write("webp-" + tag, 9, webpWithOrientation(image, orientation, little));
        }
    }
    printf("%d seeds in %s\n", written, dir.constData());
    return 0;
}
