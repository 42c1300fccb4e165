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

    // Nested, at the root, a name that is not the path's end or only its suffix, relative, not
    // UTF-8; then in a folder (the root; one with a slash).
    void pathIsRebuiltByteExact()
    {
        for (const auto &[folder, name, path] : {std::tuple{"", "a.jpg", "/p/q/a.jpg"}, {"", "a.jpg", "/a.jpg"}, {"", "a.jpg", "/p/b.jpg"}, {"", "a.jpg", "/p/xa.jpg"},
                                                 {"", "a.jpg", "a.jpg"}, {"", "\xff\xfe.jpg", "/d\x80/\xff\xfe.jpg"}, {"/p/q", "a.jpg", "/p/q/a.jpg"},
                                                 {"/", "a.jpg", "/a.jpg"}, {"/p/", "a.jpg", "/p/a.jpg"}}) {
            const PhotoItem p = *folder ? PhotoItem::inFolder(7, folder, name, 1, {}, {}, u"JPG"_s) : PhotoItem(7, path, name, 1, {}, {}, u"JPG"_s);
            QCOMPARE(QByteArray(p.path() + '|' + p.name()), QByteArray(path) + '|' + name);
        }
    }

    // The original (the oldest; of equals, the earlier member), then the duplicates, for the
    // members' creation times: none, one, all alike, the last oldest, a tie for oldest.
    void originalAndDuplicates()
    {
        for (const auto &[created, members] : {std::pair{QList<int>{}, ""}, {{5}, "0"}, {{3, 3, 3}, "0 1 2"}, {{3, 2, 1}, "2 0 1"}, {{4, 1, 9, 1}, "1 0 2 3"}}) {
            DuplicateGroup group;
            for (int i = 0; i < created.size(); ++i)
                group.photos.append(photo(PhotoId(i), created[i]));
            QStringList ids{group.original() ? QString::number(group.original()->id()) : QString()};
            for (const PhotoItem &p : group.duplicates())
                ids << QString::number(p.id());
            QCOMPARE(ids.join(u' '), QLatin1StringView(members));
        }
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
