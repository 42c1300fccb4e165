#include "ImageFiles.h"
#include "TestTree.h"
#include "imaging/SharedThumbnails.h"

#include <QImageReader>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace ImageFiles;
using Texts = QList<std::pair<B, B>>;

namespace {

B png(const QImage &image, const Texts &texts)
{
    B file = encoded(image, "png"), chunks;
    for (const auto &[key, value] : texts)
        chunks += be32(quint32(key.size() + 1 + value.size())) + "tEXt" + key + '\0' + value + be32(crc("tEXt" + key + '\0' + value));
    return file.insert(33, chunks);
}

// The PNG's tEXt keys as "key=value" lines, sorted.
B textsOf(const B &file)
{
    QByteArrayList lines;
    for (qsizetype at = file.indexOf("tEXt"); at > 0; at = file.indexOf("tEXt", at + 4))
        lines << file.mid(at + 4, file.mid(at - 4, 4).toHex().toUInt(nullptr, 16)).replace('\0', '=');
    std::sort(lines.begin(), lines.end());
    return lines.join('\n');
}

// A cache that runs out of room.
struct FullDisk : SharedThumbnails
{
    using SharedThumbnails::SharedThumbnails;
    int writeAll(int, QByteArrayView) const override { return ENOSPC; }
};

} // namespace

class TestSharedThumbnails : public QObject
{
    Q_OBJECT
private slots:
    void uri_data()
    {
        QTest::addColumn<B>("path");
        QTest::addColumn<B>("uri");
        QTest::newRow("plain") << B("/home/jens/photos/me.png") << B("file:///home/jens/photos/me.png");
        QTest::newRow("kept") << B("/p/~+,=@&$!'()*:-_.jpg") << B("file:///p/~+,=@&$!'()*:-_.jpg");
        QTest::newRow("escaped") << B("/p/a b%#?;[]{}<>|^`\\\"\x7F.jpg")
                                 << B("file:///p/a%20b%25%23%3F%3B%5B%5D%7B%7D%3C%3E%7C%5E%60%5C%22%7F.jpg");
        QTest::newRow("not UTF-8, UTF-8") << B("/p/caf\xE9\xFF/\xC3\xA9\x01") << B("file:///p/caf%E9%FF/%C3%A9%01");
        QTest::newRow("relative") << B("p/a.jpg") << B();
    }
    void uri()
    {
        QFETCH(B, path);
        QTEST(fileUri(path), "uri");
        if (qstrcmp(QTest::currentDataTag(), "plain") == 0) // the standard's own example
            QCOMPARE(thumbnailFileName(path), B("c6ee772d9e49320e97ec29a7eb5b1697.png"));
    }

