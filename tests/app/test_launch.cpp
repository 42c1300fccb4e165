// Starts the real program on its own Xvfb display and looks at the window it shows.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Run as a child on the X display: prints the colour of one screen pixel.
int grabPixel(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QColor c = image.pixelColor(QString::fromLatin1(argv[2]).toInt(), QString::fromLatin1(argv[3]).toInt());
    std::printf("%d %d %d\n", c.red(), c.green(), c.blue());
    return 0;
}

} // namespace

class TestLaunch : public QObject
{
    Q_OBJECT

    QProcess xvfb;
    QProcess app;
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
        env.insert(u"ASAN_OPTIONS"_s, env.value(u"ASAN_OPTIONS"_s)
                                          .replace(u"strict_string_checks=1"_s, u"strict_string_checks=0"_s));
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
        QDir(runtime.path()).mkpath(u"."_s);
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (int n = 150; n < 200 && display.isEmpty(); ++n)
            if (!QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(n)) && !QFile::exists(u"/tmp/.X%1-lock"_s.arg(n)))
                display = u":%1"_s.arg(n);
        QVERIFY(!display.isEmpty());
        xvfb.start(u"Xvfb"_s, {display, u"-screen"_s, u"0"_s, u"1600x1200x24"_s, u"-nolisten"_s, u"tcp"_s});
        QVERIFY2(xvfb.waitForStarted(), "Xvfb not found");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(u"/tmp/.X11-unix/X"_s + display.mid(1)), 10000);
    }

    void cleanupTestCase()
    {
        app.terminate();
        app.waitForFinished(5000);
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }

    void showsTheMainWindow()
    {
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(LUMISORT_EXE_PATH), {});
        QVERIFY(app.waitForStarted());

        // The window "Lumisort" (the one with a class, not Qt's hidden leader window):
        // 1200 wide, 850 high below its menu bar.
        static const QRegularExpression line(
            u"\"Lumisort\": \\(\"[^\"]*\" \"[^\"]*\"\\)\\s+(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)"_s);
        QRegularExpressionMatch found;
        QTRY_VERIFY_WITH_TIMEOUT(
            (found = line.match(run(u"xwininfo"_s, {u"-root"_s, u"-tree"_s}))).hasMatch(), 20000);
        QCOMPARE(found.captured(1).toInt(), 1200);
        const int menuBar = found.captured(2).toInt() - 850;
        QVERIFY2(menuBar >= 0 && menuBar < 60, qPrintable(found.captured(0)));

        // The header's gradient: violet at the left edge, blue at the right.
        const int x = found.captured(3).toInt();
        const int y = found.captured(4).toInt() + menuBar + 80;
        const auto pixel = [&](int px) {
            const QStringList rgb = run(QCoreApplication::applicationFilePath(),
                                        {u"--grab-pixel"_s, QString::number(px), QString::number(y)})
                                        .split(u' ');
            return rgb.size() == 3 ? QColor(rgb[0].toInt(), rgb[1].toInt(), rgb[2].toInt()) : QColor();
        };
        const auto near = [](QColor c, int r, int g, int b) {
            return std::abs(c.red() - r) < 12 && std::abs(c.green() - g) < 12 && std::abs(c.blue() - b) < 12;
        };
        QTRY_VERIFY_WITH_TIMEOUT(near(pixel(x + 3), 102, 51, 204), 10000);
        QVERIFY(near(pixel(x + 1196), 51, 102, 229));
        QVERIFY(near(pixel(x + 600), 77, 77, 217));
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--grab-pixel") == 0)
        return grabPixel(argc, argv);
    QCoreApplication app(argc, argv);
    TestLaunch test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_launch.moc"
