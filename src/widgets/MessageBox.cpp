#include "MessageBox.h"

#include "Errors.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {
bool autoAnswer = false;
bool confirmAnswer = false;
int chooseAnswer = -1;
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

bool TMessageBox::Run(QWidget *parent, const std::function<void()> &command)
{
    try {
        command();
        return true;
    } catch (const EVigixError &error) {
        Error(parent, error.message());
    }
    return false;
}

bool TMessageBox::Confirm(QWidget *parent, const QString &message)
{
    shownTexts.append(message);
    if (autoAnswer)
        return confirmAnswer;
    QMessageBox box(QMessageBox::Question, u"VIGIX"_s, message, QMessageBox::Yes | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

void TMessageBox::SetConfirmAnswer(bool yes)
{
    confirmAnswer = yes;
}

int TMessageBox::Choose(QWidget *parent, const QString &message, const QStringList &buttons)
{
    shownTexts.append(message);
    if (autoAnswer)
        return chooseAnswer;
    QMessageBox box(QMessageBox::Question, u"VIGIX"_s, message, QMessageBox::NoButton, parent);
    QList<QAbstractButton *> added;
    for (const QString &caption : buttons)
        added.append(box.addButton(caption, QMessageBox::ActionRole));
    if (!added.isEmpty())
        box.setEscapeButton(added.last());
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

void TMessageBox::SetChooseAnswer(int index)
{
    chooseAnswer = index;
}

void TMessageBox::Notice(QWidget *parent, const QString &message)
{
    shownTexts.append(message);
    if (autoAnswer)
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, u"VIGIX"_s, message, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(Qt::NonModal);
    box->show();
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