    // A red 640 x 480 photo, and in `folder` a blue thumbnail of `size` whose keys are
    // right unless the row spoils one. The card shows blue when the thumbnail was used.
    void reading_data()
    {
        QTest::addColumn<B>("folder");
        QTest::addColumn<B>("file"); // "" a thumbnail, or what lies there instead
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Texts>("spoiled");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("used");
        const QSize large(256, 192), xlarge(512, 384);
        QTest::newRow("fresh") << B("large") << B() << large << Texts{} << 1.0 << true;
        QTest::newRow("no size key") << B("large") << B() << large << Texts{{"Thumb::Size", {}}} << 1.0 << true;
        QTest::newRow("x-large at 2x") << B("x-large") << B() << xlarge << Texts{} << 2.0 << true;
        QTest::newRow("too few pixels at 2x") << B("large") << B() << large << Texts{} << 2.0 << false;
        QTest::newRow("too few pixels") << B("large") << B() << QSize(256, 149) << Texts{} << 1.0 << false;
        QTest::newRow("normal") << B("normal") << B() << QSize(128, 96) << Texts{} << 1.0 << false;
        QTest::newRow("mtime a second off") << B("large") << B() << large << Texts{{"Thumb::MTime", "+1"}} << 1.0 << false;
        QTest::newRow("no mtime") << B("large") << B() << large << Texts{{"Thumb::MTime", {}}} << 1.0 << false;
        QTest::newRow("mtime not a number") << B("large") << B() << large << Texts{{"Thumb::MTime", "x"}} << 1.0 << false;
        QTest::newRow("size a byte off") << B("large") << B() << large << Texts{{"Thumb::Size", "+1"}} << 1.0 << false;
        QTest::newRow("another file's") << B("large") << B() << large << Texts{{"Thumb::URI", "file:///other.png"}} << 1.0 << false;
        QTest::newRow("cut short") << B("large") << B("cut") << large << Texts{} << 1.0 << false;
        QTest::newRow("claims 100000 px") << B("large") << B("huge") << large << Texts{} << 1.0 << false;
        QTest::newRow("a JPEG") << B("large") << B("jpeg") << large << Texts{} << 1.0 << false;
        QTest::newRow("7 MB") << B("large") << B("big") << large << Texts{} << 1.0 << false;
        QTest::newRow("a FIFO") << B("large") << B("fifo") << large << Texts{} << 1.0 << false;
        QTest::newRow("a link to a fresh one") << B("large") << B("link") << large << Texts{} << 1.0 << false;
    }
    void reading()
    {
        QFETCH(B, folder);
        QFETCH(B, file);
        QFETCH(QSize, size);
        QFETCH(Texts, spoiled);
        QFETCH(qreal, ratio);
        TestTree t;
        const B photo = t.make({"photos/red.png"}, encoded(bands({640, 480}, {Qt::red}), "png"));
        struct stat st;
        QCOMPARE(::stat(photo, &st), 0);
        QMap<B, B> keys{{"Thumb::URI", fileUri(photo)}, {"Thumb::MTime", B::number(qint64(st.st_mtime))},
                        {"Thumb::Size", B::number(qint64(st.st_size))}};
        for (const auto &[key, value] : spoiled)
            keys[key] = value.startsWith('+') ? B::number(keys[key].toLongLong() + 1) : value;
        Texts texts;
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            if (!it.value().isEmpty())
                texts.append({it.key(), it.value()});
        B thumbnail = png(bands(size, {Qt::blue}), texts);
        const B at = "cache/" + folder + '/' + thumbnailFileName(photo);
        if (file == "cut")
            thumbnail.chop(thumbnail.size() / 3);
        if (file == "huge")
            thumbnail.replace(16, 8, B(be32(100000) + be32(100000)));
        if (file == "jpeg")
            thumbnail = encoded(bands(size, {Qt::blue}), "jpg");
        if (file == "big")
            thumbnail.insert(33, be32(7 << 20) + "zzZz" + B(7 << 20, 'z') + be32(crc("zzZz" + B(7 << 20, 'z'))));
        if (file == "fifo")
            t.make({at + '|'});
        else if (file == "link")
            t.make({"cache/" + folder + '/', at + " -> " + t.make({"elsewhere.png"}, thumbnail)});
        else
            t.make({at}, thumbnail);

        const SharedThumbnails shared(t.path("cache"));
        const QImage card = shared.thumbnail(photo, ratio);
        QCOMPARE(card.size(), QSize(150, 150) * ratio);
        QFETCH(bool, used);
        QCOMPARE(card.pixelColor(75, 75), used ? QColor(Qt::blue) : QColor(Qt::red));
        QCOMPARE(shared.decodes(), used ? 0 : 1);
        // A thumbnail that was not used is replaced by a fresh one where the decode wrote.
        const B written = "cache/" + B(ratio > 1 ? "x-large/" : "large/") + thumbnailFileName(photo);
        if (!used && written == at && file != "fifo") {
            QFile replaced(QString::fromLocal8Bit(t.path(written)));
            QVERIFY(replaced.open(QIODevice::ReadOnly));
            QVERIFY(textsOf(replaced.readAll()).contains(B("Thumb::MTime=" + B::number(qint64(st.st_mtime)))));
        }
    }

