#include "model/DuplicateGroup.h"
#include "model/Enums.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Timestamp at(int seconds)
{
    return Timestamp(std::chrono::seconds(seconds));
}

PhotoItem photo(const QString &id, int created, const QByteArray &path = "/p/a.jpg")
{
    return PhotoItem(id, path, "a.jpg", 10, at(created), at(created), u"JPG"_s);
}

QStringList ids(const QList<PhotoItem> &photos)
{
    QStringList result;
    for (const PhotoItem &p : photos)
        result.append(p.id());
    return result;
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void photoIdentityIsTheIdAlone()
    {
        PhotoItem a = photo(u"A"_s, 1, "/one.jpg");
        PhotoItem sameId(u"A"_s, "/two.png", "two.png", 99, at(5), at(6), u"PNG"_s, {}, u"ff"_s);
        const PhotoItem otherId = photo(u"B"_s, 1, "/one.jpg");
        QVERIFY(a == sameId);
        QVERIFY(!(a == otherId));
        QCOMPARE(QSet<PhotoItem>({a, sameId, otherId}).size(), 2);

        // Records are values: changing a copy leaves the original alone.
        PhotoItem copy = a;
        copy.setHash(u"0123"_s);
        QVERIFY(a.hash().isEmpty());
    }

    void originalAndDuplicates_data()
    {
        QTest::addColumn<QList<int>>("created");
        QTest::addColumn<QString>("original");
        QTest::addColumn<QStringList>("duplicates");
        QTest::newRow("empty") << QList<int>{} << QString() << QStringList{};
        QTest::newRow("single") << QList<int>{5} << u"0"_s << QStringList{};
        QTest::newRow("all same date: first wins") << QList<int>{3, 3, 3} << u"0"_s
                                                   << QStringList{u"1"_s, u"2"_s};
        QTest::newRow("last is oldest") << QList<int>{3, 2, 1} << u"2"_s
                                        << QStringList{u"0"_s, u"1"_s};
        QTest::newRow("tie for oldest: earlier member wins") << QList<int>{4, 1, 9, 1} << u"1"_s
                                                             << QStringList{u"0"_s, u"2"_s, u"3"_s};
    }

    void originalAndDuplicates()
    {
        QFETCH(QList<int>, created);
        QFETCH(QString, original);
        QFETCH(QStringList, duplicates);
        DuplicateGroup group{u"d41d8cd98f00b204e9800998ecf8427e"_s, {}};
        for (int i = 0; i < created.size(); ++i)
            group.photos.append(photo(QString::number(i), created[i]));
        const std::optional<PhotoItem> first = group.original();
        QCOMPARE(first ? first->id() : QString(), original);
        QCOMPARE(ids(group.duplicates()), duplicates);
    }

    void fileTypeFilterTitlesAreExact()
    {
        const QStringList titles = {u"All Types"_s, u"JPEG"_s, u"PNG"_s, u"GIF"_s,
                                    u"HEIC"_s,      u"TIFF"_s, u"BMP"_s, u"WebP"_s};
        QCOMPARE(FileTypeFilters::allCases.size(), size_t(titles.size()));
        for (size_t i = 0; i < FileTypeFilters::allCases.size(); ++i) {
            const FileTypeFilter filter = FileTypeFilters::allCases[i];
            QCOMPARE(FileTypeFilters::rawValue(filter), titles[qsizetype(i)]);
            QCOMPARE(FileTypeFilters::fromRawValue(titles[qsizetype(i)]), filter);
        }
        for (const QString &wrongCase : {u"jpeg"_s, u"Webp"_s, u"All types"_s, u""_s, u"JPG"_s})
            QVERIFY2(!FileTypeFilters::fromRawValue(wrongCase), qPrintable(wrongCase));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
