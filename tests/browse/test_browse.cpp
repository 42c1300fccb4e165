#include "TestIds.h"
#include "browse/Filtering.h"
#include "browse/Paging.h"
#include "browse/PhotoIndex.h"
#include "browse/Statistics.h"
#include "model/LibraryState.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

PhotoItem photo(const QString &id, const QByteArray &name, qint64 size = 1000)
{
    const QString type = QFile::decodeName(name.mid(name.lastIndexOf('.') + 1)).toUpper();
    return PhotoItem(testId(id), "/p/" + name, name, size, {}, {}, type);
}

QList<PhotoItem> numbered(int count, qint64 size = 1000)
{
    QList<PhotoItem> photos;
    for (int i = 0; i < count; ++i)
        photos << photo(QString::number(i), "IMG_" + QByteArray::number(i) + ".jpg", size);
    return photos;
}

} // namespace

class TestBrowse : public QObject
{
    Q_OBJECT

private slots:
    void filters()
    {
        const QList<PhotoItem> all = {
            photo(u"a"_s, "Img_0001.jpg"), photo(u"b"_s, "beach.PNG"),    photo(u"c"_s, "x.jpeg"),
            photo(u"d"_s, "scan.tif"),     photo(u"e"_s, "phone.heif"),   photo(u"f"_s, "my img.png"),
            photo(u"g"_s, "\xc3\x89T\xc3\x89.webp"), // ÉTÉ.webp
            photo(u"h"_s, "bad\xff" "name.gif"),       photo(u"i"_s, "ABCDEFGHIJKLMNOPQRSTUVWXYZ@[abcdefghijklmnopqrstuvwxyz.bmp"),
        };
        const PhotoIdSet dups = testIds({u"a"_s, u"b"_s, u"f"_s});
        const auto run = [&](ViewMode mode, FileTypeFilter type, const QString &field, const PhotoIdSet &duplicates = {}) {
            QString ids = u"["_s;
            for (const PhotoItem &p : filterPhotos(all, duplicates, {mode, type, searchKey(field)}))
                ids += testName(p.id());
            return ids += u']';
        };
        using F = FileTypeFilter;
        const F any = F::all;
        // Types: lower-cased type against the filter's extensions, aliases included.
        QCOMPARE(run(ViewMode::all, F::jpeg, {}) + run(ViewMode::all, F::png, {}) + run(ViewMode::all, F::tiff, {}) + run(ViewMode::all, F::heic, {})
                     + run(ViewMode::all, any, {}),
                 u"[ac][bf][d][e][abcdefghi]"_s);
        // Search: case-blind on both sides for every letter (and nothing beside them),
        // Unicode-aware, untrimmed, names only (every path has "/p/"), against the name as
        // shown, decoded.
        QCOMPARE(run(ViewMode::all, any, u"IMG"_s) + run(ViewMode::all, any, u"Été"_s)
                     + run(ViewMode::all, any, u" img"_s) + run(ViewMode::all, any, u"p/"_s)
                     + run(ViewMode::all, any, u"\ufffdname"_s) + run(ViewMode::all, any, u"abcdefghijklmnopqrstuvwxyz@["_s)
                     + run(ViewMode::all, any, u"`{"_s),
                 u"[af][g][f][][h][i][]"_s);
        // Duplicates mode keeps every member, before a pass nothing; filters combine.
        QCOMPARE(run(ViewMode::duplicates, any, {}) + run(ViewMode::duplicates, any, {}, dups)
                     + run(ViewMode::duplicates, F::png, u"IMG"_s, dups) + run(ViewMode::all, F::png, u"beach"_s),
                 u"[][abf][f][b]"_s);
    }

