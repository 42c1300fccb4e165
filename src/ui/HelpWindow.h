#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The quick guide: read-only, selectable monospaced text in a fixed-size window.
QString helpGuideText();

class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *parent = nullptr);

    QPlainTextEdit *textView = nullptr;
    QPushButton *closeButton = nullptr;
};
