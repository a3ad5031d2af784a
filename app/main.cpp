// quorvel: the desktop editor. Optional argument: a company file to open.

#include "app/QuorvelApp.h"
#include "platform/FileSystem.h"
#include "platform/Logging.h"
#include "platform/widgets/WidgetPrompts.h"

#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

// Without any display Qt would abort with a long plugin message; say plainly what is missing.
bool DisplayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    quorvel::RouteLibraryMessages();
    quorvel::FailWritesPastSizeLimit();
    if (!DisplayAvailable()) {
        if (quorvel::CQuorvelApp::AnswerWithoutDisplay(argc, argv))
            return 0;
        std::fputs("quorvel: no display to show the editor on: neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set.\nStart it from a desktop session, or headless "
                   "with xvfb-run or QT_QPA_PLATFORM=offscreen.\n",
                   stderr);
        return 1;
    }

    quorvel::CQuorvelApp app(argc, argv);
    quorvel::CWidgetPrompts prompts;
    quorvel::IPrompts *previous = quorvel::SetPrompts(&prompts);
    QObject::connect(&app, &quorvel::CQuorvelApp::mainFrameCreated, &app,
                     [&prompts](QWidget *frame) { prompts.SetMainWindow(frame); });

    int code = 0;
    if (app.InitInstance(QCoreApplication::arguments()))
        code = app.exec();
    const int startCode = app.ExitInstance();
    quorvel::SetPrompts(previous);
    return code != 0 ? code : startCode;
}