    // What a decode leaves in the cache for the desktop, and whether the next run reads it.
    void writing_data()
    {
        QTest::addColumn<B>("photo");
        QTest::addColumn<QSize>("photoSize");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<B>("folder"); // "" none written
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("decodesAgain");
        QTest::newRow("4:3") << B("p/a b.png") << QSize(640, 480) << 1.0 << B("large") << QSize(256, 192) << 0;
        QTest::newRow("4:3 at 2x") << B("p/a.png") << QSize(640, 480) << 2.0 << B("x-large") << QSize(512, 384) << 0;
        QTest::newRow("16:9") << B("p/a.png") << QSize(1600, 900) << 1.0 << B("x-large") << QSize(512, 288) << 0;
        QTest::newRow("portrait 200 x 300") << B("p/a.png") << QSize(200, 300) << 1.0 << B("large") << QSize(170, 256) << 0;
        QTest::newRow("smaller than normal") << B("p/a.png") << QSize(100, 80) << 1.0 << B("normal") << QSize(100, 80) << 1;
        QTest::newRow("in the cache itself") << B("cache/x.png") << QSize(640, 480) << 1.0 << B() << QSize() << 1;
    }
    void writing()
    {
        QFETCH(B, photo);
        QFETCH(QSize, photoSize);
        QFETCH(qreal, ratio);
        QFETCH(B, folder);
        TestTree t;
        photo = t.make({photo}, encoded(bands(photoSize, {Qt::red}), "png"));
        const SharedThumbnails shared(t.path("cache/"));
        QVERIFY(!shared.thumbnail(photo, ratio).isNull());
        QCOMPARE(shared.decodes(), 1);
        for (const B f : {"normal", "large", "x-large", "xx-large"}) {
            struct stat st;
            const B dir = t.path("cache/" + f);
            QCOMPARE(::stat(dir, &st) == 0, f == folder);
            if (f != folder)
                continue;
            QCOMPARE(st.st_mode & 07777, 0700U);
            QCOMPARE(TestTree::list(dir), QByteArrayList{thumbnailFileName(photo)});
            QCOMPARE(::stat(B(dir + '/' + thumbnailFileName(photo)), &st), 0);
            QCOMPARE(st.st_mode & 07777, 0600U);
            QFile file(QString::fromLocal8Bit(dir + '/' + thumbnailFileName(photo)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const B bytes = file.readAll();
            struct stat source;
            QCOMPARE(::stat(photo, &source), 0);
            QCOMPARE(textsOf(bytes), "Software=Lumisort\nThumb::MTime=" + B::number(qint64(source.st_mtime)) + "\nThumb::Size="
                                         + B::number(qint64(source.st_size)) + "\nThumb::URI=" + fileUri(photo));
            QTEST(QImage::fromData(bytes, "png").size(), "size");
        }
        QVERIFY(!shared.thumbnail(photo, ratio).isNull());
        QTEST(shared.decodes() - 1, "decodesAgain");
    }

    // The card is made whatever keeps the thumbnail from being stored, nothing half-written
    // is left, and a thumbnail stored before stays as it was.
    void writeFailures_data()
    {
        QTest::addColumn<B>("root");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QString>("error");
        QTest::newRow("size folder is a file") << B("cache") << false << u"cache/large: Not a directory"_s;
        QTest::newRow("root below a file") << B("file/cache") << false << u"file/cache/large: Not a directory"_s;
        QTest::newRow("disk full") << B("cache") << true << u".png: No space left on device"_s;
        QTest::newRow("cannot be made") << B("/proc/lumisort-cache") << false << u"/proc/lumisort-cache"_s;
    }
    void writeFailures()
    {
        QFETCH(B, root);
        QFETCH(bool, fullDisk);
        TestTree t;
        const B photo = t.make({"red.png"}, encoded(bands({640, 480}, {Qt::red}), "png"));
        t.make({"file"});
        const B old = t.make({fullDisk ? "cache/large/" + thumbnailFileName(photo) : B("cache/large")}, "old");
        root = root.startsWith('/') ? root : t.path(root);
        const std::unique_ptr<SharedThumbnails> shared = fullDisk ? std::make_unique<FullDisk>(root)
                                                                  : std::make_unique<SharedThumbnails>(root);
        QString got;
        const QImage card = shared->thumbnail(photo, 1.0, &got);
        QCOMPARE(card.pixelColor(75, 75), QColor(Qt::red));
        QFETCH(QString, error);
        QVERIFY2(got.contains(error), qPrintable(got));
        if (!root.startsWith("/proc"))
            QCOMPARE(TestTree::list(t.path(fullDisk ? "cache/large" : "cache")), QByteArrayList{fullDisk ? old.mid(old.lastIndexOf('/') + 1) : B("large")});
        QFile kept(QString::fromLocal8Bit(old));
        QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll() == "old");
    }
};

QTEST_GUILESS_MAIN(TestSharedThumbnails)
#include "test_sharedthumbnails.moc"
