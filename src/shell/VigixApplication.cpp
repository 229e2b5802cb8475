#include "VigixApplication.h"

#include "Errors.h"
#include "MessageBox.h"

namespace vigix {

bool TVigixApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EVigixError &error) {
        TMessageBox::Error(activeWindow(), error.message());
    } catch (const std::exception &error) {
        TMessageBox::Error(activeWindow(), QString::fromLocal8Bit(error.what()));
    }
    return false;
}

} // namespace vigix
