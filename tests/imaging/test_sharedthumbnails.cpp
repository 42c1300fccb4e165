#include "ImageFiles.h"
#include "TestTree.h"
#include "imaging/SharedThumbnails.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ImageFiles;
using Texts = QList<std::pair<B, B>>;

namespace {

B textChunks(const Texts &texts)
{
    B chunks;
    for (const auto &[key, value] : texts)
        chunks += be32(quint32(key.size() + 1 + value.size())) + "tEXt" + key + '\0' + value + be32(crc("tEXt" + key + '\0' + value));
    return chunks;
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

} // namespace

class TestSharedThumbnails : public QObject
{
    Q_OBJECT
private slots:
    // The standard's own example; marks kept, characters escaped, bytes not UTF-8 and UTF-8
    // escaped byte by byte; a relative path has none.
    void uri()
    {
        QCOMPARE(thumbnailFileName("/home/jens/photos/me.png"), B("c6ee772d9e49320e97ec29a7eb5b1697.png"));
        for (const auto &[path, uri] : {std::pair<B, B>{"/home/jens/photos/me.png", "file:///home/jens/photos/me.png"},
                                        {"/p/~+,=@&$!'()*:-_.jpg", "file:///p/~+,=@&$!'()*:-_.jpg"},
                                        {"/p/a b%#?;[]{}<>|^`\\\"\x7F.jpg", "file:///p/a%20b%25%23%3F%3B%5B%5D%7B%7D%3C%3E%7C%5E%60%5C%22%7F.jpg"},
                                        {"/p/caf\xE9\xFF/\xC3\xA9\x01", "file:///p/caf%E9%FF/%C3%A9%01"}, {"p/a.jpg", ""}})
            QCOMPARE(fileUri(path), uri);
    }

