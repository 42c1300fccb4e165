// libFuzzer target over decodeImage. The first byte picks the file's extension (its low
// nibble) and the box to cover (its high nibble: none, or one of a few sizes); the rest is
// the file's content.
#include "imaging/ImageDecoder.h"

#include <QByteArray>
#include <QSize>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const extensions[] = {"jpg", "jpeg", "png", "gif", "heic", "heif", "tiff", "tif", "bmp", "webp"};
    static const QSize covers[] = {{}, {150, 150}, {300, 300}, {1, 1}, {4000, 64}};
    static const QByteArray folder = [] {
        char name[] = "/tmp/fuzz-decoder-XXXXXX";
        return QByteArray(::mkdtemp(name));
    }();
    if (size < 1 || folder.isEmpty())
        return 0;
    const QByteArray path = folder + "/input." + extensions[(data[0] & 15) % 10];
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::write(fd, data + 1, size - 1) != ssize_t(size - 1))
        std::abort();
    ::close(fd);
    const QImage image = decodeImage(path, covers[(data[0] >> 4) % 5]);
    if (!image.isNull() && (image.width() <= 0 || image.height() <= 0))
        std::abort();
    return 0;
}
