// Starts the real program on its own Xvfb display and looks at the window it shows.
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

class TestLaunch : public QObject
{
    Q_OBJECT

    QProcess xvfb, app;
    QTemporaryDir runtime;
    QString display;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        // libxkbcommon-x11 hands strndup unterminated buffers, which is legal but trips
        // AddressSanitizer's strict string checks.
        env.insert(u"ASAN_OPTIONS"_s, env.value(u"ASAN_OPTIONS"_s).replace(u"strict_string_checks=1"_s, u"strict_string_checks=0"_s));
        return env;
    }

    QString run(const QString &program, const QStringList &arguments) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, arguments);
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Xvfb picks a free display itself and names it once it serves it.
        xvfb.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1600x1200x24"_s, u"-nolisten"_s, u"tcp"_s});
        QVERIFY2(xvfb.waitForStarted(), "Xvfb not found");
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning, 10000);
        display = u':' + QString::fromLatin1(xvfb.readLine().trimmed());
        QVERIFY2(display.size() > 1, "Xvfb named no display");
    }

    void cleanupTestCase()
    {
        for (QProcess *p : {&app, &xvfb})
            p->terminate(), p->waitForFinished(5000);
    }

    void showsTheMainWindow()
    {
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(LUMISORT_EXE_PATH), {});
        QVERIFY(app.waitForStarted());
        // The window "Lumisort" (the one with a class, not Qt's hidden leader window):
        // 1200 wide, 850 high below its menu bar.
        static const QRegularExpression line(u"\"Lumisort\": \\(\"[^\"]*\" \"[^\"]*\"\\)\\s+(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)"_s);
        QRegularExpressionMatch found;
        QTRY_VERIFY_WITH_TIMEOUT((found = line.match(run(u"xwininfo"_s, {u"-root"_s, u"-tree"_s}))).hasMatch(), 20000);
        QCOMPARE(found.captured(1).toInt(), 1200);
        const int menuBar = found.captured(2).toInt() - 850;
        QVERIFY2(menuBar >= 0 && menuBar < 60, qPrintable(found.captured(0)));

        // The header's gradient: violet at the left edge, blue at the right.
        const int x = found.captured(3).toInt(), y = found.captured(4).toInt() + menuBar + 80;
        QStringList shown; // the colours at x + 3, 600 and 1196
        const auto near = [&](int i, int r, int g, int b) {
            const QColor c = QColor::fromString(shown.value(i));
            return c.isValid() && std::abs(c.red() - r) < 12 && std::abs(c.green() - g) < 12 && std::abs(c.blue() - b) < 12;
        };
        const QStringList grab{u"--grab"_s, QString::number(y), QString::number(x + 3), QString::number(x + 600), QString::number(x + 1196)};
        QTRY_VERIFY_WITH_TIMEOUT((shown = run(QCoreApplication::applicationFilePath(), grab).split(u' '), near(0, 102, 51, 204)), 10000);
        QVERIFY2(near(1, 77, 77, 217) && near(2, 51, 102, 229), qPrintable(shown.join(u' ')));
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
