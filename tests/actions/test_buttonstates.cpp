#include "actions/ButtonStates.h"

#include <QTest>

Q_DECLARE_METATYPE(ButtonStateInputs)

using namespace Qt::StringLiterals;
using In = ButtonStateInputs;
using Out = QList<bool>;
using S = ScanState;

// The whole rule, state by state: what is offered while busy, what each command needs
// before it is offered when idle, and that only an idle rule puts back the pause title.
class TestButtonStates : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<ButtonStateInputs>("in");
        QTest::addColumn<QList<bool>>("expected"); // scan folder full pause stop selAll deselAll keep actions master title
        QTest::newRow("idle, nothing chosen") << In{S::idle, 0, 0, 0, 0} << Out{0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1};
        QTest::newRow("idle, photos shown") << In{S::idle, 5, 0, 0, 1} << Out{1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 1};
        QTest::newRow("idle, selection and groups") << In{S::idle, 5, 2, 1, 1} << Out{1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 1};
        QTest::newRow("groups but nothing shown") << In{S::idle, 0, 0, 3, 0} << Out{0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 1};
        QTest::newRow("scanning") << In{S::scanning, 5, 2, 1, 1} << Out{0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0};
        QTest::newRow("paused") << In{S::paused, 5, 2, 1, 1} << Out{0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0};
        QTest::newRow("stopping") << In{S::stopping, 5, 2, 1, 1} << Out{0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    }
    void rule()
    {
        QFETCH(ButtonStateInputs, in);
        const ButtonStates s = buttonStatesFor(in);
        QTEST((QList<bool>{s.scan, s.folder, s.fullScan, s.pause, s.stop, s.selectAll, s.deselectAll, s.keepOriginals,
                           s.fileActions, s.masterStopVisible, s.pauseTitle == u"Pause"_s}),
              "expected");
    }
};

QTEST_GUILESS_MAIN(TestButtonStates)
#include "test_buttonstates.moc"
