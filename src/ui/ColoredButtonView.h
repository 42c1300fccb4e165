#pragma once

#include <QAbstractButton>
#include <QColor>

#include <functional>

// A self-painted push button: a rounded rectangle in one colour with a bold white title.
// Built on QAbstractButton, so keyboard activation and accessibility (a named, pressable
// button with its enabled state) come with it. A click runs `onClick` once, and only when
// the press is released inside the button while it is enabled.
class ColoredButtonView : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ColoredButtonView(QWidget *parent = nullptr);

    QString title() const { return text(); }
    void setTitle(const QString &title) { setText(title); }

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    // Fill alpha: 0.5 disabled, 0.8 while pressed, 1 otherwise.
    double fillAlpha() const;

    std::function<void()> onClick;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
