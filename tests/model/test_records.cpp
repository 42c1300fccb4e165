#include "model/DuplicateGroup.h"
#include "model/Enums.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

PhotoItem photo(const QString &id, int created, const QByteArray &path = "/p/a.jpg")
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
        PhotoItem a = photo(u"A"_s, 1, "/one.jpg");
        const PhotoItem sameId(u"A"_s, "/two.png", "two.png", 99, {}, {}, u"PNG"_s, {}, u"ff"_s);
        const PhotoItem otherId = photo(u"B"_s, 1, "/one.jpg");
        QVERIFY(a == sameId && !(a == otherId));
        QCOMPARE(QSet<PhotoItem>({a, sameId, otherId}).size(), 2);
        PhotoItem copy = a; // records are values
        copy.setHash(u"0123"_s);
        QVERIFY(a.hash().isEmpty());
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
        QFETCH(QString, members);
        DuplicateGroup group{u"d41d8cd98f00b204e9800998ecf8427e"_s, {}};
        for (int i = 0; i < created.size(); ++i)
            group.photos.append(photo(QString::number(i), created[i]));
        QStringList ids{group.original() ? group.original()->id() : QString()};
        for (const PhotoItem &p : group.duplicates())
            ids << p.id();
        QCOMPARE(ids.join(u' '), members);
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
