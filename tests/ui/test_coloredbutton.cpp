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

    // A click is a press and a release inside; pressed, the fill fades to 0.8, disabled to 0.5.
    void pressAndRelease()
    {
        const QPoint inside{60, 25}, outside{200, 25};
        QTest::mousePress(button.get(), Qt::LeftButton, {}, inside);
        QCOMPARE(qAlpha(render().pixel(20, 10)), qRound(0.8 * 255));
        QCOMPARE(clicks, 0);
        QTest::mouseRelease(button.get(), Qt::LeftButton, {}, inside);
        QCOMPARE(clicks, 1);
        const QImage image = render();
        QCOMPARE(image.pixel(20, 10), qRgba(255, 0, 0, 255));
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // rounded corner left empty

        QTest::mousePress(button.get(), Qt::LeftButton, {}, inside);
        QTest::mouseMove(button.get(), outside);
        QTest::mouseRelease(button.get(), Qt::LeftButton, {}, outside);
        QCOMPARE(clicks, 1);
        QCOMPARE(button->fillAlpha(), 1.0);

        button->setEnabled(false);
        QCOMPARE(qAlpha(render().pixel(20, 10)), qRound(0.5 * 255));
        QTest::mouseClick(button.get(), Qt::LeftButton, {}, inside);
        QCOMPARE(button->fillAlpha(), 0.5);
        QCOMPARE(clicks, 1);

        // Disabled in the middle of a press: nothing fires, the look is normal once enabled.
        button->setEnabled(true);
        QTest::mousePress(button.get(), Qt::LeftButton, {}, inside);
        button->setEnabled(false);
        QTest::mouseRelease(button.get(), Qt::LeftButton, {}, inside);
        button->setEnabled(true);
        QCOMPARE(clicks, 1);
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
