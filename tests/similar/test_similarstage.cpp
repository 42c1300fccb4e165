// The similar pass as a scan runs it: best copy first, signatures kept between runs and
// taken again only for files that changed, and nothing applied once stopped.
#include "Scenes.h"
#include "TestTree.h"
#include "cache/LibraryCache.h"
#include "platform/PosixFileSystem.h"
#include "similar/PhotoSignature.h"
#include "similar/SimilarStage.h"

#include <QTest>

using namespace Qt::StringLiterals;
using B = QByteArray;

class TestSimilarStage : public QObject
{
    Q_OBJECT

    TestTree t;
    LibraryState library;
    std::atomic<int> signs = 0;
    const SimilarStage::Signer counting = [this](const FilePath &path, QSize *pixels) {
        ++signs;
        return signatureOfFile(path, pixels);
    };

    // One run over the library: each group's names, best first, then "|" and the log.
    QStringList run(const LibraryCache *cache, bool stop = false, const std::function<void()> &meanwhile = {})
    {
        signs = 0;
        const std::atomic<bool> stopping = stop;
        const StageApply apply = SimilarStage(PosixFileSystem(), cache, counting).prepare(library)({stopping, [](const QString &, double) {}});
        if (meanwhile)
            meanwhile();
        const StageOutcome outcome = apply(library);
        QStringList lines, best;
        for (const SimilarGroup &group : std::as_const(library.similarGroups)) {
            QStringList names;
            for (const PhotoItem &photo : group.photos)
                names << QString::fromUtf8(photo.name());
            lines << names.join(u' ');
            best << QString::number(library.bestPhotoIds.contains(group.photos.first().id()));
        }
        return lines << best.join(u"") << u"|"_s << outcome.logLines << outcome.status;
    }

private slots:
    void initTestCase()
    {
        // Oldest first; "copy" is big.jpg's byte-identical twin, "twin"s only each other's.
        const QList<std::pair<B, B>> files = {
            {"big.jpg", encoded(scene(1), "JPG")},         {"small.jpg", encoded(scene(1).scaled(240, 160), "JPG")},
            {"big.png", encoded(scene(1), "PNG")},         {"copy.jpg", encoded(scene(1), "JPG")},
            {"other.jpg", encoded(scene(2), "JPG")},       {"twin1.jpg", encoded(scene(3), "JPG")},
            {"twin2.jpg", encoded(scene(3), "JPG")},       {"broken.jpg", B(5000, 'x')},
        };
        Timestamp date{};
        for (const auto &[name, bytes] : files) {
            t.make({name}, bytes);
            date += std::chrono::hours(1);
            PhotoItem photo(makePhotoId(), t.path(name), name, bytes.size(), date, date, u"JPEG"_s);
            // The duplicate pass's digests, for the groups it alone shows.
            if (name.startsWith("twin"))
                photo.setDigest(ContentDigest{3});
            library.allPhotos << photo;
        }
    }

    void firstAndSecondRun()
    {
        const LibraryCache cache(t.path("cache"));
        const QStringList groups{u"big.png big.jpg copy.jpg small.jpg"_s, u"1"_s, u"|"_s};
        const auto logged = [&](int reused) {
            return groups + QStringList{u"Found 1 similar groups (4 photos)"_s, u"Reused %1 of 8 signatures"_s.arg(reused), u"Found 1 similar groups"_s};
        };
        QCOMPARE(run(&cache), logged(0));
        QCOMPARE(signs.load(), 8);
        // Nothing changed: nothing decoded, the unreadable file included.
        QCOMPARE(run(&cache), logged(8));
        QCOMPARE(signs.load(), 0);
        // A changed file is signed again, and leaves the group it no longer belongs to.
        t.make({"small.jpg"}, encoded(scene(4).scaled(240, 160), "JPG"));
        QCOMPARE(run(&cache).first(), u"big.png big.jpg copy.jpg"_s);
        QCOMPARE(signs.load(), 1);
        t.make({"small.jpg"}, encoded(scene(1).scaled(240, 160), "JPG"));
        // A cache that cannot be used changes no group.
        t.make({"nocache"}, "a file where the folder should be");
        const LibraryCache broken(t.path("nocache"));
        QCOMPARE(run(&broken).mid(0, 3), groups);
        QCOMPARE(signs.load(), 8);
    }

    void stoppedOrChangedMeanwhile()
    {
        const QStringList before = run(nullptr);
        // A stopped pass leaves the groups it found before.
        QCOMPARE(run(nullptr, true).mid(0, 3), before.mid(0, 3));
        QCOMPARE(signs.load(), 0);
        // The best copy left the library while the pass ran: the next is the best.
        QCOMPARE(run(nullptr, false, [&] { library.allPhotos.removeAt(2); }).mid(0, 2),
                 (QStringList{u"big.jpg copy.jpg small.jpg"_s, u"1"_s}));
    }
};

QTEST_GUILESS_MAIN(TestSimilarStage)
#include "test_similarstage.moc"
