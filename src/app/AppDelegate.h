#pragma once

#include "ui/MainViewController.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>

// Builds the menu bar and the single main window, and shows the About box. Closing the
// main window quits the application.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(MainViewController::Services services, QObject *parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void setupMenuBar();
    void showAbout();

    QMainWindow *window() const { return m_window; }
    MainViewController *mainVC() const { return m_mainVC; }

private:
    MainViewController::Services m_services;
    QMainWindow *m_window = nullptr;
    QPointer<MainViewController> m_mainVC;
};
