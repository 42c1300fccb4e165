// Writes the fuzzer's seed files into a folder: every format, EXIF orientations 1 to 8 in
// both byte orders, a HEIC with a thumbnail, and files made to keep a decoder busy. Each
// starts with the byte the fuzz target reads as the extension and cover.
#include "../imaging/ImageFiles.h"

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
    const B tile = heic(image, heif_orientation_rotate_90_cw, {8}), larger = heic(quadrants({128, 128}));
    write("heic", 4, tile);
    // Files that once kept the decoder busy for seconds or took far more memory than charged.
    write("gif-codes-run-on", 3, lzwBombGif({100, 100}, 60 << 10));
    write("jpg-2000-scans", 0, manyScansJpeg(2048, 2000));
    write("png-inflating", 2, inflatingPng({100, 100}, 8 << 20));
    write("bmp-rle", 8, rleBmp({1000, 800}));
    if (!tile.isEmpty() && !larger.isEmpty())
        write("heic-coded-larger", 4, heifItem(boxBody(tile, "hvcC"), {24, 16}, parameterSets(larger) + boxBody(larger, "mdat")));
    printf("%d seeds in %s\n", written, dir.constData());
    return 0;
}
