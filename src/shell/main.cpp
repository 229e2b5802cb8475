#include "Panel.h"
#include "SdlSoundChannel.h"
#include "TerminationSignals.h"
#include "Translations.h"
#include "VigixApplication.h"

#include <QCoreApplication>
#include <QFont>

#include <csignal>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // A file that may grow no larger (a size limit set for this user, a file system's largest file) fails its
    // write with a reason the examiner is shown, instead of ending the program in the middle of a test.
    std::signal(SIGXFSZ, SIG_IGN);
    // Opened before anything starts a thread (it sets the sound server's buffer through the environment while
    // it connects), and closed after the windows: every section plays through this one channel.
    vigix::TSdlSoundChannel sound;
    vigix::TVigixApplication app(argc, argv);
    app.setApplicationName(u"VIGIX"_s);
    // The window belongs to the menu entry vigix.desktop (Wayland matches them by this name).
    app.setDesktopFileName(u"vigix"_s);
    // No display name: Qt would add " — VIGIX" to every window's caption, and each window has its own.
    vigix::InstallJapaneseQtTranslations(app);
    // The Japanese gothic the windows were laid out for, at its 9-point size; Noto Sans CJK JP stands in.
    QFont font(u"Noto Sans CJK JP"_s);
    font.setPixelSize(12);
    app.setFont(font);

    vigix::TfrmPanel panel(QString(), &sound);
    // A logout or a kill ends the program, also during a test, whose journal stays to be offered at the next
    // start. Every event loop ends, a modal box's too: nothing waits for an answer nobody may give.
    vigix::TTerminationSignals termination([&panel] {
        panel.EndOnQuitRequest();
        QCoreApplication::exit(0);
    });
    panel.show();
    return app.exec();
}
