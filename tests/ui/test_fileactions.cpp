#include "TestTree.h"
#include "UiFakes.h"
#include "ui/ColoredButtonView.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"
#include "ui/PreviewWindowController.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

Timestamp day(int n)
{
    return Timestamp(std::chrono::hours(24 * n));
}

bool exists(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path, &st) == 0;
}

} // namespace

// Selection, the preview, copy, move and delete as the window runs them.
class TestFileActions : public QObject
{
    Q_OBJECT

    std::unique_ptr<Harness> h;
    std::unique_ptr<MainViewController> vc;
    std::unique_ptr<TestTree> tree;

    LibraryState &lib() { return vc->library(); }

    // `count` photos named p0.jpg…; with `onDisk` they are real files in the tree.
    void makeLibrary(int count, bool onDisk = false)
    {
        for (int i = 0; i < count; ++i) {
            const QByteArray name = "p" + QByteArray::number(i) + ".jpg";
            const QByteArray path = onDisk ? tree->make({"src/" + name}, name) : "/nowhere/" + name;
            lib().allPhotos << PhotoItem(QString::number(i), path, name, 1000, day(i), day(i), u"jpg"_s);
        }
        vc->applyFilters();
    }
    void group(std::initializer_list<int> members)
    {
        DuplicateGroup g;
        for (int i : members) {
            g.photos << lib().allPhotos[i];
            lib().duplicatePhotoIds.insert(lib().allPhotos[i].id());
        }
        lib().duplicateGroups << g;
    }
    QStringList selected()
    {
        QStringList ids(lib().selectedPhotoIds.cbegin(), lib().selectedPhotoIds.cend());
        std::sort(ids.begin(), ids.end(), [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
        return ids;
    }
    QStringList libraryIds()
    {
        QStringList ids;
        for (const PhotoItem &p : std::as_const(lib().allPhotos))
            ids << p.id();
        return ids;
    }
    // Runs a file operation to its end (its sound).
    void finish(const std::function<void()> &start)
    {
        const qsizetype sounds = h->sounds.played.size();
        start();
        QVERIFY(lib().scanState != ScanState::idle);
        QTRY_VERIFY_WITH_TIMEOUT(h->sounds.played.size() > sounds, 10000);
        QCOMPARE(h->sounds.played.last(), SystemSound::glass);
        QCOMPARE(lib().scanState, ScanState::idle);
        QCoreApplication::processEvents(); // the posted button rule
    }

private slots:
    void init()
    {
        h = std::make_unique<Harness>();
        vc = std::make_unique<MainViewController>(h->services());
        vc->show();
        tree = std::make_unique<TestTree>();
    }
    void cleanup()
    {
        vc.reset();
        h.reset();
        tree.reset();
    }

    void bulkSelection()
    {
        makeLibrary(250);
        vc->selectAllClicked();
        QCOMPARE(lib().selectedPhotoIds.size(), 100); // the page only
        QCOMPARE(h->logLines.last().section(u"] "_s, 1), u"Selected all 100 photos"_s);
        QCOMPARE(vc->gridModel()->index(99, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        vc->loadMoreClicked();
        QTRY_COMPARE(lib().displayedPhotos.size(), 200);
        vc->selectAllClicked();
        QCOMPARE(lib().selectedPhotoIds.size(), 200);
        QTRY_VERIFY(vc->deselectAllButton->isEnabled() && vc->copyButton->isEnabled());

        vc->deselectAllClicked();
        QVERIFY(lib().selectedPhotoIds.isEmpty());
        QCOMPARE(vc->gridModel()->index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
        QTRY_VERIFY(!vc->deselectAllButton->isEnabled() && !vc->deleteButton->isEnabled());
    }

    void keepOriginals()
    {
        makeLibrary(8);
        // Groups of 2 and 3; 5 and 6 share one creation date with 7, so the first stays.
        lib().allPhotos[5] = PhotoItem(u"5"_s, "/nowhere/p5.jpg", "p5.jpg", 1000, day(9), day(9), u"jpg"_s);
        lib().allPhotos[6] = PhotoItem(u"6"_s, "/nowhere/p6.jpg", "p6.jpg", 1000, day(9), day(9), u"jpg"_s);
        lib().allPhotos[7] = PhotoItem(u"7"_s, "/nowhere/p7.jpg", "p7.jpg", 1000, day(9), day(9), u"jpg"_s);
        group({3, 1});
        group({5, 6, 7});
        lib().selectedPhotoIds = {u"0"_s}; // replaced, though it is in no group
        vc->keepOriginalsClicked();
        QCOMPARE(selected(), (QStringList{u"3"_s, u"6"_s, u"7"_s}));
        QCOMPARE(h->logLines.last().section(u"] "_s, 1), u"Selected 3 duplicates (keeping originals)"_s);

        // Unticking one card's box removes just that photo; the statistics follow at once.
        const QString before = vc->statsLabel->text();
        vc->gridModel()->setData(vc->gridModel()->index(3, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(selected(), (QStringList{u"6"_s, u"7"_s}));
        QVERIFY(vc->statsLabel->text() != before);
    }

    void cardClickOpensPreview()
    {
        makeLibrary(3);
        const QRect card = vc->collectionView->visualRect(vc->gridModel()->index(1, 0));
        QTest::mouseClick(vc->collectionView->viewport(), Qt::LeftButton, {}, card.center());
        QTRY_VERIFY(vc->previewController() && vc->previewController()->isVisible());
        QCOMPARE(vc->previewController()->currentIndex(), 1);
        QCOMPARE(vc->previewController()->allPhotos().size(), 3);
        QVERIFY(lib().selectedPhotoIds.isEmpty());
        QVERIFY(vc->collectionView->selectionModel()->selectedIndexes().isEmpty());
    }

    void copyAndMove_data()
    {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("oneVanished");
        QTest::addColumn<QString>("summary");
        QTest::newRow("copy") << false << false << u"Copied 3 photos"_s;
        QTest::newRow("copy, one gone") << false << true << u"Copied 2 photos (1 errors)"_s;
        QTest::newRow("move") << true << false << u"Moved 3 photos - loaded more to replace"_s;
        QTest::newRow("move, one gone") << true << true << u"Moved 2 photos (1 errors) - loaded more to replace"_s;
    }
    void copyAndMove()
    {
        QFETCH(bool, move);
        QFETCH(bool, oneVanished);
        QFETCH(QString, summary);
        makeLibrary(4, true);
        group({0, 1});
        const QByteArray dest = tree->path("out/new");
        tree->make({"out/p0.jpg"}, "taken");
        lib().selectedPhotoIds = {u"0"_s, u"1"_s, u"2"_s};
        if (oneVanished)
            QCOMPARE(::unlink(lib().allPhotos[2].path()), 0);

        h->dialogs.folderAnswers.push_back({}); // cancelled: nothing happens
        move ? vc->moveClicked() : vc->copyClicked();
        QCOMPARE(lib().scanState, ScanState::idle);
        QCOMPARE(h->dialogs.folderRequests.last().startDirectory, lib().destinationPath);
        QCOMPARE(h->dialogs.folderRequests.last().prompt, move ? u"Move Here"_s : u"Copy Here"_s);

        h->dialogs.folderAnswers.push_back({tree->path("out")});
        finish([&] {
            move ? vc->moveClicked() : vc->copyClicked();
            if (move)
                vc->stopClicked(); // the groups are pruned all the same
        });
        QCOMPARE(vc->statusLabel->text(), summary);
        QCOMPARE(vc->progressBar->value(), 100); // every processed file counts, failed ones too
        QCOMPARE(vc->progressLabel->text(), u"%1 %2/3"_s.arg(move ? u"Moved"_s : u"Copied"_s).arg(oneVanished ? 2 : 3));
        // The taken name is never overwritten.
        QFile taken(QFile::decodeName(tree->path("out/p0.jpg")));
        QVERIFY(taken.open(QIODevice::ReadOnly));
        QCOMPARE(taken.readAll(), QByteArray("taken"));
        QVERIFY(exists(tree->path("out/p0_1.jpg")));
        QCOMPARE(exists(tree->path("src/p0.jpg")), !move);
        QVERIFY(!exists(dest));
        if (oneVanished)
            QVERIFY(h->logLines.last().contains(u"Error %1 p2.jpg: "_s.arg(move ? u"moving"_s : u"copying"_s)));

        if (!move) {
            QCOMPARE(lib().selectedPhotoIds.size(), 3); // a copy leaves the library as it was
            QCOMPARE(lib().allPhotos.size(), 4);
            return;
        }
        // Only photos whose file moved leave; the one that failed stays in the library.
        QCOMPARE(libraryIds(), oneVanished ? (QStringList{u"2"_s, u"3"_s}) : (QStringList{u"3"_s}));
        QVERIFY(lib().selectedPhotoIds.isEmpty());
        QVERIFY(lib().duplicateGroups.isEmpty() && lib().duplicatePhotoIds.isEmpty());
        QCOMPARE(lib().displayedPhotos.size(), libraryIds().size());
    }

    void deleteToTrash()
    {
        makeLibrary(4, true);
        group({0, 1, 2});
        lib().selectedPhotoIds = {u"0"_s, u"1"_s};

        h->dialogs.alertAnswers.push_back(1); // Cancel
        vc->deleteClicked();
        QCOMPARE(h->dialogs.alerts.last().message, u"Delete 2 photo(s)?"_s);
        QCOMPARE(h->dialogs.alerts.last().informativeText, u"They will be moved to Trash."_s);
        QCOMPARE(h->dialogs.alerts.last().buttons, (QStringList{u"Move to Trash"_s, u"Cancel"_s}));
        QVERIFY(exists(lib().allPhotos[0].path()));

        // One of the two vanished: it is an error, and is reported as one.
        QCOMPARE(::unlink(lib().allPhotos[1].path()), 0);
        h->dialogs.alertAnswers.push_back(0);
        finish([&] { vc->deleteClicked(); });
        QCOMPARE(vc->statusLabel->text(), u"Deleted 1 photos (1 errors) - loaded more to replace"_s);
        QCOMPARE(vc->progressLabel->text(), u"Deleted 1/2"_s);
        QCOMPARE(vc->progressBar->value(), 50);
        QVERIFY(!exists(tree->path("src/p0.jpg")));
        QVERIFY(exists(qgetenv("XDG_DATA_HOME") + "/Trash/files/p0.jpg"));
        QCOMPARE(libraryIds(), (QStringList{u"1"_s, u"2"_s, u"3"_s}));
        QVERIFY(lib().selectedPhotoIds.isEmpty());
        // The group lost a member but still has two.
        QCOMPARE(lib().duplicateGroups.size(), 1);
        QCOMPARE(lib().duplicateGroups[0].photos.size(), 2);
        QTRY_VERIFY(!vc->deleteButton->isEnabled());

        h->dialogs.alertAnswers.clear();
        vc->deleteClicked(); // nothing selected: no alert
        QCOMPARE(h->dialogs.alerts.size(), 2);
    }
};

QTEST_MAIN(TestFileActions)
#include "test_fileactions.moc"
