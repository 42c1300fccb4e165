// Starts the real program on its own Xvfb display and looks at the window it shows. Each
// wait is bounded and names what did not come, and the children die with the test, so a
// display or program that never answers fails the test instead of holding it.
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

class TestLaunch : public QObject
{
    Q_OBJECT

    QTemporaryDir runtime;
    QString display;

    bool start(QProcess &p, const QString &program, const QStringList &arguments) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        // libxkbcommon-x11 hands strndup unterminated buffers, which is legal but trips
        // AddressSanitizer's strict string checks.
        env.insert(u"ASAN_OPTIONS"_s, env.value(u"ASAN_OPTIONS"_s).replace(u"strict_string_checks=1"_s, u"strict_string_checks=0"_s));
        p.setProcessEnvironment(env);
        // Killed with the test however it ends: an orphan would keep its output open.
        p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        p.start(program, arguments);
        return p.waitForStarted(10'000);
    }

    // What a helper printed, or "(timed out)" after 10 s.
    QString run(const QString &program, const QStringList &arguments) const
    {
        QProcess p;
        return start(p, program, arguments) && p.waitForFinished(10'000) ? QString::fromLocal8Bit(p.readAllStandardOutput())
                                                                         : u"(timed out)"_s;
    }

private slots:
    void showsTheMainWindow()
    {
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess xvfb, app;
        const auto stop = qScopeGuard([&] { for (QProcess *p : {&app, &xvfb}) p->kill(), p->waitForFinished(); });
        // Xvfb picks a free display itself and names it once it serves it.
        QVERIFY2(start(xvfb, u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1600x1200x24"_s, u"-nolisten"_s, u"tcp"_s}),
                 "Xvfb not found");
        const bool named = QTest::qWaitFor([&] { return xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning; }, 10'000);
        display = u':' + QString::fromLatin1(xvfb.readLine().trimmed());
        QVERIFY2(display.size() > 1, qPrintable((named ? u"Xvfb ended: "_s : u"Xvfb named no display in 10 s: "_s)
                                                 + QString::fromLocal8Bit(xvfb.readAllStandardError())));
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        QVERIFY2(start(app, QStringLiteral(LUMISORT_EXE_PATH), {}), "the program did not start");
        // The window "Lumisort" (the one with a class, not Qt's hidden leader window):
        // 1200 wide, 850 high below its menu bar.
        static const QRegularExpression line(u"\"Lumisort\": \\(\"[^\"]*\" \"[^\"]*\"\\)\\s+(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)"_s);
        QString tree;
        QRegularExpressionMatch found;
        (void)QTest::qWaitFor([&] { return (found = line.match(tree = run(u"xwininfo"_s, {u"-root"_s, u"-tree"_s}))).hasMatch() || app.state() == QProcess::NotRunning; }, 20'000);
        QVERIFY2(found.hasMatch(), qPrintable((app.state() == QProcess::NotRunning ? u"The program ended; "_s : u"No window in 20 s; "_s) + tree));
        QCOMPARE(found.captured(1).toInt(), 1200);
        const int menuBar = found.captured(2).toInt() - 850;
        QVERIFY2(menuBar >= 0 && menuBar < 60, qPrintable(found.captured(0)));

        // The header's gradient: violet at the left edge, blue at the right; the colours at x + 3, 600 and 1196.
        const int x = found.captured(3).toInt(), y = found.captured(4).toInt() + menuBar + 80;
        const QStringList grab{u"--grab"_s, QString::number(y), QString::number(x + 3), QString::number(x + 600), QString::number(x + 1196)};
        QStringList shown;
        const auto near = [&](int i, int r, int g, int b) {
            const QColor c = QColor::fromString(shown.value(i));
            return c.isValid() && std::abs(c.red() - r) < 12 && std::abs(c.green() - g) < 12 && std::abs(c.blue() - b) < 12;
        };
        (void)QTest::qWaitFor([&] { return shown = run(QCoreApplication::applicationFilePath(), grab).split(u' '), near(0, 102, 51, 204); }, 10'000);
        QVERIFY2(near(0, 102, 51, 204) && near(1, 77, 77, 217) && near(2, 51, 102, 229), qPrintable(shown.join(u' ')));
    }
};

int main(int argc, char **argv)
{
    if (argc > 3 && qstrcmp(argv[1], "--grab") == 0) { // on the display: the colours at (x, y) for each x
        QGuiApplication app(argc, argv);
        const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        for (int i = 3; i < argc; ++i)
            std::printf("%s ", qPrintable(image.pixelColor(std::atoi(argv[i]), std::atoi(argv[2])).name()));
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestLaunch test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_launch.moc"
