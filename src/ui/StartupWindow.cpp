#include "ui/StartupWindow.h"

#include <QLabel>

using namespace Qt::StringLiterals;

StartupWindow::StartupWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(u"Lumisort"_s);
    resize(1200, 850);
    setMinimumSize(1000, 700);
    auto *label = new QLabel(u"Lumisort is starting…"_s, this);
    label->setAlignment(Qt::AlignCenter);
    label->setAccessibleName(u"Status"_s);
    setCentralWidget(label);
}
