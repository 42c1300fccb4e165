#pragma once

#include <QColor>
#include <QLabel>
#include <QWidget>

// A filled panel with optional rounded corners and border: the cards, the grid's frame
// and the bottom bar.
class PanelView : public QWidget
{
    Q_OBJECT

public:
    PanelView(QColor background, int cornerRadius, QColor border, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_background;
    int m_radius;
    QColor m_border;
};

// A band filled with a left-to-right linear gradient: the header.
class GradientView : public QWidget
{
    Q_OBJECT

public:
    GradientView(QColor start, QColor end, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_start;
    QColor m_end;
};

// A label that shortens its text in the middle ("/Volumes/New…computer") when it does not
// fit, keeping both the start and the end of a path readable.
class MiddleElidedLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The busy indicator of the header: spokes turning while animating, hidden otherwise.
class SpinnerView : public QWidget
{
    Q_OBJECT

public:
    explicit SpinnerView(QWidget *parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_timerId != 0; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    int m_timerId = 0;
    int m_step = 0;
};