    // A red 640 x 480 photo, and in `folder` a blue thumbnail of `size` whose keys are right
    // but for a `change` of one ("key=value", "+1" adds one), or a file changed so instead.
    // Blue: it was used.
    void reading_data()
    {
        QTest::addColumn<B>("folder");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<B>("change");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("used");
        const QSize large(256, 192);
        const QList<std::tuple<const char *, B, QSize, B, qreal, bool>> rows{
            {"fresh", "large", large, {}, 1, true}, {"no size key, 150 px", "large", {256, 150}, "Thumb::Size=", 1, true},
            {"x-large at 2x", "x-large", {512, 384}, {}, 2, true}, {"too few pixels at 2x", "large", large, {}, 2, false},
            {"too few pixels", "large", {256, 149}, {}, 1, false}, {"normal", "normal", {128, 96}, {}, 1, false},
            {"mtime a second off", "large", large, "Thumb::MTime=+1", 1, false}, {"no mtime", "large", large, "Thumb::MTime=", 1, false},
            {"mtime not a number", "large", large, "Thumb::MTime=x", 1, false}, {"size a byte off", "large", large, "Thumb::Size=+1", 1, false},
            {"another file's", "large", large, "Thumb::URI=file:///b.png", 1, false}, {"cut short", "large", large, "cut", 1, false},
            {"claims 100000 px", "large", large, "huge", 1, false}, {"a JPEG", "large", large, "jpeg", 1, false},
            {"7 MB", "large", large, "big", 1, false}, {"a FIFO", "large", large, "fifo", 1, false},
            {"a link to a fresh one", "large", large, "link", 1, false}};
        for (const auto &[tag, folder, size, change, ratio, used] : rows)
            QTest::newRow(tag) << folder << size << change << ratio << used;
    }
    void reading()
    {
        QFETCH(B, folder);
        QFETCH(B, change);
        QFETCH(qreal, ratio);
        QFETCH(bool, used);
        QFETCH(QSize, size);
        TestTree t;
        const B photo = t.make({"photos/red.png"}, encoded(bands({640, 480}, {Qt::red}), "png"));
        const struct stat st = statOf(photo);
        Texts texts;
        for (auto [key, value] : Texts{{"Thumb::URI", fileUri(photo)}, {"Thumb::MTime", B::number(qint64(st.st_mtime))}, {"Thumb::Size", B::number(qint64(st.st_size))}}) {
            if (change.startsWith(B(key + '=')))
                value = change.endsWith("=+1") ? B::number(value.toLongLong() + 1) : change.mid(key.size() + 1);
            if (!value.isEmpty())
                texts.append({key, value});
        }
        B thumbnail = encoded(bands(size, {Qt::blue}), "png").insert(33, textChunks(texts));
        if (change == "jpeg") // the keys where a PNG's come, in an application segment
            thumbnail = encoded(bands(size, {Qt::blue}), "jpg").insert(2, "\xFF\xEF" + be16(int(textChunks(texts).size()) + 4) + "xx" + textChunks(texts));
        if (change == "cut")
            thumbnail.chop(thumbnail.size() / 3);
        if (change == "huge")
            thumbnail.replace(16, 8, B(be32(100000) + be32(100000)));
        if (change == "big")
            thumbnail.insert(33, be32(7 << 20) + "zzZz" + B(7 << 20, 'z') + be32(crc("zzZz" + B(7 << 20, 'z'))));
        const B at = "cache/" + folder + '/' + thumbnailFileName(photo);
        t.make(change == "fifo" ? QByteArrayList{at + '|'}
               : change == "link" ? QByteArrayList{"cache/" + folder + '/', at + " -> " + t.make({"elsewhere.png"}, thumbnail)}
                                : QByteArrayList{at}, thumbnail);

        const SharedThumbnails shared(t.path("cache"));
        const QImage card = shared.thumbnail(photo, ratio);
        QCOMPARE(card.size(), QSize(150, 150) * ratio);
        QCOMPARE(card.pixelColor(75, 75), used ? QColor(Qt::blue) : QColor(Qt::red));
        QCOMPARE(shared.decodes(), used ? 0 : 1);
        // One that was not used is replaced by a fresh one where the decode writes.
        if (!used && at.contains(ratio > 1 ? "/x-large/" : "/large/") && change != "fifo")
            QVERIFY(textsOf(fileBytes(t.path(at))).contains(B("Thumb::MTime=" + B::number(qint64(st.st_mtime)))));
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
        QTest::newRow("translucent") << B("p/a.png") << QSize(480, 640) << 1.0 << B("large") << QSize(192, 256) << 0;
        QTest::newRow("smaller than normal") << B("p/a.png") << QSize(100, 80) << 1.0 << B("normal") << QSize(100, 80) << 1;
        QTest::newRow("changed while read") << B("p/a.png") << QSize(640, 480) << 1.0 << B() << QSize() << 1;
        QTest::newRow("in the cache itself") << B("cache/x.png") << QSize(640, 480) << 1.0 << B() << QSize() << 1;
    }
    void writing()
    {
        QFETCH(B, photo);
        QFETCH(QSize, photoSize);
        QFETCH(qreal, ratio);
        QFETCH(B, folder);
        TestTree t;
        const QColor colour(255, 0, 0, QTest::currentDataTag() == "translucent"_ba ? 128 : 255);
        photo = t.make({folder.isEmpty() ? "cache/" : "p/", photo}, encoded(bands(photoSize, {colour, Qt::blue}), "png"));
        struct Changing : SharedThumbnails // its stamp differs at each look
        {
            using SharedThumbnails::SharedThumbnails;
            mutable int looks = 0;
            bool fileStamp(const FilePath &path, FileStamp &stamp) const override { return SharedThumbnails::fileStamp(path, stamp) && (stamp.mtimeNs += looks++, true); }
        };
        const std::unique_ptr<SharedThumbnails> changing(QTest::currentDataTag() == "changed while read"_ba ? new Changing(t.path("cache/")) : nullptr);
        const SharedThumbnails plain(t.path("cache/")), &shared = changing ? *changing : plain;
        const QImage card = shared.thumbnail(photo, ratio);
        QVERIFY(!card.isNull() && shared.decodes() == 1);
        QByteArrayList folders = TestTree::list(t.path("cache"));
        folders.removeAll(photo.mid(photo.lastIndexOf('/') + 1));
        QCOMPARE(folders, folder.isEmpty() ? QByteArrayList() : QByteArrayList{folder});
        if (!folder.isEmpty()) {
            const B dir = t.path("cache/" + folder), name = dir + '/' + thumbnailFileName(photo);
            const struct stat source = statOf(photo);
            QCOMPARE(TestTree::list(dir), QByteArrayList{thumbnailFileName(photo)});
            QCOMPARE((QList{modeOf(t.path("cache")), modeOf(dir), modeOf(name)}), (QList{0700U, 0700U, 0600U}));
            const B bytes = fileBytes(name);
            QCOMPARE(textsOf(bytes), "Software=Lumisort\nThumb::MTime=" + B::number(qint64(source.st_mtime)) + "\nThumb::Size="
                                         + B::number(qint64(source.st_size)) + "\nThumb::URI=" + fileUri(photo));
            QTEST(QImage::fromData(bytes, "png").size(), "size");
        }
        const QImage again = shared.thumbnail(photo, ratio); // the stored one has the decoded one's pixels
        for (const QPoint at : {QPoint(20, 20), QPoint(20, 130), QPoint(130, 75)})
            QCOMPARE(again.pixelColor(at * ratio), card.pixelColor(at * ratio));
        QTEST(shared.decodes() - 1, "decodesAgain");
    }
};

QTEST_GUILESS_MAIN(TestSharedThumbnails)
#include "test_sharedthumbnails.moc"
