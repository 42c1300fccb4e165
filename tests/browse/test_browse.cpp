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
    // Each row is typed in order. A step is "view|type title|field text" ("all", "dup" or "sim", a
    // filter's title) or the field text alone (every photo of any type), and may end in "=" and
    // the photos it keeps. The index, fresh and narrowed by the step before, keeps exactly what
    // filterPhotos keeps; so does a filter made on a worker, which reuses the index of its base's
    // list (not another list's) and returns the list itself when every photo passes.
    void filters_data()
    {
        QTest::addColumn<QStringList>("steps");
        // Types: lower-cased type against the filter's extensions, aliases included.
        QTest::newRow("types") << QStringList{u"all|JPEG|=abcdflp"_s, u"all|PNG|=eim"_s, u"all|TIFF|=g"_s, u"all|HEIC|=h"_s, u"=abcdefghijklmnopqrst"_s};
        // Search: case-blind on both sides for every letter (and nothing beside them),
        // untrimmed, names only (every path has "/p/"), never across two names.
        QTest::newRow("extend, to a whole name") << QStringList{u"i"_s, u"Im"_s, u"IMG=abdi"_s, u"IMG_"_s, u"img_1"_s, u"img_1.jpg=b"_s};
        QTest::newRow("shorten") << QStringList{u"img_"_s, u"img"_s, QString()};
        QTest::newRow("every letter") << QStringList{u"ABCDEFGHIJKLMNOPQRSTUVWXYZ@[=t"_s, u"`{="_s, u"all|BMP|`{="_s, u"all|BMP|z.bmp=t"_s};
        QTest::newRow("paste, across names") << QStringList{u"beach=e"_s, u"strasse"_s, u".jpg"_s, u"jpgimg="_s, u" img=i"_s, u"p/="_s};
        // Unicode-aware, against the name as shown, decoded.
        QTest::newRow("non-ASCII") << QStringList{u"\u00e9=j"_s, u"\u00c9T\u00c9=j"_s, u"\u0130"_s, u"i\u0307s"_s, u"\ufffdn"_s, u"\ufffdname=k"_s,
                                                  u"<high surrogate>"_s, u"\U0001f600 "_s};
        QTest::newRow("type under a term") << QStringList{u"all|JPEG|i"_s, u"all|PNG|im"_s, u"all|TIFF|"_s, u"im"_s};
        // Duplicates mode keeps every member; the similar view lists its groups' members group by
        // group, best first; filters combine.
        QTest::newRow("view under a term") << QStringList{u"dup|All Types|=bcilm"_s, u"dup|All Types|i"_s, u"im"_s, u"dup|PNG|i"_s, u"dup|PNG|im"_s,
                                                          u"dup|PNG|IMG=i"_s, u"dup|PNG|"_s, u"all|PNG|beach=e"_s};
        QTest::newRow("similar view") << QStringList{u"sim|All Types|=mbeic"_s, u"sim|All Types|i=mbi"_s, u"sim|All Types|im=bi"_s, u"sim|PNG|im=i"_s,
                                                     u"sim|PNG|=mei"_s, u"dup|PNG|=im"_s, u"sim|JPEG|=bc"_s};
    }
    void filters()
    {
        QFETCH(QStringList, steps);
        QList<PhotoItem> all;
        for (const char *name : {"Img_0001.jpg", "IMG_1.JPG", "a.jpg", "img_2.jpg", "beach.PNG", "x.jpeg", "scan.tif", "phone.heif",
                                 "my img.png", "\xc3\x89T\xc3\x89.webp", "bad\xff" "name.gif", "\xc4\xb0stanbul.jpg", "\xc4\xb0MG.Png",
                                 "stra\xc3\x9f" "e.bmp", "STRASSE.bmp", "\xf0\x9f\x98\x80 smile.jpg", "x.t\xc4\xb0" "f", "noext", "",
                                 "ABCDEFGHIJKLMNOPQRSTUVWXYZ@[abcdefghijklmnopqrstuvwxyz.bmp"})
            all << photo(QChar(char16_t(u'a' + all.size())), name);
        const PhotoIdSet dupIds = testIds({u"b"_s, u"c"_s, u"i"_s, u"l"_s, u"m"_s});
        const QList<qint32> dups{1, 2, 8, 11, 12}, sims{12, 1, 4, 8, 2};
        const QList<SimilarGroup> groups{{{all[12], all[1]}}, {{all[4], all[8], all[2]}}};
        const PhotoIndex index = PhotoIndex::build(all);
        QVERIFY(filterPhotos(all, {}, {ViewMode::duplicates, FileTypeFilter::all, {}}).isEmpty()); // before a pass
        // Bases of the list: of no members; of the duplicates (not of the similar groups).
        const auto other = prepareFilter({}, all.mid(1), {}, {}).base, base = prepareFilter(other, all, dupIds, {}).base, bare = prepareFilter(other, all, {}, {}).base;
        QVERIFY(base->index != other->index && bare->index != base->index);
        // Every photo in a group still lists them in group order, not as the library's list.
        const QList<PhotoItem> pair{all.at(0), all.at(1)};
        QCOMPARE(prepareFilter({}, pair, {}, {ViewMode::similar, FileTypeFilter::all, {}}, {}, {{{pair[1], pair[0]}}}).photos, (QList{pair[1], pair[0]}));
        FilterResult previous;
        for (const QString &step : steps) {
            const qsizetype kept = step.lastIndexOf(u'=');
            const QStringList part = step.left(kept).replace(u"<high surrogate>"_s, QChar(0xd83d)).split(u'|');
            const FilterChoice choice{part[0] == u"dup" ? ViewMode::duplicates : part[0] == u"sim" ? ViewMode::similar : ViewMode::all,
                                      part.size() > 1 ? *FileTypeFilters::fromRawValue(part[1]) : FileTypeFilter::all, searchKey(part.last())};
            const QList<qint32> &view = choice.viewMode == ViewMode::similar ? sims : dups;
            const QList<PhotoItem> filtered = filterPhotos(all, dupIds, choice, groups);
            const auto &from = choice.viewMode == ViewMode::similar ? base : bare;
            const PreparedFilter prepared = prepareFilter(from, all, dupIds, choice, {}, groups);
            QVERIFY(prepared.base->index == from->index && prepared.photos == filtered && prepared.photos.isSharedWith(all) == (filtered.size() == all.size()));
            QList<qint32> expected;
            QString names;
            for (const PhotoItem &p : filtered) {
                expected << qint32(all.indexOf(p));
                names += testName(p.id());
            }
            QCOMPARE(names, kept < 0 ? names : step.mid(kept + 1));
            const FilterResult narrowed = filterPositions(index, view, choice, previous);
            QCOMPARE(narrowed.positions, expected);
            QCOMPARE(filterPositions(index, view, choice).positions, expected);
            // A result of another list, or of other members, is not narrowed.
            const FilterResult shifted = filterPositions(PhotoIndex::build(all.mid(1)), view, previous.choice);
            QCOMPARE(filterPositions(index, view, choice, shifted).positions, expected);
            QCOMPARE(filterPositions(index, view, choice, filterPositions(index, {}, previous.choice)).positions, expected);
            // Positions from elsewhere that lie past the index are no photos.
            if (choice.viewMode != ViewMode::all)
                QCOMPARE(filterPositions(index, view + QList<qint32>{qint32(all.size())}, choice).positions, expected);
            previous = narrowed;
        }
    }

    void paging()
    {
        const auto line = [](qsizetype shown, qsizetype total) { // page length, the line and the button
            const Paging::LoadMoreControls c = Paging::loadMoreControls(shown, total);
            return u"%1 %2 %3 %4"_s.arg(shown).arg(c.showingText, c.buttonTitle).arg(c.buttonEnabled);
        };
        // Load More from a filter change of 250: 100, 200 (offers 50), 250 (all loaded), 250.
        const QList<PhotoItem> filtered = numbered(250);
        QStringList steps;
        for (qsizetype showing = Paging::afterFilter(250); steps.size() < 4; showing = Paging::afterLoadMore(showing, filtered.size()))
            steps << line(Paging::displayedPage(filtered, showing).size(), filtered.size());
        // After removing 10 of 200 shown photos of 250, the page stays 200 long; a short list is shown whole.
        steps << line(Paging::afterRemoval(200, 240), 240) << line(Paging::afterRemoval(200, 150), 150) << line(Paging::afterFilter(40), 40);
        QCOMPARE(steps, (QStringList{u"100 Showing 100 of 250 photos Load 100 More 1"_s, u"200 Showing 200 of 250 photos Load 50 More 1"_s,
                                     u"250 Showing 250 of 250 photos All Loaded 0"_s, u"250 Showing 250 of 250 photos All Loaded 0"_s,
                                     u"200 Showing 200 of 240 photos Load 40 More 1"_s, u"150 Showing 150 of 150 photos All Loaded 0"_s,
                                     u"40 Showing 40 of 40 photos All Loaded 0"_s}));
    }

    void statistics()
    {
        LibraryState s;
        s.allPhotos = numbered(101, 1'000'000);
        s.filteredPhotos = s.allPhotos.first(100);
        QCOMPARE(statisticsLine(s), u"100 photos | 100 MB"_s);
        s.filteredPhotos = s.allPhotos;
        s.displayedPhotos = s.allPhotos.first(100);
        QCOMPARE(statisticsLine(s), u"Showing 100 of 101 photos | 101 MB"_s);

        // Views of groups: members passing the filters, against every group of the view.
        s.viewMode = ViewMode::duplicates;
        s.duplicateGroups = {DuplicateGroup{u"h1"_s, s.allPhotos.mid(0, 2)}, DuplicateGroup{u"h2"_s, s.allPhotos.mid(2, 2)}};
        s.similarGroups = {{s.allPhotos.mid(0, 2)}, {s.allPhotos.mid(2, 2)}, {s.allPhotos.mid(4, 2)}};
        s.filteredPhotos = s.allPhotos.mid(0, 3);
        QCOMPARE(statisticsLine(s), u"3 duplicates in 2 groups | 3 MB"_s);
        s.viewMode = ViewMode::similar;
        QCOMPARE(statisticsLine(s), u"3 similar photos in 3 groups | 3 MB"_s);

        // A selection counts whether shown or not, and ids of vanished photos count nothing.
        s.selectedPhotoIds = testIds({u"0"_s, u"100"_s, u"gone"_s});
        QCOMPARE(statisticsLine(s), u"3 selected (2 MB) | 3 total"_s);
    }
};

QTEST_GUILESS_MAIN(TestBrowse)
#include "test_browse.moc"
