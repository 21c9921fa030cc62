// SPDX-License-Identifier: MIT
// tallyvue-widget: Tallyvue's quota usage as a small or medium widget on the desktop.
#include "host/WidgetWindow.h"
#include "logic/WidgetConfiguration.h"
#include "ui/UsageWidgetView.h"
#include "ui/WidgetStyle.h"

#include <QApplication>
#include <QByteArrayView>
#include <QCommandLineParser>
#include <QImage>

#include <cstdio>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <optional>
#include <variant>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

const char kUsage[] = R"(Usage: tallyvue-widget [options]

Tallyvue Usage: remaining Claude, ChatGPT and Copilot usage on the desktop.

Options:
  --family small|medium   widget size (default: the last one chosen)
  --preview               show the sample data instead of the snapshot file
  --render FILE.png       draw the current entry at 2x into a PNG file and exit
  --theme light|dark      force light or dark instead of following the desktop
  -h, --help              show this help
  -v, --version           show the version

Qt's own options (-platform, -style, ...) are passed on to Qt.
)";

int fail(const QString& message, int status)
{
    std::fprintf(stderr, "tallyvue-widget: %s\n", qPrintable(message));
    if (status == 2)
        std::fprintf(stderr, "\n%s", kUsage);
    return status;
}

/// How many arguments one of QApplication's own options takes (it removes them itself), or -1
/// when `arg` is not one of them.
int qtOptionValues(QByteArrayView arg)
{
    if (arg.startsWith("--"))
        arg = arg.sliced(1); // Qt accepts both spellings
    static constexpr QByteArrayView withValue[] = {
        "-platform",
        "-platformpluginpath",
        "-platformtheme",
        "-plugin",
        "-qwindowgeometry",
        "-geometry",
        "-qwindowtitle",
        "-title",
        "-qwindowicon",
        "-icon",
        "-session",
        "-display",
        "-name",
        "-style",
        "-stylesheet",
    };
    static constexpr QByteArrayView switches[] = {"-reverse", "-testability", "-widgetcount",
                                                  "-nograb",  "-dograb",      "-sync"};
    for (const QByteArrayView option : withValue) {
        if (arg == option)
            return 1;
        if (arg.startsWith(option) && arg.size() > option.size() && arg[option.size()] == '=')
            return 0;
    }
    for (const QByteArrayView option : switches) {
        if (arg == option)
            return 0;
    }
    return arg.startsWith("-qmljsdebugger=") ? 0 : -1;
}

struct Options
{
    std::optional<WidgetFamily> family;
    std::optional<Appearance> theme;
    UsageTimelineProvider::Source source = UsageTimelineProvider::Source::File;
    std::optional<QString> renderFile;
};

/// Reads the command line before any GUI object exists, so --help and --version need no
/// display. Gives the exit status instead when the program is done.
std::variant<Options, int> parseCommandLine(int argc, char** argv)
{
    QStringList arguments{QString::fromLocal8Bit(argv[0])};
    for (int i = 1; i < argc; ++i) {
        const int qtValues = qtOptionValues(argv[i]);
        if (qtValues >= 0)
            i += qtValues; // left for QApplication
        else
            arguments.append(QString::fromLocal8Bit(argv[i]));
    }

    QCommandLineParser parser;
    const QCommandLineOption familyOption(u"family"_s, {}, u"size"_s);
    const QCommandLineOption previewOption(u"preview"_s);
    const QCommandLineOption renderOption(u"render"_s, {}, u"file"_s);
    const QCommandLineOption themeOption(u"theme"_s, {}, u"theme"_s);
    const QCommandLineOption helpOption(QStringList{u"h"_s, u"help"_s});
    const QCommandLineOption versionOption(QStringList{u"v"_s, u"version"_s});
    parser.addOptions({familyOption, previewOption, renderOption, themeOption, helpOption, versionOption});
    if (!parser.parse(arguments))
        return fail(parser.errorText(), 2);
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("tallyvue-widget %s\n", TALLYVUE_WIDGET_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(u"unexpected argument '"_s + parser.positionalArguments().first() + u'\'', 2);

    Options options;
    if (parser.isSet(familyOption)) {
        options.family = familyFromRaw(parser.value(familyOption));
        if (!options.family)
            return fail(u"unknown family '"_s + parser.value(familyOption) + u"' (use small or medium)"_s, 2);
    }
    if (parser.isSet(themeOption)) {
        const QString theme = parser.value(themeOption);
        if (theme != u"light" && theme != u"dark")
            return fail(u"unknown theme '"_s + theme + u"' (use light or dark)"_s, 2);
        options.theme = theme == u"dark" ? Appearance::Dark : Appearance::Light;
    }
    if (parser.isSet(previewOption))
        options.source = UsageTimelineProvider::Source::Sample;
    if (parser.isSet(renderOption))
        options.renderFile = parser.value(renderOption);
    return options;
}

/// Chooses the display before Qt starts: pictures need none, and on Wayland only X11 lets a
/// window stay below the others on every workspace (XWayland is used when it is there).
void choosePlatform(bool rendering)
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    const bool hasX11 = qEnvironmentVariableIsSet("DISPLAY");
    const bool hasWayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (rendering && !hasX11 && !hasWayland)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else if (!rendering && hasWayland && hasX11)
        qputenv("QT_QPA_PLATFORM", "xcb");
}

int render(WidgetFamily family, UsageTimelineProvider::Source source, const QString& file)
{
    UsageWidgetView view(family);
    view.resize(familySize(family));
    view.setEntry(UsageTimelineProvider(source).timeline().entries.first());
    constexpr double kScale = 2;
    if (!view.renderImage(kScale).save(file, "PNG"))
        return fail(u"could not write the picture to "_s + file, 1);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // As the application: no core dumps, memory closed to other processes, private files.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::umask(::umask(077) | 077);
    const auto parsed = parseCommandLine(argc, argv);
    if (const int* status = std::get_if<int>(&parsed))
        return *status;
    const Options& options = std::get<Options>(parsed);

    choosePlatform(options.renderFile.has_value());
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"tallyvue-widget"_s);
    QApplication::setOrganizationName(u"Tallyvue"_s);
    QApplication::setApplicationVersion(QStringLiteral(TALLYVUE_WIDGET_VERSION));
    QGuiApplication::setDesktopFileName(u"tallyvue-widget"_s);
    if (options.theme)
        QApplication::setPalette(widgetPalette(*options.theme));

    if (options.renderFile)
        return render(options.family.value_or(WidgetFamily::Small), options.source, *options.renderFile);

    WidgetWindow window(options.source, options.family);
    window.show();
    return app.exec();
}
