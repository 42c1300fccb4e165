#include "model/DuplicateGroup.h"
#include "model/Enums.h"

#include <QSet>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

PhotoItem photo(PhotoId id, int created, const QByteArray &path = "/p/a.jpg")
{
    const Timestamp at{std::chrono::seconds(created)};
    return PhotoItem(id, path, "a.jpg", 10, at, at, u"JPG"_s);
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void photoIdentityIsTheIdAlone()
    {
        const PhotoItem a = photo(1, 1, "/one.jpg"), otherId = photo(2, 1, "/one.jpg"), sameId(1, "/two.png", "two.png", 99, {}, {}, u"PNG"_s);
        QVERIFY(a == sameId && !(a == otherId));
        QCOMPARE(QSet<PhotoItem>({a, sameId, otherId}).size(), 2);
        // Handles share the record: what the duplicate finder learns shows through all.
        PhotoItem copy = a;
        const QString digest = u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"_s;
        copy.setHash(digest);
        QCOMPARE(a.hash(), digest);
        copy.setHash(u"0123"_s); // not a digest
        QVERIFY(a.hash().isEmpty() && PhotoItem().hash().isEmpty() && PhotoItem().path().isEmpty());
    }

    void idsNeverRepeat()
    {
        QList<PhotoId> ids(40000);
        std::thread other([&] { for (qsizetype i = 1; i < ids.size(); i += 2) ids[i] = makePhotoId(); });
        for (qsizetype i = 0; i < ids.size(); i += 2)
            ids[i] = makePhotoId();
        other.join();
        QCOMPARE(QSet<PhotoId>(ids.begin(), ids.end()).size(), ids.size());
    }

    void pathIsRebuiltByteExact_data()
    {
        QTest::addColumn<QByteArray>("folder"); // empty: made from the whole path
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("path");
        const char *const rows[][4] = {
            {"nested", "", "a.jpg", "/p/q/a.jpg"}, {"at the root", "", "a.jpg", "/a.jpg"}, {"name not the path's end", "", "a.jpg", "/p/b.jpg"},
            {"name only a suffix", "", "a.jpg", "/p/xa.jpg"}, {"relative", "", "a.jpg", "a.jpg"}, {"invalid UTF-8", "", "\xff\xfe.jpg", "/d\x80/\xff\xfe.jpg"},
            {"in folder", "/p/q", "a.jpg", "/p/q/a.jpg"}, {"in the root folder", "/", "a.jpg", "/a.jpg"}, {"folder with a slash", "/p/", "a.jpg", "/p/a.jpg"}};
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QByteArray(row[1]) << QByteArray(row[2]) << QByteArray(row[3]);
    }
    void pathIsRebuiltByteExact()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, path);
        const PhotoItem p = folder.isEmpty() ? PhotoItem(7, path, name, 1, {}, {}, u"JPG"_s)
                                             : PhotoItem::inFolder(7, folder, name, 1, {}, {}, u"JPG"_s);
        QCOMPARE(QByteArray(p.path() + '|' + p.name()), QByteArray(path + '|' + name));
    }

    void originalAndDuplicates_data()
    {
        QTest::addColumn<QList<int>>("created");
        QTest::addColumn<QString>("members"); // the original, then the duplicates
        QTest::newRow("empty") << QList<int>{} << QString();
        QTest::newRow("single") << QList<int>{5} << u"0"_s;
        QTest::newRow("all same date: first wins") << QList<int>{3, 3, 3} << u"0 1 2"_s;
        QTest::newRow("last is oldest") << QList<int>{3, 2, 1} << u"2 0 1"_s;
        QTest::newRow("tie for oldest: earlier member wins") << QList<int>{4, 1, 9, 1} << u"1 0 2 3"_s;
    }
    void originalAndDuplicates()
    {
        QFETCH(QList<int>, created);
        DuplicateGroup group{u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"_s, {}};
        for (int i = 0; i < created.size(); ++i)
            group.photos.append(photo(PhotoId(i), created[i]));
        QStringList ids{group.original() ? QString::number(group.original()->id()) : QString()};
        for (const PhotoItem &p : group.duplicates())
            ids << QString::number(p.id());
        QTEST(ids.join(u' '), "members");
    }

    void fileTypeFilterTitles()
    {
        QStringList titles;
        for (const FileTypeFilter filter : FileTypeFilters::allCases)
            titles << FileTypeFilters::rawValue(filter);
        QCOMPARE(titles, (QStringList{u"All Types"_s, u"JPEG"_s, u"PNG"_s, u"GIF"_s, u"HEIC"_s, u"TIFF"_s, u"BMP"_s, u"WebP"_s}));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