    // The index, fresh and narrowed by the step before, keeps exactly what filterPhotos keeps.
    // A step is "view|type title|field text"; each row is typed in order.
    void indexedFilter_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("extend") << QStringList{u"all|All Types|i"_s, u"all|All Types|Im"_s, u"all|All Types|IMG_"_s, u"all|All Types|img_1"_s};
        QTest::newRow("shorten") << QStringList{u"all|All Types|img_"_s, u"all|All Types|img"_s, u"all|All Types|"_s};
        QTest::newRow("every letter") << QStringList{u"all|All Types|ABCDEFGHIJKLMNOPQRSTUVWXYZ@["_s, u"all|BMP|`{"_s, u"all|BMP|z.bmp"_s};
        QTest::newRow("paste, across names") << QStringList{u"all|All Types|beach"_s, u"all|All Types|strasse"_s, u"all|All Types|.jpg"_s,
                                                            u"all|All Types|jpgimg"_s};
        QTest::newRow("non-ASCII") << QStringList{u"all|All Types|\u00e9"_s, u"all|All Types|\u00c9T\u00c9"_s, u"all|All Types|\u0130"_s,
                                                  u"all|All Types|i\u0307s"_s, u"all|All Types|\ufffdn"_s, u"all|All Types|<high surrogate>"_s, u"all|All Types|\U0001f600 "_s};
        QTest::newRow("type under a term") << QStringList{u"all|JPEG|i"_s, u"all|PNG|im"_s, u"all|TIFF|"_s, u"all|All Types|im"_s};
        QTest::newRow("view under a term") << QStringList{u"dup|All Types|i"_s, u"all|All Types|im"_s, u"dup|PNG|i"_s, u"dup|PNG|im"_s, u"dup|PNG|"_s};
    }
    void indexedFilter()
    {
        QFETCH(QStringList, steps);
        QList<PhotoItem> all;
        for (const char *name : {"Img_0001.jpg", "IMG_1.JPG", "a.jpg", "img_2.jpg", "beach.PNG", "x.jpeg", "scan.tif", "phone.heif",
                                 "my img.png", "\xc3\x89T\xc3\x89.webp", "bad\xff" "name.gif", "\xc4\xb0stanbul.jpg", "\xc4\xb0MG.Png",
                                 "stra\xc3\x9f" "e.bmp", "STRASSE.bmp", "\xf0\x9f\x98\x80 smile.jpg", "x.t\xc4\xb0" "f", "noext", "", "ABCDEFGHIJKLMNOPQRSTUVWXYZ@[abcdefghijklmnopqrstuvwxyz.bmp"})
            all << photo(QString::number(all.size()), name);
        const PhotoIdSet dupIds{all[1].id(), all[2].id(), all[8].id(), all[11].id(), all[12].id()};
        const QList<qint32> dups{1, 2, 8, 11, 12};
        const PhotoIndex index = PhotoIndex::build(all);
        FilterResult previous;
        for (const QString &step : steps) {
            const QStringList part = step.split(u'|');
            const FilterChoice choice{part[0] == u"dup" ? ViewMode::duplicates : ViewMode::all,
                                      *FileTypeFilters::fromRawValue(part[1]),
                                      searchKey(QString(part[2]).replace(u"<high surrogate>"_s, QChar(0xd83d)))};
            QList<qint32> expected;
            for (const PhotoItem &p : filterPhotos(all, dupIds, choice))
                expected << qint32(all.indexOf(p));
            const FilterResult narrowed = filterPositions(index, dups, choice, previous);
            QCOMPARE(narrowed.positions, expected);
            QCOMPARE(filterPositions(index, dups, choice).positions, expected);
            // A result of another list, or of other duplicates, is not narrowed.
            const FilterResult shifted = filterPositions(PhotoIndex::build(all.mid(1)), dups, previous.choice);
            QCOMPARE(filterPositions(index, dups, choice, shifted).positions, expected);
            QCOMPARE(filterPositions(index, dups, choice, filterPositions(index, {}, previous.choice)).positions, expected);
            // Positions from elsewhere that lie past the index are no photos.
            if (choice.viewMode == ViewMode::duplicates)
                QCOMPARE(filterPositions(index, dups + QList<qint32>{qint32(all.size())}, choice).positions, expected);
            previous = narrowed;
        }
    }

    // A filter made on a worker reuses its base for the same list (the index also when only
    // the duplicate ids changed), and the list itself when every photo passes.
    void preparedFilter()
    {
        const QList<PhotoItem> all = numbered(12), later = all.mid(1);
        const PreparedFilter plain = prepareFilter({}, all, {}, {ViewMode::all, FileTypeFilter::all, u"img_1"_s});
        const PreparedFilter duplicates = prepareFilter(plain.base, all, {all[1].id(), all[10].id()}, {ViewMode::duplicates, FileTypeFilter::all, u"img_1"_s});
        const PreparedFilter shifted = prepareFilter(duplicates.base, later, {}, {ViewMode::all, FileTypeFilter::all, u"img_2"_s});
        QVERIFY(duplicates.base->index == plain.base->index && plain.photos == (QList{all[1], all[10], all[11]}));
        QVERIFY(duplicates.photos == (QList{all[1], all[10]}) && shifted.photos == QList{all[2]});
        QVERIFY(prepareFilter(shifted.base, later, {}, {ViewMode::all, FileTypeFilter::jpeg, {}}).photos.isSharedWith(later));
        const QList<PhotoItem> two{photo(u"a"_s, "a.jpg"), photo(u"b"_s, "b.png")};
        QCOMPARE(prepareFilter({}, two, {}, {ViewMode::all, FileTypeFilter::png, {}}).photos, two.mid(1));
    }

    void paging()
    {
        // Load More from a filter change of 250: 100, 200 (offers 50), 250 (all loaded).
        qsizetype showing = Paging::afterFilter(250);
        const QList<PhotoItem> filtered = numbered(250);
        QStringList steps; // page length, the line and the button after each Load More
        for (int i = 0; i < 3; ++i, showing = Paging::afterLoadMore(showing, filtered.size())) {
            const qsizetype shown = Paging::displayedPage(filtered, showing).size();
            const Paging::LoadMoreControls c = Paging::loadMoreControls(shown, filtered.size());
            steps << u"%1 %2 %3 %4"_s.arg(shown).arg(c.showingText, c.buttonTitle).arg(c.buttonEnabled);
        }
        QCOMPARE(steps, (QStringList{u"100 Showing 100 of 250 photos Load 100 More 1"_s, u"200 Showing 200 of 250 photos Load 50 More 1"_s,
                                     u"250 Showing 250 of 250 photos All Loaded 0"_s}));
        QCOMPARE(showing, 250);

        for (const qsizetype n : {0, 100, 101}) {
            const qsizetype shown = Paging::afterFilter(n);
            QCOMPARE(shown, std::min<qsizetype>(n, 100));
            QCOMPARE(Paging::loadMoreControls(shown, n).buttonTitle, n == 101 ? u"Load 1 More"_s : u"All Loaded"_s);
        }
        QCOMPARE(Paging::loadMoreControls(0, 0).showingText, u"Showing 0 of 0 photos"_s);

        // After removing 10 of 200 shown photos of 250, the page stays 200 long.
        QCOMPARE((QList<qsizetype>{Paging::afterRemoval(200, 240), Paging::afterRemoval(200, 150)}), (QList<qsizetype>{200, 150}));
        QCOMPARE(Paging::loadMoreControls(200, 240).buttonTitle, u"Load 40 More"_s);

    }

    void statistics()
    {
        LibraryState s;
        QCOMPARE(statisticsLine(s), u"0 photos | Zero KB"_s);
        s.viewMode = ViewMode::duplicates;
        QCOMPARE(statisticsLine(s), u"0 duplicates in 0 groups | Zero KB"_s);
        s.viewMode = ViewMode::all;

        s.allPhotos = numbered(101, 1'000'000);
        s.filteredPhotos = s.allPhotos.first(100);
        QCOMPARE(statisticsLine(s), u"100 photos | 100 MB"_s);
        s.filteredPhotos = s.allPhotos;
        s.displayedPhotos = s.allPhotos.first(100);
        QCOMPARE(statisticsLine(s), u"Showing 100 of 101 photos | 101 MB"_s);

        // Duplicates: members passing the filters, against every group.
        s.viewMode = ViewMode::duplicates;
        s.duplicateGroups = {DuplicateGroup{u"h1"_s, s.allPhotos.mid(0, 2)}, DuplicateGroup{u"h2"_s, s.allPhotos.mid(2, 2)}};
        s.filteredPhotos = s.allPhotos.mid(0, 3);
        QCOMPARE(statisticsLine(s), u"3 duplicates in 2 groups | 3 MB"_s);

        // A selection counts whether shown or not, and ids of vanished photos count nothing.
        s.selectedPhotoIds = testIds({u"0"_s, u"100"_s, u"gone"_s});
        QCOMPARE(statisticsLine(s), u"3 selected (2 MB) | 3 total"_s);
    }
};

QTEST_GUILESS_MAIN(TestBrowse)
#include "test_browse.moc"
