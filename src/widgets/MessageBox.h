#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace vigix {

// The program's message boxes. Tests set the next answer instead of clicking a modal box; the texts shown
// are kept so that a test can read them.
class TMessageBox
{
public:
    // The general error box: a critical box with the error's message.
    static void Error(QWidget *parent, const QString &message);
    // A warning with a single OK button.
    static void Warning(QWidget *parent, const QString &message);

    // Runs a command of the user: an error it raises stops it there and is shown in the error box, before it
    // can unwind through Qt's event delivery. True when the command ran through.
    static bool Run(QWidget *parent, const std::function<void()> &command);

    // A question with Yes and Cancel; true only for Yes.
    static bool Confirm(QWidget *parent, const QString &message);
    // A question answered with one of the buttons, given by their captions; returns the index of the button
    // pressed, or -1 when the box was closed without one.
    static int Choose(QWidget *parent, const QString &message, const QStringList &buttons);
    // A warning shown without waiting and without taking the focus: the child's window keeps its presses and
    // Shift+Esc while it is up.
    static void Notice(QWidget *parent, const QString &message);

    // Tests: record the following boxes instead of showing them.
    static void SetAutoAnswer(bool enabled);
    static QStringList ShownTexts();
    static void ClearShownTexts();
    // The answer Confirm gives while boxes are recorded.
    static void SetConfirmAnswer(bool yes);
    // The index Choose gives while boxes are recorded (-1: closed without a choice).
    static void SetChooseAnswer(int index);

private:
    static void show(QWidget *parent, QMessageBox::Icon icon, const QString &message);
};

} // namespace vigix
