#pragma once

// Photo-like pictures for the similar tests, and the bytes of their files.
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <functional>

inline QImage perPixel(const QImage &image, const std::function<QColor(QColor)> &edit)
{
    QImage out = image;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixelColor(x, y, edit(out.pixelColor(x, y)));
    return out;
}

// Gradients, shapes and grain from `seed`; `shift` moves the shapes as a burst's next shot does.
inline QImage scene(quint32 seed, int shift = 0, QSize size = {480, 320})
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor::fromRgb(random.generate()));
    sky.setColorAt(1, QColor::fromRgb(random.generate()));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 10; ++i) {
        painter.setBrush(QColor::fromRgb(random.generate()));
        const QRect box(random.bounded(size.width()) + shift * (i % 3 - 1), random.bounded(size.height()),
                        30 + random.bounded(90), 30 + random.bounded(90));
        i % 2 ? painter.drawEllipse(box) : painter.drawRect(box);
    }
    painter.end();
    return perPixel(image, [&](QColor c) { return c.lighter(94 + int(random.bounded(13))); });
}

inline QByteArray encoded(const QImage &image, const char *format, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, format, quality) ? bytes : QByteArray();
}
