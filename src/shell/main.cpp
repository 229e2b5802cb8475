#include "Panel.h"
#include "SdlSoundChannel.h"
#include "VigixApplication.h"

#include <QFont>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // Opened before anything starts a thread (it sets the sound server's buffer through the environment while
    // it connects), and closed after the windows: every section plays through this one channel.
    vigix::TSdlSoundChannel sound;
    vigix::TVigixApplication app(argc, argv);
    app.setApplicationName(u"VIGIX"_s);
    app.setApplicationDisplayName(u"VIGIX"_s);
    // The Japanese gothic the windows were laid out for, at its 9-point size; Noto Sans CJK JP stands in.
    QFont font(u"Noto Sans CJK JP"_s);
    font.setPixelSize(12);
    app.setFont(font);

    vigix::TfrmPanel panel(QString(), &sound);
    panel.show();
    return app.exec();
}
