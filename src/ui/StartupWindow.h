#pragma once

#include <QMainWindow>

// The application's window while the main view is not there yet.
class StartupWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit StartupWindow(QWidget *parent = nullptr);
};
