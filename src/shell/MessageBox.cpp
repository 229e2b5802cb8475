#include "MessageBox.h"

using namespace Qt::StringLiterals;

namespace vigix {

namespace {
bool autoAnswer = false;
QStringList shownTexts;
} // namespace

void TMessageBox::Error(QWidget *parent, const QString &message)
{
    show(parent, QMessageBox::Critical, message);
}

void TMessageBox::Warning(QWidget *parent, const QString &message)
{
    show(parent, QMessageBox::Warning, message);
}

void TMessageBox::SetAutoAnswer(bool enabled)
{
    autoAnswer = enabled;
}

QStringList TMessageBox::ShownTexts()
{
    return shownTexts;
}

void TMessageBox::ClearShownTexts()
{
    shownTexts.clear();
}

void TMessageBox::show(QWidget *parent, QMessageBox::Icon icon, const QString &message)
{
    shownTexts.append(message);
    if (autoAnswer)
        return;
    QMessageBox box(icon, u"VIGIX"_s, message, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace vigix
