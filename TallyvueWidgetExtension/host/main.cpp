// SPDX-License-Identifier: MIT
// tallyvue-widget: Tallyvue's quota usage as a small or medium widget on the desktop.
#include "host/WidgetWindow.h"
#include "logic/WidgetConfiguration.h"
#include "ui/UsageWidgetView.h"
#include "ui/WidgetStyle.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QImage>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tallyvue::widget;

namespace {

int fail(const QString& message, int status)
{
    std::fprintf(stderr, "tallyvue-widget: %s\nTry 'tallyvue-widget --help'.\n", qPrintable(message));
    return status;
}

/// Chooses the display before Qt starts: pictures need none, and on Wayland only X11 lets a
/// window stay below the others on every workspace (XWayland is used when it is there).
void choosePlatform(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    const bool hasX11 = qEnvironmentVariableIsSet("DISPLAY");
    const bool hasWayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    bool rendering = false;
    for (int i = 1; i < argc; ++i)
        rendering = rendering || qstrncmp(argv[i], "--render", 8) == 0;
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
    choosePlatform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"tallyvue-widget"_s);
    QApplication::setOrganizationName(u"Tallyvue"_s);
    QApplication::setApplicationVersion(QStringLiteral(TALLYVUE_WIDGET_VERSION));
    QGuiApplication::setDesktopFileName(u"tallyvue-widget"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(kWidgetDisplayName % u": "_s % kWidgetDescription);
    const QCommandLineOption familyOption(
        u"family"_s, u"Widget size: small or medium (default: the last one chosen)."_s, u"small|medium"_s);
    const QCommandLineOption previewOption(u"preview"_s, u"Show the sample data instead of the snapshot file."_s);
    const QCommandLineOption renderOption(u"render"_s, u"Draw the current entry at 2x into a PNG file and exit."_s,
                                          u"FILE.png"_s);
    const QCommandLineOption themeOption(u"theme"_s, u"Force light or dark instead of following the desktop."_s,
                                         u"light|dark"_s);
    parser.addOptions({familyOption, previewOption, renderOption, themeOption});
    parser.addHelpOption();
    parser.addVersionOption();
    if (!parser.parse(QApplication::arguments()))
        return fail(parser.errorText(), 2);
    if (parser.isSet(u"help"_s)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(u"version"_s)) {
        std::printf("tallyvue-widget %s\n", TALLYVUE_WIDGET_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(u"unexpected argument '"_s + parser.positionalArguments().first() + u'\'', 2);

    std::optional<WidgetFamily> family;
    if (parser.isSet(familyOption)) {
        family = familyFromRaw(parser.value(familyOption));
        if (!family)
            return fail(u"unknown family '"_s + parser.value(familyOption) + u"' (use small or medium)"_s, 2);
    }
    if (parser.isSet(themeOption)) {
        const QString theme = parser.value(themeOption);
        if (theme != u"light" && theme != u"dark")
            return fail(u"unknown theme '"_s + theme + u"' (use light or dark)"_s, 2);
        QApplication::setPalette(widgetPalette(theme == u"dark" ? Appearance::Dark : Appearance::Light));
    }
    const auto source =
        parser.isSet(previewOption) ? UsageTimelineProvider::Source::Sample : UsageTimelineProvider::Source::File;

    if (parser.isSet(renderOption))
        return render(family.value_or(WidgetFamily::Small), source, parser.value(renderOption));

    WidgetWindow window(source, family);
    window.show();
    return app.exec();
}
