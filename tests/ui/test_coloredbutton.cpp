#include "ui/ColoredButtonView.h"

#include <QAccessible>
#include <QTest>

using namespace Qt::StringLiterals;

class TestColoredButton : public QObject
{
    Q_OBJECT

    std::unique_ptr<ColoredButtonView> button;
    int clicks = 0;

    QImage render() const
    {
        QImage image(button->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        button->render(&image, {}, {}, QWidget::DrawChildren); // the fill alone
        return image;
    }

private slots:
    void init()
    {
        clicks = 0;
        button = std::make_unique<ColoredButtonView>();
        button->setGeometry(0, 0, 130, 50);
        button->setColor(QColor(255, 0, 0, 128)); // a translucent colour: alpha is replaced
        button->setTitle(u"Delete"_s);
        button->onClick = [this] { ++clicks; };
        button->show();
    }

    void clickFiresOnReleaseInside()
    {
        QTest::mousePress(button.get(), Qt::LeftButton, {}, {60, 25});
        QCOMPARE(button->fillAlpha(), 0.8);
        QCOMPARE(qAlpha(render().pixel(20, 10)), qRound(0.8 * 255));
        QCOMPARE(clicks, 0);
        QTest::mouseRelease(button.get(), Qt::LeftButton, {}, {60, 25});
        QCOMPARE(clicks, 1);
        QCOMPARE(button->fillAlpha(), 1.0);
        const QImage image = render();
        QCOMPARE(image.pixel(20, 10), qRgba(255, 0, 0, 255));
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // rounded corner left empty
    }

    void releaseOutsideCancels()
    {
        QTest::mousePress(button.get(), Qt::LeftButton, {}, {60, 25});
        QTest::mouseMove(button.get(), {200, 25});
        QTest::mouseRelease(button.get(), Qt::LeftButton, {}, {200, 25});
        QCOMPARE(clicks, 0);
        QCOMPARE(button->fillAlpha(), 1.0);
    }

    void disabledIgnoresPressAndClick()
    {
        button->setEnabled(false);
        QCOMPARE(qAlpha(render().pixel(20, 10)), qRound(0.5 * 255));
        QTest::mousePress(button.get(), Qt::LeftButton, {}, {60, 25});
        QCOMPARE(button->fillAlpha(), 0.5);
        QTest::mouseRelease(button.get(), Qt::LeftButton, {}, {60, 25});
        QCOMPARE(clicks, 0);

        // Disabled in the middle of a press: the release fires nothing and the look is
        // normal once enabled again.
        button->setEnabled(true);
        QTest::mousePress(button.get(), Qt::LeftButton, {}, {60, 25});
        button->setEnabled(false);
        QTest::mouseRelease(button.get(), Qt::LeftButton, {}, {60, 25});
        button->setEnabled(true);
        QCOMPARE(clicks, 0);
        QCOMPARE(button->fillAlpha(), 1.0);
    }

    void titleIsWhiteWhenDisabledAndButtonIsAccessible()
    {
        button->setEnabled(false);
        const QImage image = render();
        bool white = false;
        for (int x = 30; x < 100 && !white; ++x)
            white = image.pixel(x, 25) == qRgba(255, 255, 255, 255);
        QVERIFY(white);

        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(button.get());
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::Button);
        QCOMPARE(a->text(QAccessible::Name), u"Delete"_s);
        QVERIFY(a->state().disabled);

        button->setEnabled(true);
        button->setFocus();
        QTest::keyClick(button.get(), Qt::Key_Space);
        QCOMPARE(clicks, 1);
    }
};

QTEST_MAIN(TestColoredButton)
#include "test_coloredbutton.moc"
