#pragma once

#include <QApplication>

namespace vigix {

// Catches the errors the records raise at the event loop: the command that raised stops there, the general
// error box shows the message, and the program goes on.
class TVigixApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace vigix
